#!/usr/bin/env bash
# An always-on room: a headless host with no display, and a window copy that joins it
# from the command line (--join, --name: no dialog) and talks in it. What the host
# interprets is read from its standard output, what the window shows from its data.htm.
#
# Usage: room.sh path/to/murelo (needs what two_copies.sh needs).
set -uo pipefail
# shellcheck source-path=SCRIPTDIR source=window_driver.sh
source "$(dirname "$0")/window_driver.sh"
e2e_begin room "${1:-}"
room_said() { grep -qE "^[0-9]{2}:[0-9]{2}:[0-9]{2} $1\$" "$work/room.out"; }

start_room
expect "the room is hosting" room_said "ホストＩＰアドレスは .*－接続待機－"
start_copy b --join "127.0.0.1 and the rest" --name bob --color green
expect "the room sees bob come in" room_said "bobさんがいらっしゃいました～♪"
expect "bob's window lists the room" members_have b 部屋
expect "bob's murelo.conf remembers the room" \
  grep -qx 'recent_hosts=127.0.0.1' "$work/b/config/murelo/murelo.conf"
expect "bob's line reaches the room" send_line "${win[b]}" "<b>hello</b> &amp; good morning"
expect "the room prints it as plain UTF-8" room_said "bob：hello & good morning"
stop_pid "${pid[b]}"
expect "the room sees bob go" room_said "bobさん、さようなら～♪"
expect "bob's data.dat holds what the command line gave" \
  test "$(cat "$work/b/data.dat")" = "$(printf 'green\nbob\n1')"
echo "room: a window joined the headless room from the command line and talked (${SECONDS}s)"
