#!/usr/bin/env bash
# Two copies of murelo hold a conversation on loopback, driven through their windows as
# a person drives them: the menu by its Alt mnemonics, the connect dialog by Tab, Space
# and Enter, the input edit by a click and Enter. They run under a private Xvfb server
# with a window manager (openbox), each in its own directory, and what they show is
# read back from their data.htm.
#
# Usage: two_copies.sh path/to/murelo (needs Xvfb, openbox, xdotool, xprop and iconv:
# xclip: scripts/setup).
# On failure prints the step, the windows and both pages, and exits 1.
set -uo pipefail
# shellcheck source-path=SCRIPTDIR source=window_driver.sh
source "$(dirname "$0")/window_driver.sh"
e2e_begin two_copies "${1:-}"

start_copy a
expect "A's window is 480 x 480 with its frame" test "$(outer_size "${win[a]}")" = 480x480
expect "A hosts through Alt+F, C and the dialog" connect_as "${pid[a]}" "${win[a]}" alice --server
expect "A shows its hosting notice" page_has a "－接続待機－"
start_copy b
xdotool windowmove "${win[b]}" 500 0
expect "B joins through Alt+F, C and the dialog" connect_as "${pid[b]}" "${win[b]}" bob 127.0.0.1
expect "A shows bob's join notice" page_has a "bob</font>さんがいらっしゃいました～♪"

expect "A takes a typed line" send_line "${win[a]}" "hello from alice"
expect "B shows A's line" page_has b "<hr><font color=red><b>alice</b></font>：hello from alice"
expect "B takes a typed line" send_line "${win[b]}" "hi alice, bob here"
expect "A shows B's line" page_has a "<hr><font color=red><b>bob</b></font>：hi alice, bob here"

# B finds A's line in its history: the first hit, copied from the list.
search=$(open_search "${pid[b]}" "${win[b]}")
expect "B's Ctrl+F opens the search window" test -n "$search"
type_text "hello"
sleep 0.5
xdotool key Tab ctrl+c
expect "B's search finds A's line" wait_until 5 clipboard_has " 127.0.0.1 alice：hello from alice"
xdotool key Escape

expect "B's menu takes Alt+F, X" open_menu_item "${win[b]}" x
wait_until 10 ended "${pid[b]}" || { xdotool key Escape Escape; open_menu_item "${win[b]}" x; }  # the X before the popup
expect "B ends normally" exited_ok "${pid[b]}"
expect "B's page is removed and its settings written" test ! -e "$work/b/data.htm" -a -f "$work/b/data.dat"
kill -TERM "${pid[a]}"
expect "A ends on SIGTERM as a normal close does" exited_ok "${pid[a]}"
expect "A's page is removed" test ! -e "$work/a/data.htm"
expect "A's data.dat holds its name" env LC_ALL=C grep -qx alice "$work/a/data.dat"
echo "two_copies: the conversation of two copies went as expected (${SECONDS}s)"
