#!/usr/bin/env bash
# Two copies of murelo hold a conversation on loopback, driven through their windows as
# a person drives them: the menu by its Alt mnemonics, the connect dialog by Tab, Space
# and Enter, the input edit by a click and Enter. They run under a private Xvfb server,
# each in its own directory, and what they show is read back from their data.htm.
#
# Usage: two_copies.sh path/to/murelo (needs Xvfb, xdotool and iconv: scripts/setup).
# On failure prints the step, the windows and both pages, and exits 1.
set -uo pipefail
[ $# -eq 1 ] && [ -x "$1" ] || { echo "usage: $0 path/to/murelo" >&2; exit 2; }
# shellcheck source-path=SCRIPTDIR source=window_driver.sh
source "$(dirname "$0")/window_driver.sh"

bin=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/murelo-e2e.XXXXXX")
xvfb_pid="" pid_a="" pid_b="" step="starting Xvfb"
trap 'stop_pid "$pid_b"; stop_pid "$pid_a"; stop_pid "$xvfb_pid"; rm -rf "$work"' EXIT
fail() {
  echo "two_copies: FAILED while $step: $*" >&2
  { show_windows; show_page a; show_page b; } >&2
  exit 1
}
expect() {  # seconds what command...: waits for the command, or fails saying what
  local seconds=$1 what=$2
  shift 2
  wait_until "$seconds" "$@" || fail "$what"
}

start_display 1024x768 || fail "Xvfb did not come up"
port=$(free_port) || fail "no free port found"

step="copy A hosts"
start_copy a
pid_a=$started_pid
win_a=$(find_window "$pid_a" "$main_caption" 20) || fail "no main window"
connect_as "$pid_a" "$win_a" alice --server || fail "Alt+F, C and the dialog did not go through"
expect 10 "no hosting notice" page_has a "－接続待機－"

step="copy B joins"
start_copy b
pid_b=$started_pid
win_b=$(find_window "$pid_b" "$main_caption" 20) || fail "no main window"
xdotool windowmove "$win_b" 500 0
connect_as "$pid_b" "$win_b" bob 127.0.0.1 || fail "Alt+F, C and the dialog did not go through"
expect 15 "A shows no accepted notice" page_has a "接続されました☆"
expect 15 "B shows no connected notice" page_has b "接続に成功しました♪"
for dir in a b; do
  for name in alice bob; do expect 10 "$dir does not list $name" members_have "$dir" "$name"; done
done
page_has a "bob</font>さんがいらっしゃいました～♪" || fail "A shows no join notice of bob"

step="a line each"
send_line "$win_a" "hello from alice" || fail "A takes no focus"
expect 10 "A does not show its line" page_has a "：hello from alice"
send_line "$win_b" "hi alice, bob here" || fail "B takes no focus"
for dir in a b; do
  expect 10 "$dir lacks alice's line" page_has "$dir" "<hr><font color=red><b>alice</b></font>：hello from alice"
  expect 10 "$dir lacks bob's line" page_has "$dir" "<hr><font color=red><b>bob</b></font>：hi alice, bob here"
done

step="B leaves by Alt+F, X"
for _ in 1 2; do  # the X may come before the popup is up
  open_menu_item "$win_b" x || fail "B takes no focus"
  wait_until 10 ended "$pid_b" && break
  xdotool key Escape Escape
done
wait "$pid_b"
status=$? pid_b=""
[ "$status" -eq 0 ] || fail "B ended with status $status"
[ ! -e "$work/b/data.htm" ] && [ -f "$work/b/data.dat" ] || fail "B left data.htm or wrote no data.dat"
expect 10 "A still lists bob" members_lack a bob
page_has a "bob</font>さん、さようなら～♪" || fail "A shows no leave notice of bob"

step="A ends on SIGTERM, as a normal close"
kill -TERM "$pid_a"
expect 10 "A is still running" ended "$pid_a"
wait "$pid_a"
status=$? pid_a=""
[ "$status" -eq 0 ] || fail "A ended with status $status"
LC_ALL=C grep -qx alice "$work/a/data.dat" && [ ! -e "$work/a/data.htm" ] || fail "A's data.dat lacks its name, or data.htm is left"
echo "two_copies: the conversation of two copies went as expected (${SECONDS}s)"
