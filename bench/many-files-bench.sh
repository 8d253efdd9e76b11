#!/usr/bin/env bash
# What it costs that "done" means "on the disk" when a run has many small
# files. 2,000 files of 4 KiB on the machine's disk (not tmpfs, whose flushes
# cost nothing) are enciphered into -o DIR by quorvel-cli, and by the 64-bit
# quorvel-cli.exe under Wine, against copying the same files with cp and then
# one `sync -f DIR`: the least a careful user would run. The commands take
# turns at going first, RUNS rounds, each into a new folder after the disk
# has settled; each run's time is divided by the cp's of its round, and the
# median of those ratios is the result (goal: at most 1.5). Then 20,000 files
# of 1 KiB the same way (natively), and the peak memory of the 2,000 files.
#
#   bench/many-files-bench.sh [BUILD_DIR [WINDOWS_BUILD_DIR]]
#       (default build/native and build/win64; no Windows build, no Wine runs)
#   RUNS=5; DISK_DIR=a folder on the disk to measure (default /var/tmp);
#   SETTLE=seconds the disk is left between runs (default 2)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "${1:-$here/build/native}")/bin
winbuild=$(realpath -m "${2:-$here/build/win64}")
runs=${RUNS:-5}
work=$(mktemp -d "${DISK_DIR:-/var/tmp}/quorvel-many-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
[ "$(stat -f -c %T "$work")" != tmpfs ] || { echo "many-files-bench: $work is on tmpfs; set DISK_DIR to a folder on a disk" >&2; exit 1; }
cd "$work"
printf 'bench-password\n' > pw
wine=()
[ -x "$winbuild/bin/quorvel-cli.exe" ] && wine=("$here/scripts/wine-run" win64 "$winbuild" "$winbuild/bin/quorvel-cli.exe")

# COUNT files of SIZE bytes in FOLDER, f00000.bin on.
make_files() {
  mkdir "$3"
  head -c $(($1 * $2)) /dev/urandom | split -b "$2" -a 5 -d --additional-suffix=.bin - "$3/f"
}
SETTLE=${SETTLE:-2}
. "$here/bench/timing.sh"
load() { cut -d' ' -f1-3 /proc/loadavg; }

# Runs the rounds over the files in folder $1: cp + sync, quorvel-cli, and
# with "wine" quorvel-cli.exe; prints each round and the medians. Each run
# writes into a folder of its own, and nothing is removed until the end: this
# disk's file system (ext4 without a journal) passes over the inodes of files
# removed in the last minutes whenever it makes a file, which would tax
# whichever command came after a removal.
compare() {
  local src=$1 with_wine=$2 kinds=2 i k kind out
  [ "$with_wine" = wine ] && kinds=3
  : > times
  declare -A took
  for i in $(seq "$runs"); do
    took[wine]=0
    for k in $(seq 0 $((kinds - 1))); do
      kind=$(( (i + k) % kinds ))
      out=$src-round$i-$kind
      mkdir "$out"
      case $kind in
        0) took[cp]=$(timed sh -c "cp $src/* $out/ && sync -f $out") ;;
        1) took[cli]=$(timed "$bin/quorvel-cli" encipher -q --password-file pw -o "$out" "$src"/*) ;;
        2) took[wine]=$(timed "${wine[@]}" encipher -q --password-file pw -o "$out" "$src\\*.bin") ;;
      esac
      [ "$(ls "$out" | wc -l)" = "$(ls "$src" | wc -l)" ] || { echo "many-files-bench: $(ls "$out" | wc -l) files in $out" >&2; exit 1; }
    done
    echo "${took[cp]} ${took[cli]} ${took[wine]}" | tee -a times |
      awk -v i="$i" -v w="$kinds" -v load="$(load)" '{
        printf "round %d: cp + sync -f %.3f s, quorvel-cli %.3f s", i, $1, $2
        if (w == 3) printf ", quorvel-cli.exe under wine64 %.3f s", $3
        printf " (load %s)\n", load }'
  done
  printf 'median: cp + sync -f %s s, quorvel-cli %s s' "$(cut -d' ' -f1 times | median)" "$(cut -d' ' -f2 times | median)"
  [ "$kinds" = 3 ] && printf ', quorvel-cli.exe %s s' "$(cut -d' ' -f3 times | median)"
  printf '\nmedian ratio to cp + sync -f: quorvel-cli %s' "$(awk '{ printf "%.3f\n", $2 / $1 }' times | median)"
  [ "$kinds" = 3 ] && printf ', quorvel-cli.exe %s' "$(awk '{ printf "%.3f\n", $3 / $1 }' times | median)"
  echo
}

echo "== 2,000 files of 4 KiB on $(df -P . | awk 'NR==2 {print $1}') ($(stat -f -c %T .)), $runs interleaved rounds, $(nproc) cores, load $(load)"
make_files 2000 4096 small
if [ ${#wine[@]} -ne 0 ]; then
  # Wine's server is started once and kept, outside the rounds, in the prefix
  # the Windows build's tests use; a run still starts Wine's loader this long:
  export WINEPREFIX=$winbuild/wine-test
  "${wine[@]}" --version > /dev/null  # makes the prefix where need be
  /usr/lib/wine/wineserver -w
  /usr/lib/wine/wineserver -p
  trap '/usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
  start=$(date +%s%N); "${wine[@]}" --version > /dev/null; end=$(date +%s%N)
  echo "quorvel-cli.exe --version under wine64: $(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }') s"
  compare small wine
  for f in small-round1-1/*; do  # quorvel-cli's outputs, and the Windows program's
    cmp -s "$f" "small-round1-2/${f#*/}" || { echo "many-files-bench: $f differs from the Windows program's" >&2; exit 1; }
  done
else
  echo "(no $winbuild/bin/quorvel-cli.exe: the Windows program is not measured)"
  compare small native
fi

echo "== peak memory, 2,000 files of 4 KiB"
mkdir rss
/usr/bin/time -v "$bin/quorvel-cli" encipher -q --password-file pw -o rss small/* 2> time.txt
echo "quorvel-cli: max RSS $(sed -n 's/.*Maximum resident set size (kbytes): //p' time.txt) KiB"

echo "== 20,000 files of 1 KiB, $runs interleaved rounds, load $(load)"
make_files 20000 1024 tiny
compare tiny native
