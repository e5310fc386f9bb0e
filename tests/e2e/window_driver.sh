# Drives copies of murelo through their windows with xdotool, on a private Xvfb server,
# and reads back what they show from the chat page each one writes. Sourced by
# two_copies.sh, room.sh, notifications.sh and discovery.sh here and by
# scripts/screenshot, which set before calling anything:
#   work  a scratch directory; copy X runs in $work/X and logs to $work/X.log
#   bin   the murelo program
#   port  the chat port the copies use (MURELO_CHAT_PORT)
# Every wait is bounded: a helper that waits returns non-zero when its time is up.
# The end-to-end scripts begin with e2e_begin, which sets work and bin and brings up the
# display, and check each step with expect. discovery.sh, which has no display, sets
# work, bin, port, e2e_name, report_dirs and report_files itself.
# shellcheck shell=bash disable=SC2034,SC2154

driver_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
main_caption='^Murelo - murelo$'
connect_caption='^接続$'
search_caption='^履歴の検索$'
declare -A pid=() win=()

# wait_until seconds command...: runs the command every 0.2 s until it succeeds.
wait_until() {
  local deadline=$((SECONDS + $1))
  until "${@:2}"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
ended() { ! kill -0 "$1" 2>/dev/null; }
# exited_ok pid: our child has ended, with status 0 (a second call after it has ended fails).
exited_ok() { ended "$1" && wait "$1"; }

# e2e_begin name path/to/murelo: checks the argument, sets bin and a fresh work
# directory, and brings up a 1024x768 display with openbox on it, or the script fails.
# At exit every process in running is stopped, newest first (the helpers that start one
# add it), and work is removed.
e2e_begin() {
  e2e_name=$1
  [ -x "${2:-}" ] || { echo "usage: $e2e_name path/to/murelo" >&2; exit 2; }
  bin=$(realpath "$2") work=$(mktemp -d "${TMPDIR:-/tmp}/murelo-$e2e_name.XXXXXX")
  running=() report_dirs=() report_files=() port=""
  trap e2e_end EXIT
  expect "Xvfb comes up" start_display 1024x768
  expect "openbox comes up" start_window_manager
}
e2e_end() {
  for ((i = ${#running[@]} - 1; i >= 0; i--)); do stop_pid "${running[i]}"; done
  rm -rf "$work"
}
# expect what command...: unless the command succeeds within 15 s, says what failed,
# shows the windows, the pages of the copies in report_dirs and the files in
# report_files, and exits 1.
expect() {
  wait_until 15 "${@:2}" && return
  echo "$e2e_name: FAILED: $1" >&2
  report "${report_dirs[@]}" >&2
  exit 1
}
# stop_pid pid: TERM, up to 3 s of grace, then KILL. Only for our own children.
stop_pid() {
  [ -n "$1" ] && kill -TERM "$1" 2>/dev/null && ! wait_until 3 ended "$1" && kill -KILL "$1"
  wait "$1" 2>/dev/null || true
}

# start_display WIDTHxHEIGHT: Xvfb on a free display; sets DISPLAY and xvfb_pid.
# -noreset: the server would otherwise reset when its last client (a probe) goes. The
# port is one no socket uses, below the range handed out to outgoing connections.
start_display() {
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$! running+=("$!")
  wait_until 10 test -s "$work/display" || return 1
  DISPLAY=":$(head -n 1 "$work/display")" && export DISPLAY
  until [ -n "${port:-}" ] && ! grep -qF "$(printf ':%04X ' "$port")" /proc/net/tcp /proc/net/tcp6; do
    port=$((10000 + RANDOM % 20000))
  done
  wait_until 10 xdotool getmouselocation >/dev/null 2>&1
}

# start_window_manager: openbox on the display, to frame windows as a desktop does;
# sets wm_pid. It is ready once it runs its start-up command: a window mapped before
# then may be left unframed and unmapped.
start_window_manager() {
  openbox --sm-disable --startup "touch $work/openbox.ready" >"$work/openbox.log" 2>&1 &
  wm_pid=$! running+=("$!")
  wait_until 10 test -e "$work/openbox.ready"
}

# outer_size window: WIDTHxHEIGHT of the window with the frame its manager gave it.
outer_size() {
  local WIDTH HEIGHT X Y SCREEN WINDOW left right top bottom
  eval "$(xdotool getwindowgeometry --shell "$1")"
  IFS=', ' read -r left right top bottom < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= //p')
  echo "$((WIDTH + ${left:-0} + ${right:-0}))x$((HEIGHT + ${top:-0} + ${bottom:-0}))"
}

# start_copy dir [option...]: murelo in $work/dir on the display, given the options,
# with its own configuration and cache directories there, and its page and output shown
# on a failure; sets pid[dir], and win[dir] once its main window is up (empty if none
# comes within 20 s). A sanitizer build gets the leak suppressions for the system
# libraries it loads.
start_copy() {
  mkdir -p "$work/$1"
  (cd "$work/$1" && exec env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb MURELO_CHAT_PORT="$port" \
    XDG_CONFIG_HOME="$work/$1/config" XDG_CACHE_HOME="$work/$1/cache" XDG_DATA_HOME="$work/$1/data" \
    LSAN_OPTIONS="suppressions=$driver_dir/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}" \
    "$bin" "${@:2}" >"$work/$1.log" 2>&1) &
  pid[$1]=$! running+=("$!") report_dirs+=("$1")
  win[$1]=$(find_window "${pid[$1]}" "$main_caption" 20)
}
# start_room: a headless room named 部屋 in $work/room, with no display, printing to
# $work/room.out and room.err, which a failure shows; sets room_pid.
start_room() {
  mkdir -p "$work/room"
  env -u DISPLAY MURELO_CHAT_PORT="$port" XDG_DATA_HOME="$work/room/data" \
    "$bin" --headless --name 部屋 --dir "$work/room" \
    >"$work/room.out" 2>"$work/room.err" &
  room_pid=$! running+=("$!") report_files+=("$work/room.out" "$work/room.err")
}

# The page holds CP932: what is looked for is turned into CP932 and found byte for byte.
cp932() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }
page_has() { LC_ALL=C grep -qaF -- "$(cp932 "$2")" "$work/$1/data.htm" 2>/dev/null; }  # dir text
members_have() {  # dir name: on the participants line
  LC_ALL=C grep -aF -- "$(cp932 '[参加者]')" "$work/$1/data.htm" 2>/dev/null |
    LC_ALL=C grep -qaF -- ">$(cp932 "$2")</font>"
}
# report dir...: the windows (none without a display), what each copy shows and
# printed, and the files in report_files, for a failure.
report() {
  xdotool search --onlyvisible --name '.' getwindowname %@ 2>/dev/null
  for dir in "$@"; do iconv -c -f CP932 -t UTF-8 "$work/$dir/data.htm" "$work/$dir.log"; done
  for file in "${report_files[@]}"; do echo "--- $file:"; cat "$file"; done
}

window_of() { xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -n 1; }
window_gone() { [ -z "$(window_of "$1" "$2")" ]; }
has_window() { ! window_gone "$1" "$2"; }
find_window() { wait_until "$3" has_window "$1" "$2" && window_of "$1" "$2"; }  # pid caption s

# focus window: a window manager is asked to activate it (setting the focus behind its
# back loses the first keys); without one the focus is set directly.
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
focus() {
  for _ in 1 2 3; do
    timeout 3 xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1" 2>/dev/null
    wait_until 2 focused "$1" && return  # else the loop ends with the last try's failure
  done
}

# open_menu_item main-window letter: Alt+F opens 接続(&F); the letter picks the item once
# Qt has built the popup.
open_menu_item() { focus "$1" && xdotool key alt+f sleep 0.4 key "$2"; }

# open_connect_dialog pid main-window: Alt+F, C, again after Escape when the letter came
# before the popup; the dialog then has the focus.
open_connect_dialog() {
  for _ in 1 2 3; do
    open_menu_item "$2" c || return 1
    dialog=$(find_window "$1" "$connect_caption" 5) && { focus "$dialog"; return; }
    xdotool key Escape Escape
  done
  return 1
}

# connect_as pid main-window name host|--server: fills in the connect dialog (the name
# edit has the focus; Tab goes to the host, then to サーバーになる) and presses Enter.
connect_as() {
  open_connect_dialog "$1" "$2" || return 1
  xdotool key ctrl+a
  type_text "$3"
  if [ "$4" = --server ]; then xdotool key --delay 50 Tab Tab space; else xdotool key Tab ctrl+a && type_text "$4"; fi
  xdotool key Return
  wait_until 10 window_gone "$1" "$connect_caption"
}

# open_search pid main-window: Ctrl+F opens the history's search window, which then has
# the focus in its query; prints the window.
open_search() {
  focus "$2" && xdotool key ctrl+f && find_window "$1" "$search_caption" 10
}
# clipboard_has text: what the clipboard holds contains text.
clipboard_has() { xclip -o -selection clipboard 2>/dev/null | grep -qF -- "$1"; }

# send_line main-window text: clicks into the input edit (in the input bar, the window's
# bottom 44 pixels), types the line and presses Enter.
send_line() {
  local HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$1" | grep '^HEIGHT=')"
  focus "$1" || return 1
  xdotool mousemove --window "$1" 40 $((HEIGHT - 30)) click 1 sleep 0.2 key ctrl+a
  type_text "$2" && xdotool key Return
}

# type_text text: types into the focused window. A character off the keyboard map
# (Japanese) is typed by remapping a spare key, and a client that looks the map up after
# the next remap sees the wrong one: at 120 ms a key none did.
type_text() {
  local delay=20
  if LC_ALL=C grep -q '[^ -~]' <<<"$1"; then delay=120; fi
  xdotool type --delay "$delay" -- "$1"
}
