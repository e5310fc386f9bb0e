#!/usr/bin/env bash
# Two copies of murelo hold a conversation on loopback, driven through their windows
# the way a person drives them: the menu by its Alt mnemonics, the connect dialog by
# Tab, Space and Enter, the input edit by a click and Enter. The copies run under a
# private Xvfb server, each in its own directory, and what they show is read back
# from the chat page each one writes (data.htm, CP932).
#
# Usage: two_copies.sh path/to/murelo
# Needs Xvfb and xdotool (scripts/setup installs both). Exits 0 when the whole
# conversation went as expected; otherwise prints the step that failed, the windows
# and both pages, and exits 1.
set -uo pipefail

if [ $# -ne 1 ] || [ ! -x "$1" ]; then
  echo "usage: $0 path/to/murelo" >&2
  exit 2
fi
for tool in Xvfb xdotool iconv; do
  command -v "$tool" >/dev/null || { echo "two_copies: $tool is missing (run scripts/setup)" >&2; exit 1; }
done

# shellcheck source-path=SCRIPTDIR source=window_driver.sh
source "$(dirname "$0")/window_driver.sh"

bin=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/murelo-e2e.XXXXXX")
port=""
xvfb_pid=""
pid_a=""
pid_b=""
step="starting Xvfb"

cleanup() {
  stop_pid "$pid_b"
  stop_pid "$pid_a"
  stop_pid "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "two_copies: interrupted while $step" >&2; exit 1' INT TERM HUP

fail() {
  echo "two_copies: FAILED while $step: $*" >&2
  { show_windows; show_page a; show_page b; } >&2
  # MURELO_E2E_FAILSHOT=file.png keeps a picture of the screen as it was.
  if [ -n "${MURELO_E2E_FAILSHOT:-}" ] && [ -x /usr/bin/import ]; then
    /usr/bin/import -window root "$MURELO_E2E_FAILSHOT" && echo "screen: $MURELO_E2E_FAILSHOT" >&2
  fi
  exit 1
}

start_display 1024x768 || fail "Xvfb did not come up"
port=$(free_port) || fail "no free port found"
echo "two_copies: display $DISPLAY, chat port $port"

# --- copy A hosts -----------------------------------------------------------------

step="starting copy A"
start_copy a
pid_a=$started_pid
win_a=$(find_window "$pid_a" "$main_caption" 20) || fail "no main window"

step="hosting from copy A's connect dialog"
connect_as "$pid_a" "$win_a" alice --server || fail "Alt+F, C and the dialog did not go through"
wait_until 10 page_has a "－接続待機－" || fail "copy A shows no hosting notice"

# --- copy B joins -----------------------------------------------------------------

step="starting copy B"
start_copy b
pid_b=$started_pid
win_b=$(find_window "$pid_b" "$main_caption" 20) || fail "no main window"
xdotool windowmove "$win_b" 500 0

step="joining from copy B's connect dialog"
connect_as "$pid_b" "$win_b" bob 127.0.0.1 || fail "Alt+F, C and the dialog did not go through"

step="waiting for the two copies to connect"
wait_until 15 page_has a "接続されました☆" || fail "copy A shows no accepted notice"
wait_until 15 page_has b "接続に成功しました♪" || fail "copy B shows no connected notice"
for dir in a b; do
  for name in alice bob; do
    wait_until 10 members_have "$dir" "$name" || fail "copy ${dir^^} does not list $name"
  done
done
page_has a "bob</font>さんがいらっしゃいました～♪" || fail "copy A shows no join notice of bob"

# --- one line each ----------------------------------------------------------------

step="sending a line from copy A"
send_line "$win_a" "hello from alice" || fail "copy A's window takes no focus"
wait_until 10 page_has a "<b>alice</b></font>：hello from alice" || fail "copy A does not show its own line"

step="sending a line from copy B"
send_line "$win_b" "hi alice, bob here" || fail "copy B's window takes no focus"
wait_until 10 page_has b "<b>bob</b></font>：hi alice, bob here" || fail "copy B does not show its own line"

step="checking both pages show both lines"
for dir in a b; do
  wait_until 10 page_has "$dir" "<hr><font color=red><b>alice</b></font>：hello from alice" ||
    fail "copy ${dir^^} lacks alice's line"
  wait_until 10 page_has "$dir" "<hr><font color=red><b>bob</b></font>：hi alice, bob here" ||
    fail "copy ${dir^^} lacks bob's line"
done

# --- B leaves through its menu ----------------------------------------------------

step="closing copy B with Alt+F, X"
open_menu_item "$win_b" x || fail "copy B's window takes no focus"
if ! wait_until 10 ended "$pid_b"; then
  # The X may have come before the popup was up: once more.
  xdotool key Escape Escape
  open_menu_item "$win_b" x || fail "copy B's window takes no focus"
  wait_until 10 ended "$pid_b" || fail "copy B is still running"
fi
wait "$pid_b" 2>/dev/null
status=$?
pid_b=""
[ "$status" -eq 0 ] || fail "copy B ended with status $status"
[ ! -e "$work/b/data.htm" ] || fail "copy B left its data.htm behind"
[ -f "$work/b/data.dat" ] || fail "copy B wrote no data.dat"

step="checking copy A saw copy B leave"
wait_until 10 members_lack a bob || fail "copy A still lists bob"
members_have a alice || fail "copy A no longer lists alice"
page_has a "bob</font>さん、さようなら～♪" || fail "copy A shows no leave notice of bob"
running "$pid_a" || fail "copy A ended with copy B"

# --- A ends on SIGTERM ------------------------------------------------------------

step="ending copy A with SIGTERM"
kill -TERM "$pid_a"
wait_until 10 ended "$pid_a" || fail "copy A is still running after SIGTERM"
wait "$pid_a" 2>/dev/null
status=$?
pid_a=""
[ "$status" -eq 0 ] || fail "copy A ended with status $status, not as a normal close"
[ -f "$work/a/data.dat" ] || fail "copy A wrote no data.dat"
LC_ALL=C grep -qx alice "$work/a/data.dat" || fail "copy A's data.dat does not hold its name"
[ ! -e "$work/a/data.htm" ] || fail "copy A left its data.htm behind"

echo "two_copies: the conversation of two copies went as expected (${SECONDS}s)"
