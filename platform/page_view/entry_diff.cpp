#include "platform/page_view/entry_diff.h"

#include <algorithm>
#include <cstdint>
#include <functional>

namespace murelo {

std::optional<std::vector<CEntryHunk>> DiffEntries(const std::vector<std::string_view>& oldEntries,
                                                   const std::vector<std::string_view>& newEntries,
                                                   std::vector<int>& newIndexOfOld) {
  const int oldCount = static_cast<int>(oldEntries.size());
  const int newCount = static_cast<int>(newEntries.size());
  auto same = [&](int i, int j) { return oldEntries[i] == newEntries[j]; };
  newIndexOfOld.assign(oldEntries.size(), -1);

  // Matching heads and tails need no table.
  int prefix = 0;
  while (prefix < oldCount && prefix < newCount && same(prefix, prefix)) {
    newIndexOfOld[prefix] = prefix;
    ++prefix;
  }
  int suffix = 0;
  while (suffix < oldCount - prefix && suffix < newCount - prefix &&
         same(oldCount - 1 - suffix, newCount - 1 - suffix)) {
    newIndexOfOld[oldCount - 1 - suffix] = newCount - 1 - suffix;
    ++suffix;
  }
  const int rows = oldCount - prefix - suffix;
  const int columns = newCount - prefix - suffix;
  constexpr int kMaxSide = 1000;  // a page shows 200 entries at most
  if (rows > kMaxSide || columns > kMaxSide) return std::nullopt;

  // lcs[i][j]: the longest common subsequence of the middle parts from old i and new j on.
  std::vector<size_t> oldHashes(rows);
  std::vector<size_t> newHashes(columns);
  for (int i = 0; i < rows; ++i)
    oldHashes[i] = std::hash<std::string_view>()(oldEntries[prefix + i]);
  for (int j = 0; j < columns; ++j) {
    newHashes[j] = std::hash<std::string_view>()(newEntries[prefix + j]);
  }
  auto middleSame = [&](int i, int j) {
    return oldHashes[i] == newHashes[j] && same(prefix + i, prefix + j);
  };
  const int stride = columns + 1;
  std::vector<uint16_t> lcs(static_cast<size_t>(rows + 1) * stride, 0);
  for (int i = rows - 1; i >= 0; --i) {
    for (int j = columns - 1; j >= 0; --j) {
      lcs[i * stride + j] = middleSame(i, j)
                                ? lcs[(i + 1) * stride + j + 1] + 1
                                : std::max(lcs[(i + 1) * stride + j], lcs[i * stride + j + 1]);
    }
  }

  std::vector<CEntryHunk> hunks;
  auto addTo = [&](int i, int j, bool oldSide) {
    if (hunks.empty() || hunks.back().nOldEnd != i || hunks.back().nNewEnd != j) {
      hunks.push_back({i, i, j, j});
    }
    (oldSide ? hunks.back().nOldEnd : hunks.back().nNewEnd) += 1;
  };
  int i = 0;
  int j = 0;
  while (i < rows || j < columns) {
    if (i < rows && j < columns && middleSame(i, j)) {
      newIndexOfOld[prefix + i] = prefix + j;
      ++i;
      ++j;
    } else if (j == columns || (i < rows && lcs[(i + 1) * stride + j] >= lcs[i * stride + j + 1])) {
      addTo(prefix + i, prefix + j, true);
      ++i;
    } else {
      addTo(prefix + i, prefix + j, false);
      ++j;
    }
  }
  return hunks;
}

}  // namespace murelo
