#include "core/message_lines.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>

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
  // on the stack, since every displayed line comes here. Its '<' are found once: every
  // tag, and every closing tag searched for, starts at one of them.
  std::array<char, kBalanceWindow> copy;
  const size_t size = std::min(line.size(), kBalanceWindow);
  std::memcpy(copy.data(), line.data(), size);
  std::array<uint16_t, kBalanceWindow> bracketAt;
  size_t count = 0;
  for (const char *at = copy.data(), *const end = at + size;
       (at = static_cast<const char*>(std::memchr(at, '<', static_cast<size_t>(end - at)))) !=
       nullptr;
       ++at) {
    bracketAt[count++] = static_cast<uint16_t>(at - copy.data());
  }
  const std::span<const uint16_t> brackets(bracketAt.data(), count);

  // Where the first closing tag for the name left in the window starts, or size.
  const auto findClosing = [&](std::string_view name) {
    for (const size_t at : brackets) {
      if (at + name.size() + 3 > size) break;
      // A bracket blanked out by an earlier match is a space now.
      if (copy[at] == '<' && copy[at + 1] == '/' && copy[at + 2 + name.size()] == '>' &&
          std::memcmp(copy.data() + at + 2, name.data(), name.size()) == 0)
        return at;
    }
    return size;
  };

  size_t scanned = 0;  // tags are looked for after the last tag's name
  for (const size_t p : brackets) {
    if (p < scanned || copy[p] != '<') continue;
    const bool opensTag = p + 1 < size && copy[p + 1] != ' ' && copy[p + 1] != '/';
    if (!opensTag) continue;
    const char* nameEnd = std::find_if(copy.data() + p + 1, copy.data() + size,
                                       [](char byte) { return byte == ' ' || byte == '>'; });
    const size_t end = static_cast<size_t>(nameEnd - copy.data());
    if (end == size) return;  // an unterminated tag ends the scan

    const std::string_view name(copy.data() + p + 1, end - p - 1);
    const size_t found = findClosing(name);
    if (found == size) {
      line += "</";
      line += name;
      line += '>';
    } else {
      // Blank out the closing tag so that it answers this opening tag only.
      std::memset(copy.data() + found, ' ', name.size() + 3);
    }
    scanned = end;
  }
}

}  // namespace murelo
