#!/usr/bin/env bash
# Two copies of murelo hold a conversation on loopback, driven through their windows as
# a person drives them: the menu by its Alt mnemonics, the connect dialog by Tab, Space
# and Enter, the input edit by a click and Enter. They run under a private Xvfb server
# with a window manager (openbox), each in its own directory, and what they show is
# read back from their data.htm.
#
# Usage: two_copies.sh path/to/murelo (needs Xvfb, openbox, xdotool, xprop and iconv:
# scripts/setup).
# On failure prints the step, the windows and both pages, and exits 1.
set -uo pipefail
# shellcheck source-path=SCRIPTDIR source=window_driver.sh
source "$(dirname "$0")/window_driver.sh"
e2e_begin two_copies "${1:-}"
report_dirs=(a b)

start_desktop
start_copy a
pid_a=$started_pid
win_a=$(find_window "$pid_a" "$main_caption" 20)
expect "A's window is 480 x 480 with its frame" test "$(outer_size "$win_a")" = 480x480
expect "A hosts through Alt+F, C and the dialog" connect_as "$pid_a" "$win_a" alice --server
expect "A shows its hosting notice" page_has a "－接続待機－"
start_copy b
pid_b=$started_pid
win_b=$(find_window "$pid_b" "$main_caption" 20)
xdotool windowmove "$win_b" 500 0
expect "B joins through Alt+F, C and the dialog" connect_as "$pid_b" "$win_b" bob 127.0.0.1
expect "A shows bob's join notice" page_has a "bob</font>さんがいらっしゃいました～♪"

expect "A takes a typed line" send_line "$win_a" "hello from alice"
expect "B shows A's line" page_has b "<hr><font color=red><b>alice</b></font>：hello from alice"
expect "B takes a typed line" send_line "$win_b" "hi alice, bob here"
expect "A shows B's line" page_has a "<hr><font color=red><b>bob</b></font>：hi alice, bob here"

expect "B's menu takes Alt+F, X" open_menu_item "$win_b" x
wait_until 10 ended "$pid_b" || { xdotool key Escape Escape; open_menu_item "$win_b" x; }  # the X before the popup
expect "B ends" ended "$pid_b"
wait "$pid_b"
status=$?
expect "B ends normally, its page removed and its settings written" \
  test "$status" -eq 0 -a ! -e "$work/b/data.htm" -a -f "$work/b/data.dat"
kill -TERM "$pid_a"
expect "A ends on SIGTERM" ended "$pid_a"
wait "$pid_a"
status=$?
expect "A ends as a normal close does" test "$status" -eq 0 -a ! -e "$work/a/data.htm"
expect "A's data.dat holds its name" env LC_ALL=C grep -qx alice "$work/a/data.dat"
echo "two_copies: the conversation of two copies went as expected (${SECONDS}s)"
