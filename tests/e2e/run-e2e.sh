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
cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$shm" ] && rm -rf "$shm"
}
trap cleanup EXIT

start=$(date +%s%N)
# The display has no window manager, so windows are unmanaged; --dpi sets the
# screen's DPI.
QUORVEL_WINE_UNMANAGED=1 QUORVEL_WINE_DPI=$dpi timeout -k 5 $((120 * scale)) "$root/scripts/wine-prefix" \
  || { echo "e2e: making the Wine prefix failed"; exit 1; }
echo "e2e: Wine prefix ready in $(( ($(date +%s%N) - start) / 1000000 )) ms"

winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# On a display of its own; the driver's messages go to a log, the display's to ours.
"$root/scripts/with-display" bash -c 'exec "$@" 2>"$0"' "$run/driver-stderr.log" \
  timeout -k 10 $((300 * scale)) "$WINE" "$driver" --exe "$(winpath "$exe")" --work "$(winpath "$run/files")" \
  --big "$(winpath "$big")" --cwd "$(winpath "$run/cwd")" --shots "$(winpath "$shots")" \
  --bitmap "$(winpath "$bitmap")" --ram "$ram" ${dpi:+--dpi "$dpi"} "$@" | tr -d '\r'
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
