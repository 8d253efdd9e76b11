#!/usr/bin/env bash
# What it costs that "done" means "on the disk". A 1 GiB file on the
# machine's disk (not tmpfs, whose flushes cost nothing) is enciphered until
# its output and the output's name are on the disk, by quorvel-cli and by the
# dialog's job path (job_bench), against the serial copy-then-flush a careful
# user would run: `cp src dst && sync dst`. The three run in turn, RUNS
# rounds, each round in the next of the six orders, with the disk settled
# (sync) before each run. Each command's median time is divided by the cp's,
# and each run's time by the cp's of its round, whose median is given too
# (goal: at most 1.0). Then the peak memory of a 10 GiB sparse source
# enciphered durably, by both paths.
#
#   bench/durable-bench.sh [BUILD_DIR]        (default build/native)
#   RUNS=6; DISK_DIR=a folder on the disk to measure (default /var/tmp)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "${1:-$here/build/native}")/bin
runs=${RUNS:-6}
work=$(mktemp -d "${DISK_DIR:-/var/tmp}/quorvel-durable-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
[ "$(stat -f -c %T "$work")" != tmpfs ] || { echo "durable-bench: $work is on tmpfs; set DISK_DIR to a folder on a disk" >&2; exit 1; }
printf 'bench-password\n' > "$work/pw"
mkdir "$work/src" "$work/cli" "$work/job" "$work/cp"
head -c 1G /dev/urandom > "$work/src/f"
cat "$work/src/f" > /dev/null  # every command reads it from the page cache
cp "$work/src/f" "$work/job/f"  # job_bench writes beside its source
sync

SETTLE=${SETTLE:-5}
. "$here/bench/timing.sh"

echo "== durable 1 GiB on $(df -P "$work" | awk 'NR==2 {print $1}') ($(stat -f -c %T "$work")), $runs interleaved runs, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
: > "$work/times"
# The disk (and a virtual machine's host below it) may slow down as the
# gigabytes of a round pile up (the third run of a round took up to five
# times the first here), which must fall on no command more than another.
# Six rounds take each command to each place twice, and each before each
# other three times; only rotating them (0 1 2, 1 2 0, 2 0 1) would put cp
# before quorvel-cli in two rounds of three.
orders=("0 1 2" "1 2 0" "2 0 1" "0 2 1" "2 1 0" "1 0 2")
declare -A took
for i in $(seq "$runs"); do
  rm -f "$work/cp/f" "$work/cli/en_f" "$work/job/en_f"
  for k in ${orders[(i - 1) % 6]}; do
    case $k in
      0) took[cp]=$(timed sh -c "cp '$work/src/f' '$work/cp/f' && sync '$work/cp/f'") ;;
      1) took[cli]=$(timed "$bin/quorvel-cli" encipher -q --password-file "$work/pw" -o "$work/cli" "$work/src/f") ;;
      2) took[job]=$(timed "$bin/job_bench" "$work/job/f") ;;
    esac
  done
  echo "${took[cp]} ${took[cli]} ${took[job]}" | tee -a "$work/times" |
    awk -v i="$i" '{ printf "run %d: cp && sync %.3f s, quorvel-cli %.3f s, dialog job %.3f s\n", i, $1, $2, $3 }'
done
cmp -s "$work/cli/en_f" "$work/job/en_f" || { echo "durable-bench: the two outputs differ" >&2; exit 1; }
for c in 1 2 3; do med[c]=$(cut -d' ' -f$c "$work/times" | median); done
printf 'median: cp && sync %s s, quorvel-cli %s s, dialog job %s s\n' "${med[1]}" "${med[2]}" "${med[3]}"
awk -v cp="${med[1]}" -v cli="${med[2]}" -v job="${med[3]}" \
  'BEGIN { printf "medians over cp && sync'"'"'s: quorvel-cli %.3f, dialog job %.3f\n", cli / cp, job / cp }'
printf 'median ratio to cp && sync: quorvel-cli %s, dialog job %s\n' \
  "$(awk '{ printf "%.3f\n", $2 / $1 }' "$work/times" | median)" "$(awk '{ printf "%.3f\n", $3 / $1 }' "$work/times" | median)"
rm -rf "$work/src/f" "$work/cp" "$work/cli"/* "$work/job"

echo "== peak memory, 10 GiB sparse source, durable output"
truncate -s 10G "$work/src/sparse"
/usr/bin/time -v "$bin/quorvel-cli" encipher -q --password-file "$work/pw" -o "$work/cli" "$work/src/sparse" 2> "$work/time.txt"
echo "quorvel-cli: max RSS $(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt") KiB"
rm -f "$work/cli/en_sparse"
/usr/bin/time -v "$bin/job_bench" "$work/src/sparse" 2> "$work/time.txt" > /dev/null
echo "dialog job: max RSS $(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt") KiB"
