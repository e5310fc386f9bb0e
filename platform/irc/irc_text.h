// IRC message texts, UTF-8: what may go into one, what formatting comes out of one, and
// where a long one is cut. Pure functions over bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace murelo {

/// text with every C0 control character and DEL a space: IRC's formatting codes, CTCP's
/// \x01, CR, LF and NUL can then reach a server only as text.
std::string IrcSafeText(std::string_view text);

/// text without IRC's formatting (bold, colours with their numbers, italics, reverse,
/// underline, reset ...) and with every other control character a space.
std::string StripIrcFormatting(std::string_view text);

/// text cut into pieces of at most maxBytes, never inside a UTF-8 character; at least
/// one piece, which may be empty.
std::vector<std::string> SplitUtf8(std::string_view text, size_t maxBytes);

}  // namespace murelo
