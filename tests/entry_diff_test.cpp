// Which entries changed between two pages: what lets the chat view redraw only those.
// (Whether a piece of markup may be drawn alone is checked through the view's own test.)
#include "platform/entry_diff.h"

#include <gtest/gtest.h>

#include <random>

namespace murelo {
namespace {

TEST(EntryDiff, ApplyingTheDiffGivesTheNewEntriesKeepingALongestCommonRun) {
  const std::string words[] = {"a", "b", "c", "d", "e"};
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::string_view> from, to;
    for (int i = random() % 12; i > 0; --i) from.push_back(words[random() % 5]);
    for (int i = random() % 12; i > 0; --i) to.push_back(words[random() % 5]);
    std::vector<int> newIndexOfOld;
    const auto hunks = DiffEntries(from, to, newIndexOfOld);
    ASSERT_TRUE(hunks);
    std::vector<std::string_view> applied;
    int next = 0;
    for (const CEntryHunk& hunk : *hunks) {
      applied.insert(applied.end(), from.begin() + next, from.begin() + hunk.nOldBegin);
      applied.insert(applied.end(), to.begin() + hunk.nNewBegin, to.begin() + hunk.nNewEnd);
      next = hunk.nOldEnd;
    }
    applied.insert(applied.end(), from.begin() + next, from.end());
    EXPECT_EQ(applied, to);

    std::vector<std::vector<int>> lcs(from.size() + 1, std::vector<int>(to.size() + 1, 0));
    for (size_t i = from.size(); i-- > 0;) {
      for (size_t j = to.size(); j-- > 0;) {
        lcs[i][j] =
            from[i] == to[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
      }
    }
    int kept = 0;
    for (size_t i = 0, last = 0; i < from.size(); ++i) {
      if (newIndexOfOld[i] < 0) continue;
      EXPECT_EQ(from[i], to[newIndexOfOld[i]]);
      EXPECT_TRUE(kept == 0 || static_cast<size_t>(newIndexOfOld[i]) > last);
      last = newIndexOfOld[i];
      ++kept;
    }
    EXPECT_EQ(kept, lcs[0][0]);
  }
  std::vector<std::string> many(2002, "x");
  for (size_t i = 0; i < many.size(); ++i) many[i] = std::to_string(i);
  std::vector<int> newIndexOfOld;  // too long to compare cheaply: no diff
  EXPECT_FALSE(DiffEntries(std::vector<std::string_view>(many.begin(), many.begin() + 1001),
                           std::vector<std::string_view>(many.begin() + 1001, many.end()),
                           newIndexOfOld));
}

}  // namespace
}  // namespace murelo
