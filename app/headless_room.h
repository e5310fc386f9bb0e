// The always-on room: a host with no window, for a machine without a screen. It needs
// no display and uses QtCore alone. It takes part under its name like any host, writes
// data.htm and data.dat as the window does, prints each display message it interprets
// to standard output as a line of UTF-8 text after the local time, and turns message
// boxes into lines on standard error that wait for no one.
#pragma once

#include "app/command_line.h"

namespace murelo {

/// Hosts until SIGTERM, SIGINT or SIGHUP, then runs the close steps; the exit status:
/// 0 after a signal, 1 when the port cannot be listened on, kExitUsage without a name.
/// program is argv[0].
int RunHeadlessRoom(const CStartRequest& request, char* program);

}  // namespace murelo
