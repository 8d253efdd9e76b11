#!/usr/bin/env bash
# Runs the e2e driver against Quorvel.exe: a fresh Wine prefix, a virtual X
# display of its own, the driver bounded in time (longer where the build runs
# emulated), everything stopped at the end.
# Screen captures stay in <build>/e2e-shots for a person to look at.
# With --dpi N the screen has N DPI, and the run keeps to <build>/e2e-Ndpi and
# <build>/e2e-shots-Ndpi.
#
#   run-e2e.sh win32|win64 DRIVER.exe QUORVEL.exe BACKGROUND.bmp BUILD_DIR [--dpi N] [--only TEXT,TEXT]
set -uo pipefail
args=("$@")
arch=$1
driver=$(readlink -f "$2") exe=$(readlink -f "$3") bitmap=$(readlink -f "$4") build=$(readlink -f "$5")
shift 5
dpi=
if [ "${1:-}" = --dpi ]; then
  dpi=$2
  shift 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ ! -f "$exe" ]; then
  echo "e2e: $exe is not built"
  exit 1
fi
. "$root/scripts/wine-env"
quorvel_wine_plan "$arch" "$build/wine-host"
if [ "$PLAN" != run ]; then
  echo "e2e: the $arch build cannot run here: $WHY"
  exit 1
fi
quorvel_wine_use "$arch"
quorvel_wine_enter "$0" "${args[@]}"
scale=${QUORVEL_TIME_SCALE:-1}

run=$build/e2e${dpi:+-${dpi}dpi}
shots=$build/e2e-shots${dpi:+-${dpi}dpi}
rm -rf "$run" "$shots"
mkdir -p "$run/files" "$run/cwd" "$shots"
# Large files go to RAM when there is room: a disk under writeback slows them
# down unpredictably, which would spoil the timing checks.
# Wine's Open dialog refuses paths under Z:\dev ("Path does not exist"), so
# the program reaches the RAM folder through a link in the build folder.
# QUORVEL_E2E_DISK=1 keeps them on disk, as on a machine without the room.
shm= ram=no
if [ -z "${QUORVEL_E2E_DISK:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR==2 {print $4}')" -gt 16000000 ]; then
  shm=$(mktemp -d /dev/shm/quorvel-e2e.XXXXXX)
  ln -s "$shm" "$run/big"
  ram=yes
else
  mkdir -p "$run/big"
fi
big=$run/big

export WINEPREFIX=$run/wineprefix LANG=C.UTF-8
xvfb=
cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  [ -n "$shm" ] && rm -rf "$shm"
}
trap cleanup EXIT

start=$(date +%s%N)
timeout -k 5 $((120 * scale)) "$root/scripts/wine-prefix" || { echo "e2e: making the Wine prefix failed"; exit 1; }
echo "e2e: Wine prefix ready in $(( ($(date +%s%N) - start) / 1000000 )) ms"
# Xvfb has no window manager. Wine waits up to 2 s for one to confirm every
# hidden top-level window (file dialog, message box, the dialog at exit), which
# would stall the program at each step; unmanaged windows are hidden at once,
# as on a desktop. The prefix's wineserver has stopped, so the file is read fresh.
printf '%s\n' '' '[Software\\Wine\\X11 Driver]' '"Managed"="N"' >>"$WINEPREFIX/user.reg"
# Wine takes the screen's DPI from LogPixels, for the machine and the user.
if [ -n "$dpi" ]; then
  printf '%s\n' '' '[Control Panel\\Desktop]' "\"LogPixels\"=dword:$(printf %08x "$dpi")" >>"$WINEPREFIX/user.reg"
  printf '%s\n' '' '[System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]' \
    "\"LogPixels\"=dword:$(printf %08x "$dpi")" >>"$WINEPREFIX/system.reg"
fi

# Xvfb picks a free display and writes its number; never a fixed one.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$run/display" 2>"$run/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$run/display" ] && break
  sleep 0.1
done
if [ ! -s "$run/display" ]; then
  echo "e2e: Xvfb did not start"; cat "$run/xvfb.log"; exit 1
fi
export DISPLAY=:$(head -n1 "$run/display")

winpath() { local p=$1; echo "Z:${p//\//\\}"; }

timeout -k 10 $((300 * scale)) "$WINE" "$driver" --exe "$(winpath "$exe")" --work "$(winpath "$run/files")" \
  --big "$(winpath "$big")" --cwd "$(winpath "$run/cwd")" --shots "$(winpath "$shots")" \
  --bitmap "$(winpath "$bitmap")" --ram "$ram" ${dpi:+--dpi "$dpi"} "$@" 2>"$run/driver-stderr.log" | tr -d '\r'
status=${PIPESTATUS[0]}
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "e2e: the driver did not finish within $((300 * scale)) s"
fi

# The driver saves BMP captures; PNG is what a person opens.
for f in "$shots"/*.bmp; do
  [ -f "$f" ] && convert "$f" "${f%.bmp}.png" && rm -f "$f"
done
echo "e2e: screen captures in $shots"
exit "$status"
