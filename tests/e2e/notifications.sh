#!/usr/bin/env bash
# An always-on room with a window in it, and desktop notifications against a real
# notification service: dunst, on a private session bus under Xvfb. A headless host with
# no display holds the room; a window copy joins it from the command line (--join,
# --name: no dialog), remembers the host, talks, and is minimised; a raw peer then talks
# in the room. The window must count what it missed in its title and notify once per
# burst, replacing its notification, with critical urgency for a line that names its
# user; a click on the notification must bring the window forward. What the host
# interprets is read from its standard output, what the window shows from its data.htm,
# and dunst -print shows what the service received.
#
# Usage: notifications.sh path/to/murelo (needs dunst, dbus and what two_copies.sh needs).
set -uo pipefail
if [ -z "${MURELO_PRIVATE_BUS:-}" ]; then
  exec env MURELO_PRIVATE_BUS=1 dbus-run-session -- "$0" "$@"
fi
# shellcheck source-path=SCRIPTDIR source=window_driver.sh
source "$(dirname "$0")/window_driver.sh"
e2e_begin notifications "${1:-}"
report_dirs=(b) report_files=("$work/dunst.out" "$work/room.out")
# received field value: the newest notification dunst printed has this field value.
received() { grep -E "^[[:space:]]*$1: " "$work/dunst.out" | tail -n 1 | grep -qF -- "$2"; }
title_is() { [ "$(xdotool getwindowname "$win_b")" = "$1" ]; }
room_said() { grep -qE "^[0-9]{2}:[0-9]{2}:[0-9]{2} $1\$" "$work/room.out"; }
say() {  # text...: a raw peer in the room says each, as 太郎
  local lines=("${@/#/<font color=blue><b>太郎</b></font>：}")
  python3 "$driver_dir/peer.py" "$port" 0.3 "${lines[@]/%/$'\n10.9.9.9\n'}"
}

start_desktop
dunst -print >"$work/dunst.out" 2>"$work/dunst.log" &
running+=($!)
dunst_up() { dunstctl is-paused >/dev/null 2>&1; }
expect "dunst takes the bus" dunst_up
mkdir -p "$work/room"
env -u DISPLAY MURELO_CHAT_PORT="$port" "$bin" --headless --name 部屋 --dir "$work/room" \
  >"$work/room.out" 2>&1 &
running+=($!)
expect "the room is hosting" room_said "ホストＩＰアドレスは .*－接続待機－"
start_copy b --join "127.0.0.1 and the rest" --name bob --color green
pid_b=$started_pid
win_b=$(find_window "$pid_b" "$main_caption" 20)
expect "the room sees bob come in" room_said "bobさんがいらっしゃいました～♪"
expect "bob's window lists the room" members_have b 部屋
expect "bob's murelo.conf remembers the room" \
  grep -qx 'recent_hosts=127.0.0.1' "$work/b/config/murelo/murelo.conf"
expect "bob's line reaches the room" send_line "$win_b" "<b>hello</b> &amp; good morning"
expect "the room prints it as plain UTF-8" room_said "bob：hello & good morning"
xdotool windowminimize "$win_b"
expect "the window is out of sight" test "$(xdotool getactivewindow 2>/dev/null)" != "$win_b"

say "会議は三時" "資料は共有に" "<i>よろしく</i>"
expect "the title counts three missed lines" title_is "(3) Murelo - murelo"
expect "the burst is summarised" received summary "太郎 ほか 2 件"
expect "with the newest line as plain text" received body "太郎：よろしく"
expect "at normal urgency" received urgency NORMAL
expect "from murelo" received appname murelo
expect "one notification, replaced" test "$(dunstctl count displayed)" = 1
say "bob さん、見て"
expect "a mention is critical" received urgency CRITICAL
expect "and replaces the last" test "$(dunstctl count displayed)" = 1
expect "the click brings the window forward" dunstctl action 0
expect "the window is active again" test "$(xdotool getactivewindow 2>/dev/null)" = "$win_b"
expect "its title is plain again" title_is "Murelo - murelo"
stop_pid "$pid_b"
expect "the room sees bob go" room_said "bobさん、さようなら～♪"
expect "bob's data.dat holds what the command line gave" \
  test "$(cat "$work/b/data.dat")" = "$(printf 'green\nbob\n1')"
echo "notifications: the window joined the room from the command line and talked; one per burst, critical when named, a click brings it (${SECONDS}s)"
