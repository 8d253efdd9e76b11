#!/usr/bin/env bash
# quorvel-cli's throughput and memory.
#  1. A 1 GiB file in the page cache (/dev/shm), enciphered by quorvel-cli, copied
#     by cp and enciphered by openssl aes-128-ctr, side by side in one hyperfine
#     run; outputs also go to /dev/shm, so the disk plays no part.
#  2. Peak resident memory (GNU time) for a sparse file past 4 GiB and for a
#     1 MiB file: it should be the same, two 256 KiB buffers whatever the size.
# Usage: bench/cli-bench.sh [path/to/quorvel-cli]   (default: build/native/bin/quorvel-cli)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cli=$(realpath "${1:-$here/build/native/bin/quorvel-cli}")
runs=${RUNS:-10}

shm=$(mktemp -d /dev/shm/quorvel-cli-bench.XXXXXX)
disk=$(mktemp -d /var/tmp/quorvel-cli-bench.XXXXXX)
trap 'rm -rf "$shm" "$disk"' EXIT
printf 'bench-password\n' > "$shm/pw"

echo "== 1 GiB in the page cache (load average before: $(cut -d" " -f1-3 /proc/loadavg), $(nproc) cores)"
head -c 1G /dev/urandom > "$shm/src"
mkdir "$shm/out"
hyperfine --warmup 2 --runs "$runs" --export-markdown "$shm/result.md" \
  --prepare "rm -f $shm/out/*" \
  --command-name cp "cp $shm/src $shm/out/cp" \
  --command-name quorvel-cli "$cli encipher -q --password-file $shm/pw -o $shm/out $shm/src" \
  --command-name "openssl aes-128-ctr" \
    "openssl enc -aes-128-ctr -K 000102030405060708090a0b0c0d0e0f -iv 0f0e0d0c0b0a09080706050403020100 -in $shm/src -out $shm/out/ssl"
cat "$shm/result.md"
rm -f "$shm/src" "$shm/out"/*

echo "== peak memory"
truncate -s $((4 * 1024 * 1024 * 1024 + 300 * 1024)) "$disk/sparse"   # 4 GiB + 300 KiB, no disk used
head -c 1M /dev/urandom > "$disk/small"
for f in small sparse; do
  /usr/bin/time -v "$cli" encipher -q --password-file "$shm/pw" "$disk/$f" 2> "$disk/time.txt"
  printf '%-7s %12s bytes: max RSS %s KiB\n' "$f" "$(stat -c %s "$disk/$f")" \
    "$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$disk/time.txt")"
  rm -f "$disk/en_$f"
done
