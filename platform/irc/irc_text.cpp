#include "platform/irc/irc_text.h"

#include <algorithm>
#include <cctype>

namespace murelo {

namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

/// How many of text's first bytes are of the given kind, at most most.
size_t CountLeading(std::string_view text, size_t most, int (*kind)(int)) {
  size_t count = 0;
  while (count < most && count < text.size() && kind(static_cast<unsigned char>(text[count])))
    ++count;
  return count;
}

/// The length of the colour code's parameters after \x03 (digits) or \x04 (hex): a
/// foreground, then a comma and a background only when the background is there.
size_t ColourParameters(std::string_view rest, size_t digits, int (*kind)(int)) {
  size_t length = CountLeading(rest, digits, kind);
  if (length > 0 && rest.substr(length).starts_with(',')) {
    const size_t background = CountLeading(rest.substr(length + 1), digits, kind);
    if (background > 0) length += 1 + background;
  }
  return length;
}

}  // namespace

std::string IrcSafeText(std::string_view text) {
  std::string safe(text);
  std::ranges::replace_if(
      safe, [](char c) { return IsControl(static_cast<unsigned char>(c)); }, ' ');
  return safe;
}

std::string StripIrcFormatting(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case 0x03:  // colour: up to two digits, a comma, up to two digits
        i += ColourParameters(text.substr(i + 1), 2, isdigit);
        break;
      case 0x04:  // colour as hex RGB
        i += ColourParameters(text.substr(i + 1), 6, isxdigit);
        break;
      case 0x02:
      case 0x0f:
      case 0x11:
      case 0x16:
      case 0x1d:
      case 0x1e:
      case 0x1f:
        break;  // bold, reset, monospace, reverse, italics, strike-through, underline
      default:
        plain += IsControl(c) ? ' ' : static_cast<char>(c);
    }
  }
  return plain;
}

std::vector<std::string> SplitUtf8(std::string_view text, size_t maxBytes) {
  std::vector<std::string> pieces;
  do {
    size_t cut = std::min(text.size(), maxBytes);
    // A byte 10xxxxxx continues a character: the cut goes before its first byte.
    while (cut < text.size() && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
      --cut;
    if (cut == 0) cut = std::min(text.size(), std::max<size_t>(maxBytes, 1));  // none fits whole
    pieces.emplace_back(text.substr(0, cut));
    text.remove_prefix(cut);
  } while (!text.empty());
  return pieces;
}

}  // namespace murelo
