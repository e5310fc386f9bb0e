// What an IRC server sends, and what peers give the bridge to say, under any bytes.
// Input: byte 0 is a length limit for the pieces of a long text; the rest is read as the
// server's lines and as a text to say.
//
// Checks, for every input:
// - a command written from any parameters is one line: CR LF at its end and nowhere else,
//   no NUL, and a server reads back its command with its parameters;
// - text made safe, or stripped of formatting, holds no control character;
// - the pieces of a text join into it, each within the limit, none starting inside a
//   UTF-8 character unless the piece before is one too long a character.
#include <algorithm>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/irc/irc_line.h"
#include "platform/irc/irc_text.h"

namespace murelo {
namespace {

bool HasControl(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

bool Continues(char byte) { return (static_cast<unsigned char>(byte) & 0xc0) == 0x80; }

}  // namespace
}  // namespace murelo

extern "C" int LLVMFuzzerTestOneInput(const char* data, long size) {
  using namespace murelo;
  if (size < 1) return 0;
  const size_t limit = 4 + static_cast<unsigned char>(data[0]);
  const std::string_view text(data + 1, static_cast<size_t>(size - 1));

  CIrcLine line;
  for (size_t start = 0; start <= text.size();) {  // the server's lines, one by one
    const size_t end = std::min(text.find('\n', start), text.size());
    ParseIrcLine(text.substr(start, end - start), line);
    start = end + 1;
  }
  const std::string middle(text.substr(0, text.size() / 2));
  const std::string written = IrcCommand("PRIVMSG", {middle.empty() ? "#c" : middle}, text);
  FUZZ_CHECK(written.ends_with("\r\n") &&
             written.find_first_of(std::string_view("\r\n\0", 3)) == written.size() - 2);
  CIrcLine readBack;
  FUZZ_CHECK(ParseIrcLine(std::string_view(written).substr(0, written.size() - 2), readBack));
  FUZZ_CHECK(readBack.strCommand == "PRIVMSG" && !readBack.params.empty());
  FUZZ_CHECK(!HasControl(IrcSafeText(text)) && !HasControl(StripIrcFormatting(text)));

  // A piece starts inside a character only after a full piece that is one character.
  std::string joined, previous;
  for (const std::string& piece : SplitUtf8(text, limit)) {
    FUZZ_CHECK(piece.size() <= limit);
    if (!previous.empty() && !piece.empty() && Continues(piece[0]))
      FUZZ_CHECK(previous.size() == limit &&
                 std::ranges::all_of(std::string_view(previous).substr(1), Continues));
    joined += piece;
    previous = piece;
  }
  FUZZ_CHECK(joined == text);
  return 0;
}
