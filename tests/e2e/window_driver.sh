# Drives copies of murelo through their windows with xdotool, on a private Xvfb
# server, and reads back what they show from the chat page each one writes. Sourced
# by tests/e2e/two_copies.sh and scripts/screenshot.
#
# The sourcing script sets, before calling anything here:
#   work  a scratch directory; copy X runs in $work/X and logs to $work/X.log
#   bin   the murelo program
#   port  the chat port the copies use (MURELO_CHAT_PORT)
# start_display sets DISPLAY and xvfb_pid. Every wait is bounded: a helper that
# waits returns non-zero when its time is up, and the caller says what failed.

# shellcheck shell=bash disable=SC2034,SC2154

driver_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# wait_until seconds command...: runs the command every 0.2 s until it succeeds;
# returns 1 once the time is up.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# stop_pid pid: TERM, up to 3 s of grace, then KILL. Only for our own children.
stop_pid() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
  kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 30); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

# start_display WIDTHxHEIGHT: starts Xvfb on the first free display number and
# waits until it answers. Sets DISPLAY (exported) and xvfb_pid. -noreset: by default
# the server resets when its last client goes (the probe below is one), and a copy
# that connects during the reset finds no display.
start_display() {
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  wait_until 10 test -s "$work/display" || return 1
  DISPLAY=":$(head -n 1 "$work/display")"
  export DISPLAY
  wait_until 10 xdotool getmouselocation >/dev/null 2>&1
}

# free_port: a TCP port that no socket on this machine uses in any state, below the
# range the system hands out to outgoing connections (a busy machine holds thousands
# of those in TIME_WAIT, and a client socket on the port makes the copy's listen
# fail) and away from the program's own 4000.
free_port() {
  local low=32768 candidate hex
  read -r low _ </proc/sys/net/ipv4/ip_local_port_range 2>/dev/null || low=32768
  [ "$low" -gt 12000 ] || low=32768
  for _ in $(seq 100); do
    candidate=$((10000 + RANDOM % (low - 10000)))
    hex=$(printf ':%04X ' "$candidate")
    if ! grep -qF -- "$hex" /proc/net/tcp /proc/net/tcp6 2>/dev/null; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}

# start_copy dir: starts murelo in $work/dir on the X display; sets started_pid.
# A sanitizer build gets the leak suppressions for the system libraries it loads.
start_copy() {
  mkdir -p "$work/$1"
  (cd "$work/$1" && exec env -u WAYLAND_DISPLAY DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb \
      LSAN_OPTIONS="suppressions=$driver_dir/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}" \
      MURELO_CHAT_PORT="$port" "$bin" >"$work/$1.log" 2>&1) &
  started_pid=$!
}

# --- what a copy shows --------------------------------------------------------------

# The page holds CP932 bytes, so a text looked for is turned into CP932 first and the
# file is searched byte for byte.
cp932() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }

page_has() {  # dir text
  [ -f "$work/$1/data.htm" ] && LC_ALL=C grep -qaF -- "$(cp932 "$2")" "$work/$1/data.htm"
}

# The participants line: "[参加者]  " followed by one font run per member.
members_line() {  # dir
  [ -f "$work/$1/data.htm" ] && LC_ALL=C grep -aF -- "$(cp932 '[参加者]')" "$work/$1/data.htm"
}
members_have() {  # dir name
  members_line "$1" | LC_ALL=C grep -qaF -- ">$2</font>"
}
members_lack() {  # dir name
  members_line "$1" >/dev/null && ! members_have "$1" "$2"
}

# show_page dir: the page as UTF-8 and the tail of the copy's output, for reports.
show_page() {
  if [ -f "$work/$1/data.htm" ]; then
    echo "--- $1/data.htm:"
    iconv -c -f CP932 -t UTF-8 "$work/$1/data.htm"
    echo
  else
    echo "--- $1/data.htm: (none)"
  fi
  if [ -s "$work/$1.log" ]; then
    echo "--- output of copy $1:"
    tail -n 20 "$work/$1.log"
  fi
}

