// The changes between the entries of the page on show and those of the next page, so
// the view touches only the entries that changed. Standard C++.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace murelo {

/// One run of changed entries: old entries [nOldBegin, nOldEnd) give way to new entries
/// [nNewBegin, nNewEnd). Either side may be empty.
struct CEntryHunk {
  int nOldBegin;
  int nOldEnd;
  int nNewBegin;
  int nNewEnd;
};

/// What turns the entries oldEntries into newEntries, in page order, keeping the longest
/// common subsequence of equal entries in place. newIndexOfOld receives, for each old
/// entry, the index of the new entry it stays as, or -1 when it goes. Nothing when the
/// lists are too long to compare cheaply.
std::optional<std::vector<CEntryHunk>> DiffEntries(const std::vector<std::string_view>& oldEntries,
                                                   const std::vector<std::string_view>& newEntries,
                                                   std::vector<int>& newIndexOfOld);

}  // namespace murelo
