// The byte-level grammar of a message text, as pure functions over bytes.
//
// A message is a run of lines, each ended by a line feed (0x0A); bytes after the last
// line feed belong to no line. Carriage returns are ordinary bytes. Line 0 of a
// display message is HTML, line 1 the sender's dotted address; commands have an empty
// line 0 and their word in line 1:
//
//   add     "\nadd\n" colour "\n" name "\n"                 exactly 4 lines
//   del     "\ndel\n" colour "\n" name "\n"                 exactly 4 lines
//   change  "\nchange\n" old colour "\n" old name "\n"
//                        new colour "\n" new name "\n"      exactly 6 lines
//
// Everything else is a display message. All comparisons are byte-exact.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace murelo {

inline constexpr int kStoredLines = 11;
/// Lines more than this make a message malformed (the user is told once).
inline constexpr int kMaxWellFormedLines = 10;
/// Tag balancing looks at this many leading bytes of a line.
inline constexpr size_t kBalanceWindow = 1024;

/// The first kStoredLines lines of one message; slots at and above the count are empty.
using LineTable = std::array<std::string, kStoredLines>;

/// Fills lines with the complete lines of text (later lines are counted, not stored)
/// and returns how many complete lines it has. Any length is taken whole.
int SplitMessageLines(std::string_view text, LineTable& lines);

/// Appends a closing tag to line for every opening tag among its first
/// kBalanceWindow bytes that no closing tag in that window answers. Each closing tag
/// found answers one opening tag, matching is case-sensitive, and the line only ever
/// grows at its end.
void BalanceTags(std::string& line);

}  // namespace murelo
