// IRC's line format (RFC 1459 and 2812): reading a server's lines and writing the
// client's, as pure functions over bytes. Whatever text goes into a line written here
// can end no line and start no command: the text a peer wrote is a parameter and
// stays one.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace murelo {

/// An IRC line is at most this long, CR LF included.
inline constexpr size_t kIrcLineBytes = 512;

struct CIrcLine {
  std::string strPrefix;  // without its colon; empty when the line has none
  std::string strCommand;
  std::vector<std::string> params;  // the trailing one last, without its colon

  /// The nick and the user of a prefix nick!user@host (the user without a leading ~).
  std::string_view Nick() const;
  std::string_view User() const;
};

/// One line as a server sends it, without its CR LF; nothing for an empty line.
bool ParseIrcLine(std::string_view line, CIrcLine& parsed);

/// A command with its middle parameters and a trailing one (none when empty), CR LF ended. Every
/// byte that could end the line (CR, LF, NUL) becomes a space; a middle parameter loses its blanks.
std::string IrcCommand(std::string_view command, std::initializer_list<std::string_view> middle,
                       std::string_view trailing);

}  // namespace murelo
