#!/usr/bin/env bash
# Runs a Windows test program that opens windows: under Wine (scripts/wine-run,
# the build's test prefix) on a virtual X display of its own, stopped at the end.
#
#   with-display.sh win32|win64 PROGRAM [ARGS...]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(mktemp -d)
xvfb=
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number; never a fixed one.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$dir/display" ] && break
  sleep 0.1
done
if [ ! -s "$dir/display" ]; then
  echo "with-display: Xvfb did not start"; cat "$dir/xvfb.log"; exit 1
fi
export DISPLAY=:$(head -n1 "$dir/display")
# Without a window manager Wine waits up to 2 s for one whenever a window is
# hidden (every message box answered); unmanaged windows hide at once.
"$root/scripts/wine-run" "$1" reg.exe add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$root/scripts/wine-run" "$@"
