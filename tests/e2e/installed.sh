#!/usr/bin/env bash
# The program as an installation lays it out: installed from the build tree into a
# scratch prefix, it finds its window module there, and its menu entry, icons,
# metadata, manual page and user unit are in place. (scripts/check-package validates
# the entry and the metadata in the built package.)
#
# Usage: installed.sh path/to/build-dir
set -uo pipefail
build=$(realpath "${1:?usage: installed.sh path/to/build-dir}")
root=$(mktemp -d "${TMPDIR:-/tmp}/murelo-installed.XXXXXX")
trap 'rm -rf "$root"' EXIT
fail() { echo "installed: FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$root/usr" >/dev/null || fail "cmake --install"
for file in bin/murelo share/applications/murelo.desktop share/man/man1/murelo.1 \
  share/icons/hicolor/scalable/apps/murelo.svg share/icons/hicolor/48x48/apps/murelo.png \
  share/icons/hicolor/256x256/apps/murelo.png lib/systemd/user/murelo-host.service \
  share/metainfo/io.github.murelo.murelo.metainfo.xml; do
  [ -s "$root/usr/$file" ] || fail "no $file"
done
[ "$(head -c 8 "$root/usr/share/icons/hicolor/48x48/apps/murelo.png" | od -An -tx1 | tr -d ' \n')" \
  = 89504e470d0a1a0a ] || fail "the 48-pixel icon is no PNG"
"$root/usr/bin/murelo" --version | grep -q '^murelo ' || fail "--version"
# The window: it stays up only if it found its module in the installed library directory.
mkdir "$root/run"
(cd "$root/run" && QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" \
  exec "$root/usr/bin/murelo" >"$root/window.log" 2>&1) &
window=$!
sleep 2
kill -0 "$window" 2>/dev/null || { cat "$root/window.log" >&2; fail "the window did not start"; }
kill -TERM "$window"
wait "$window"
echo "installed: the installed tree is complete and the window starts from it"
