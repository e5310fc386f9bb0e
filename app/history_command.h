// The history from the command line: murelo --search and murelo --forget-history. Both
// need no display and leave a running copy alone: a search only reads, and WAL lets a
// writer go on meanwhile.
#pragma once

#include "app/command_line.h"

namespace murelo {

/// Prints the newest matches, newest last, one a line: "YYYY-MM-DD HH:MM:SS ROOM TEXT" in
/// local time, plain UTF-8 text. 0 when something matched, 1 when nothing did, 2 when
/// the history cannot be read.
int RunHistorySearch(const CStartRequest& request);

/// Deletes every line of the history; 0 when done.
int RunForgetHistory();

}  // namespace murelo
