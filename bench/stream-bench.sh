#!/usr/bin/env bash
# quorvel-cli in a pipeline: a 1 GiB file from the page cache through
# `quorvel-cli encipher -` against the same bytes through a plain `cat`, side
# by side in one hyperfine run (the goal: within 1.1 x the plain pipe), then
# peak memory of a stream ten times larger than anything a buffer could hold.
# Usage: bench/stream-bench.sh [path/to/quorvel-cli]   (default: build/native/bin/quorvel-cli)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cli=$(realpath "${1:-$here/build/native/bin/quorvel-cli}")
runs=${RUNS:-10}

shm=$(mktemp -d /dev/shm/quorvel-stream-bench.XXXXXX)
trap 'rm -rf "$shm"' EXIT
printf 'bench-password\n' > "$shm/pw"
head -c 1G /dev/urandom > "$shm/f"

echo "== 1 GiB through a pipe (load average before: $(cut -d" " -f1-3 /proc/loadavg), $(nproc) cores)"
hyperfine --warmup 2 --runs "$runs" --export-markdown "$shm/result.md" \
  --command-name "cat | cat" "cat $shm/f | cat > /dev/null" \
  --command-name "cat | quorvel-cli encipher -" "cat $shm/f | $cli encipher --password-file $shm/pw - > /dev/null"
cat "$shm/result.md"
rm -f "$shm/f"

echo "== peak memory of a 10 GiB stream"
/usr/bin/time -v sh -c "head -c 10G /dev/zero | '$cli' encipher --password-file '$shm/pw' - > /dev/null" 2> "$shm/time.txt"
echo "max RSS $(sed -n 's/.*Maximum resident set size (kbytes): //p' "$shm/time.txt") KiB"
