// BalanceTags on any line. Checks:
// - the line only grows at its end: the original is a prefix of the result, and what
//   was added is a run of closing tags "</name>";
// - the result is that of a second, plain reading of the algorithm: scan a copy of
//   the first 1024 bytes; at each "<" not followed by a space or "/", take the name up
//   to the next space or ">" (no terminator: stop); search the copy from its start for
//   "</name>"; blank the first one found, or else append "</name>" to the line; go on
//   after the terminator;
// - where no tag name holds a "<" and the result fits the 1024-byte window,
//   balancing the result again adds nothing.
#include <cstring>
#include <string>
#include <vector>

#include "core/message_lines.h"
#include "fuzz_support.h"

namespace murelo::fuzz {
namespace {

std::string ReferenceBalance(std::string line) {
  std::vector<char> copy(line.begin(), line.begin() + std::min<size_t>(line.size(), 1024));
  const size_t n = copy.size();
  size_t p = 0;
  while (p < n) {
    if (copy[p] != '<' || p + 1 >= n || copy[p + 1] == ' ' || copy[p + 1] == '/') {
      p += 1;
      continue;
    }
    size_t end = p + 1;
    while (end < n && copy[end] != ' ' && copy[end] != '>') ++end;
    if (end == n) break;
    std::vector<char> closing = {'<', '/'};
    closing.insert(closing.end(), copy.begin() + static_cast<long>(p) + 1,
                   copy.begin() + static_cast<long>(end));
    closing.push_back('>');
    size_t found = n;
    for (size_t at = 0; at + closing.size() <= n && found == n; ++at) {
      if (std::memcmp(copy.data() + at, closing.data(), closing.size()) == 0) found = at;
    }
    if (found == n) {
      line.append(closing.begin(), closing.end());
    } else {
      std::fill(copy.begin() + static_cast<long>(found),
                copy.begin() + static_cast<long>(found + closing.size()), ' ');
    }
    p = end + 1;
  }
  return line;
}

/// The names of the opening tags in line as written (no closing tag blanked).
std::vector<std::string> OpeningTagNames(std::string_view line) {
  std::vector<std::string> names;
  for (size_t p = 0; p < line.size();) {
    if (line[p] != '<' || p + 1 >= line.size() || line[p + 1] == ' ' || line[p + 1] == '/') {
      ++p;
      continue;
    }
    const size_t end = line.find_first_of(" >", p + 1);
    if (end == std::string_view::npos) break;
    names.emplace_back(line.substr(p + 1, end - p - 1));
    p = end + 1;
  }
  return names;
}

/// The names of a run of closing tags, or false when text is not such a run.
bool ClosingTagNames(std::string_view text, std::vector<std::string>& names) {
  while (!text.empty()) {
    if (!text.starts_with("</")) return false;
    const size_t end = text.find('>', 2);
    if (end == std::string_view::npos) return false;
    names.emplace_back(text.substr(2, end - 2));
    text.remove_prefix(end + 1);
  }
  return true;
}

}  // namespace
}  // namespace murelo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace murelo;
  using namespace murelo::fuzz;
  const std::string original(reinterpret_cast<const char*>(data), size);
  std::string line = original;
  BalanceTags(line);

  FUZZ_CHECK(line.starts_with(original));
  std::vector<std::string> closed;
  FUZZ_CHECK(ClosingTagNames(std::string_view(line).substr(original.size()), closed));

  FUZZ_CHECK(line == ReferenceBalance(original));

  if (line.size() <= kBalanceWindow) {
    bool plainNames = true;
    for (const std::string& name : OpeningTagNames(line)) {
      plainNames = plainNames && name.find('<') == std::string::npos;
    }
    if (plainNames) {
      std::string again = line;
      BalanceTags(again);
      FUZZ_CHECK(again == line);
    }
  }
  return 0;
}
