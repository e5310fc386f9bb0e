#!/usr/bin/env bash
# A hosting copy announces its room over DNS-SD through a real Avahi daemon, and
# avahi-browse, as any DNS-SD browser would, sees it: instance name, port and TXT
# records, the member count as people join, a rename on a name collision, and the
# withdrawal when the room ends. Everything runs in a network namespace of its own,
# with only a loopback interface, a private system bus and a daemon of its own, so no
# multicast leaves it.
#
# Then the connect dialog's host list, through the widget test that needs a daemon.
#
# Usage: discovery.sh path/to/murelo path/to/widget_tests. Needs root, ip,
# avahi-daemon, avahi-utils and dbus-daemon; skipped (status 77) without them.
set -uo pipefail
if [ -z "${MURELO_NETNS:-}" ]; then
  [ -x "${1:-}" ] || { echo "usage: discovery.sh path/to/murelo" >&2; exit 2; }
  if [ "$(id -u)" != 0 ] || ! command -v avahi-daemon avahi-browse ip >/dev/null; then
    echo "discovery: skipped: needs root, ip and Avahi" && exit 77
  fi
  ns=murelo-discovery-$$
  ip netns add "$ns" || exit 77
  trap 'ip netns del "$ns"' EXIT
  ip -n "$ns" link set lo up multicast on
  ip -n "$ns" route add 224.0.0.0/4 dev lo
  # ip netns exec gives the command a mount namespace of its own too.
  ip netns exec "$ns" env MURELO_NETNS="$ns" "$0" "$@"
  exit $?
fi

bin=$(realpath "$1") bin_tests=$(realpath "$2") port=4444
work=$(mktemp -d "${TMPDIR:-/tmp}/murelo-discovery.XXXXXX")
mkdir -p /run/avahi-daemon && mount -t tmpfs tmpfs /run/avahi-daemon  # its pid file, socket
cat >"$work/bus.conf" <<BUS
<busconfig><type>system</type><listen>unix:path=$work/system_bus</listen><policy context="default">
<allow user="*"/><allow own="*"/><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/></policy></busconfig>
BUS
# A daemon's cache holds 4,096 records unless told otherwise, some 1,300 services: room
# here for the hostile ones below.
printf '[server]\nallow-interfaces=lo\nuse-ipv6=no\ncache-entries-max=16384\n[publish]\npublish-workstation=no\n' \
  >"$work/avahi.conf"
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/system_bus
bus_pid=$(dbus-daemon --config-file="$work/bus.conf" --fork --print-pid)
room_pid="" publish_pid="" daemon_pid=""
trap 'kill $room_pid $publish_pid 2>/dev/null; kill -KILL $daemon_pid 2>/dev/null; kill $bus_pid; umount /run/avahi-daemon; rm -rf "$work"' EXIT
avahi-daemon --file="$work/avahi.conf" --no-drop-root --no-chroot --daemonize 2>"$work/avahi.log"

# shellcheck source-path=SCRIPTDIR source=window_driver.sh
source "$(dirname "$0")/window_driver.sh"  # wait_until, stop_pid, expect, start_room
e2e_name=discovery report_dirs=() report_files=("$work/browsed" "$work/avahi.log")
# browsed: what avahi-browse resolves now, left in $work/browsed for a failure's report.
browsed() { timeout 5 avahi-browse -rpt _murelo._tcp 2>/dev/null | grep '^=' >"$work/browsed"; }
# sees text: a resolved record holds the text, as avahi-browse -p escapes it.
sees() { browsed && grep -qF -- "$1" "$work/browsed"; }
gone() { browsed; ! grep -q ';4444;' "$work/browsed"; }
host=$(hostname)

expect "avahi-daemon comes up" avahi-daemon --check
daemon_pid=$(cat /run/avahi-daemon/pid)
# Another service holds the room's name already: the room takes an alternative.
avahi-publish -s "部屋 ($host)" _murelo._tcp 9 >/dev/null 2>&1 &
publish_pid=$!
expect "the other service is published" sees ';9;'
start_room
expect "the room is announced under the next name, on its port" \
  sees "\\041\\032\\0352;_murelo._tcp;local;$host.local;127.0.0.1;4444;"
expect "with its TXT records" sees "\"version=$("$bin" --version | cut -d' ' -f2)\" \"members=1\" \"name=\\233\\131\\168\\229\\177\\139\""
python3 "$driver_dir/peer.py" 4444 30 $'\nadd\nblue\nbob\n' &
peer_pid=$!
expect "the member count follows" sees '"members=2"'
kill "$peer_pid" "$room_pid" "$publish_pid"
expect "the room is withdrawn when it ends" gone
dialog() {  # what gtest-filter: the widget test, here beside the daemon
  MURELO_DISCOVERY=1 timeout 90 "$bin_tests" --gtest_filter="$2" >"$work/dialog.log" 2>&1 ||
    { cat "$work/dialog.log" >&2; echo "discovery: FAILED: $1" >&2; exit 1; }
  grep -h "OK \]" "$work/dialog.log" && echo "at ${SECONDS}s"
}
# More other services of the type than Avahi gives one client objects (1,024), as a
# hostile machine on the LAN could publish.
hostile_count=1100
mount -t tmpfs tmpfs /etc/avahi/services
for i in $(seq $hostile_count); do
  printf '<service-group><name>hostile %s</name><service><type>_murelo._tcp</type><port>9</port></service></service-group>\n' \
    "$i" >"/etc/avahi/services/hostile$i.service"
done
avahi-daemon --reload
hostile() { [ "$(timeout 10 avahi-browse -pt _murelo._tcp 2>/dev/null | grep -c '^+.*;hostile')" -ge $hostile_count ]; }
# The daemon takes most of a minute to probe them all, and hardly answers meanwhile.
wait_until 150 hostile || { echo "discovery: FAILED: the hostile services are published" >&2; exit 1; }
dialog "a published room is listed among $hostile_count others, and a pick joins it" '*RoomPublishedNearbyIsListed*'
umount /etc/avahi/services
# A daemon that stops answering holds up neither the room nor the dialog.
kill -STOP "$daemon_pid"
start_room
timeout 20 python3 - <<'PEERS' || { echo "discovery: FAILED: the room relays at once with a stopped daemon" >&2; exit 1; }
import contextlib, socket, time
b = None
while b is None:
    with contextlib.suppress(OSError):
        a, b = [socket.create_connection(("127.0.0.1", 4444), timeout=1) for _ in "ab"]
    time.sleep(0.05)
start, seen = time.monotonic(), b""
# A row for bob, so the count changes, then a line (0xff + 1 ends a message).
a.sendall(bytes((c + 1) & 255 for c in b"\nadd\nblue\nbob\n\xffhello\n127.0.0.1\n\xff"))
while b"ifmmp" not in seen:
    seen += b.recv(65536)
assert time.monotonic() - start < 1
PEERS
dialog "with the daemon stopped, the dialog opens at once" '*RecentHostsAtOnceWithoutADaemon*'
kill "$room_pid"
kill -CONT "$daemon_pid"
stop_pid "$daemon_pid"
dialog "with the daemon gone, the dialog opens at once" '*RecentHostsAtOnceWithoutADaemon*'
echo "discovery: announced, renamed, counted, withdrawn and listed, among hostile services and with a stopped daemon (${SECONDS}s)"
