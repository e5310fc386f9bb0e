#!/usr/bin/env bash
# Desktop notifications against a real notification service: dunst, on a private
# session bus under Xvfb. A window copy joins a headless room from the command line
# and is minimised; a raw peer then talks in the room. The window must count what it
# missed in its title and notify once per burst, replacing its notification, with
# critical urgency for a line that names its user; a click on the notification must
# bring the window forward. dunst -print shows what the service received.
#
# Usage: notifications.sh path/to/murelo (needs dunst, dbus and what two_copies.sh needs).
set -uo pipefail
if [ -z "${MURELO_PRIVATE_BUS:-}" ]; then
  exec env MURELO_PRIVATE_BUS=1 dbus-run-session -- "$0" "$@"
fi
# shellcheck source-path=SCRIPTDIR source=window_driver.sh
source "$(dirname "$0")/window_driver.sh"
e2e_begin notifications "${1:-}"
report_files=("$work/dunst.out")
# received field value: the newest notification dunst printed has this field value.
received() { grep -E "^[[:space:]]*$1: " "$work/dunst.out" | tail -n 1 | grep -qF -- "$2"; }
title_is() { [ "$(xdotool getwindowname "${win[b]}")" = "$1" ]; }
say() {  # text...: a raw peer in the room says each, as 太郎 from 10.9.9.9
  set -- "${@/#/<font color=blue><b>太郎</b></font>：}"
  python3 "$driver_dir/peer.py" "$port" 0.3 "${@/%/$'\n10.9.9.9\n'}"
}

dunst -print >"$work/dunst.out" 2>"$work/dunst.log" &
running+=($!)
# Asked of the bus, not of the service: a call to the service would have the bus start
# the system's own dunst, which has no display here, and race ours for the name.
dunst_up() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications | grep -q true
}
expect "dunst takes the bus" dunst_up
start_room
start_copy b --join 127.0.0.1 --name bob
expect "bob's window joins the room" members_have b 部屋
xdotool windowminimize "${win[b]}"
expect "the window is out of sight" test "$(xdotool getactivewindow 2>/dev/null)" != "${win[b]}"

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
# Shown, and its title plain: the count is cleared only once the window has been
# active. Whether it still is a moment later is the window manager's to say: under load,
# the focus was once seen to have moved on by the time it was asked.
shown() { xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$1"; }
expect "the window is shown again" shown "${win[b]}"
expect "its title is plain again" title_is "Murelo - murelo"
echo "notifications: one per burst, critical when named, a click brings the window (${SECONDS}s)"
