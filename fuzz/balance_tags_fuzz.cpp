// BalanceTags on any line. Checks:
// - the result is that of a second, plain reading of the algorithm: scan a copy of the
//   first 1024 bytes; at each "<" not followed by a space or "/", take the name up to the
//   next space or ">" (no terminator: stop); search the copy from its start for
//   "</name>"; blank the first one found, or else append "</name>" to the line; go on
//   after the terminator. As only closing tags are appended, this also says that the
//   line grows only at its end, by a run of "</name>";
// - where no tag name holds a "<" and the result fits the 1024-byte window, balancing
//   the result again adds nothing.
#include <algorithm>
#include <string>

#include "core/message_lines.h"
#include "fuzz_support.h"

namespace {

/// Calls onName with the name of every opening tag of text in turn. onName may blank
/// bytes of text ahead; the scan reads them as they are when it gets there.
template <typename OnName>
void ScanOpeningTags(std::string_view text, OnName onName) {
  for (size_t p = 0; (p = text.find('<', p)) != std::string_view::npos && p + 1 < text.size();
       ++p) {
    if (text[p + 1] == ' ' || text[p + 1] == '/') continue;
    const size_t end = text.find_first_of(" >", p + 1);
    if (end == std::string_view::npos) return;
    onName(text.substr(p + 1, end - p - 1));
    p = end;  // the scan goes on after the terminator
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  std::string expected = line, copy = line.substr(0, 1024);
  ScanOpeningTags(copy, [&](std::string_view name) {
    const std::string closing = "</" + std::string(name) + ">";
    if (const size_t found = copy.find(closing); found != std::string::npos) {
      std::fill_n(copy.begin() + static_cast<long>(found), closing.size(), ' ');
    } else {
      expected += closing;
    }
  });
  murelo::BalanceTags(line);
  FUZZ_CHECK(line == expected);

  bool checkAgain = line.size() <= murelo::kBalanceWindow;
  ScanOpeningTags(line, [&](std::string_view name) {
    checkAgain = checkAgain && name.find('<') == std::string_view::npos;
  });
  if (checkAgain) {
    murelo::BalanceTags(expected);
    FUZZ_CHECK(expected == line);
  }
  return 0;
}
