#include "core/message_lines.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace murelo {

int SplitMessageLines(std::string_view text, LineTable& lines) {
  int count = 0;
  size_t start = 0;
  for (size_t feed = text.find('\n'); feed != std::string_view::npos;
       feed = text.find('\n', start)) {
    if (count < kStoredLines) lines[count].assign(text, start, feed - start);
    ++count;
    start = feed + 1;
  }
  return count;
}

void BalanceTags(std::string& line) {
  // The window is scanned and marked on a copy, so the line itself is only appended to;
  // on the stack, since every displayed line comes here.
  std::array<char, kBalanceWindow> copy;
  const std::string_view window(copy.data(), std::min(line.size(), kBalanceWindow));
  std::memcpy(copy.data(), line.data(), window.size());
  for (size_t p = window.find('<'); p != std::string_view::npos; p = window.find('<', p + 1)) {
    const bool opens = p + 1 < window.size() && window[p + 1] != ' ' && window[p + 1] != '/';
    if (!opens) continue;
    const size_t end = window.find_first_of(" >", p + 1);
    if (end == std::string_view::npos) return;  // an unterminated tag ends the scan

    std::string closing = "</";
    closing.append(window, p + 1, end - p - 1);
    closing += '>';
    const size_t found = window.find(closing);
    if (found == std::string_view::npos) {
      line += closing;
    } else {
      // Blank out the closing tag so that it answers this opening tag only.
      std::memset(copy.data() + found, ' ', closing.size());
    }
    p = end;  // the scan goes on after the tag's name
  }
}

}  // namespace murelo