# show_windows: every visible window with its caption, for reports.
show_windows() {
  echo "--- visible windows:"
  xdotool search --onlyvisible --name '.' 2>/dev/null | while read -r id; do
    echo "$id $(xdotool getwindowname "$id" 2>/dev/null)"
  done
}

# --- windows and keys ---------------------------------------------------------------

main_caption='^Murelo - murelo$'
connect_caption='^接続$'

# window_of pid caption-regex: the visible top-level window of that process whose
# caption matches, or nothing. --all: xdotool's default is to match either test.
window_of() {
  xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -n 1
}

# find_window pid caption-regex seconds: prints the window id once it is shown.
find_window() {
  local id="" deadline=$((SECONDS + $3))
  while :; do
    id=$(window_of "$1" "$2")
    [ -n "$id" ] && break
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
  echo "$id"
}

window_gone() { [ -z "$(window_of "$1" "$2")" ]; }  # pid caption-regex

# focus window: gives it the keyboard focus and waits until the X server says it has
# it. A window manager is asked to activate the window (setting the focus behind its
# back loses the first keys while it catches up); without one, which is how the test
# runs, the focus is set directly.
focus() {
  for _ in 1 2 3; do
    timeout 3 xdotool windowactivate --sync "$1" 2>/dev/null ||
      xdotool windowfocus --sync "$1" 2>/dev/null
    wait_until 2 focused "$1" && return 0
  done
  return 1
}
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

# open_menu_item main-window letter: Alt+F opens the menu 接続(&F), then the letter
# picks its item. Qt builds the popup while handling Alt+F, so the letter waits a
# little for it.
open_menu_item() {
  focus "$1" || return 1
  xdotool key alt+f
  sleep 0.4
  xdotool key "$2"
}

# open_connect_dialog pid main-window: Alt+F, C; prints the dialog's window id once
# it has the focus. A try that opened nothing (the letter came before the popup) is
# closed with Escape and made again.
open_connect_dialog() {
  local dialog
  for _ in 1 2 3; do
    open_menu_item "$2" c || return 1
    if dialog=$(find_window "$1" "$connect_caption" 5); then
      focus "$dialog" || return 1
      echo "$dialog"
      return 0
    fi
    xdotool key Escape Escape
    sleep 0.3
  done
  return 1
}

# connect_as pid main-window name host|--server: fills in the connect dialog and
# confirms it with Enter. The name edit has the focus when the dialog opens; Tab
# goes to the host edit, then to the check box サーバーになる.
connect_as() {
  open_connect_dialog "$1" "$2" >/dev/null || return 1
  xdotool key ctrl+a
  type_text "$3"
  if [ "$4" = --server ]; then
    xdotool key --delay 50 Tab Tab space
  else
    xdotool key Tab ctrl+a
    type_text "$4"
  fi
  xdotool key Return
  wait_until 10 window_gone "$1" "$connect_caption"
}

# send_line main-window text: clicks into the input edit, types the line and presses
# Enter. The edit is 22 pixels high, 3 pixels below the top of the input bar, which
# fills the bottom 44 pixels of the window: 30 pixels above the bottom edge and 40
# from the left is inside it.
send_line() {
  local WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(WIDTH|HEIGHT)=')"
  focus "$1" || return 1
  xdotool mousemove --window "$1" 40 $((HEIGHT - 30)) click 1
  sleep 0.2
  xdotool key ctrl+a
  type_text "$2"
  xdotool key Return
}

# type_text text: types into the window that has the focus. A character that is not
# on the keyboard map (Japanese) is typed by remapping a spare key for it, and a
# client that looks the map up after the next remap sees the wrong character; at 20
# ms a key about one in three Japanese lines came out wrong, at 80 ms none did.
type_text() {
  local delay=20
  if LC_ALL=C grep -q '[^ -~]' <<<"$1"; then delay=120; fi
  xdotool type --delay "$delay" -- "$1"
}

running() { kill -0 "$1" 2>/dev/null; }
ended() { ! kill -0 "$1" 2>/dev/null; }
