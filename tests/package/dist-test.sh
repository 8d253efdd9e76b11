#!/usr/bin/env bash
# make dist's archives and setup (scripts/dist), made from stand-in programs:
# two runs from copies in other folders, with other file times, another umask
# and another time zone give byte-identical archives and setups; each archive
# holds the five files in a fixed order, every entry dated SOURCE_DATE_EPOCH,
# the guides as Notepad reads them and the Chinese name marked as UTF-8;
# the SHA256SUMS inside and beside them check out. (What the setup installs is
# tested under Wine, setup_test.)
#
#   dist-test.sh SOURCE_DIR
set -uo pipefail
dist=$(realpath "$1")/scripts/dist
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

. "${BASH_SOURCE%/*}/../checks.sh"

# UTF-8 that starts with a byte-order mark, every line ending in CRLF.
notepad_text() {
  [ "$(head -c 3 "$1" | od -An -tx1 | tr -d ' ')" = efbbbf ] && iconv -f UTF-8 -t UTF-8 "$1" >/dev/null &&
    [ "$(grep -c $'\r$' "$1")" = "$(wc -l <"$1")" ]
}

export SOURCE_DATE_EPOCH=1796731200  # 2026-12-08 12:00:00 UTC
for arch in win32 win64; do
  mkdir -p "$scratch/a/$arch"
  head -c 300000 /dev/urandom >"$scratch/a/$arch/Quorvel.exe"
  head -c 200000 /dev/urandom >"$scratch/a/$arch/quorvel-cli.exe"
done
cp -r "$scratch/a" "$scratch/b-elsewhere"
touch -d '2001-02-03 04:05:06' "$scratch"/b-elsewhere/*/*
chmod 755 "$scratch"/b-elsewhere/*/*

"$dist" "$scratch/out1" 9.8.7 win32="$scratch/a/win32" win64="$scratch/a/win64" >"$scratch/run1" 2>&1 \
  || fail "the first run failed: $(cat "$scratch/run1")"
(umask 077 && TZ=Asia/Tokyo "$dist" "$scratch/out2" 9.8.7 \
  win32="$scratch/b-elsewhere/win32" win64="$scratch/b-elsewhere/win64") >"$scratch/run2" 2>&1 \
  || fail "the second run failed: $(cat "$scratch/run2")"

for arch in win32 win64; do
  zip1=$scratch/out1/Quorvel-9.8.7-$arch.zip zip2=$scratch/out2/Quorvel-9.8.7-$arch.zip
  cmp -s "$zip1" "$zip2" && pass "$arch: two runs, the same bytes: $(sha256sum <"$zip1" | cut -c1-16)…" ||
    fail "$arch: the two runs' archives differ"
  entries=$(zipinfo -1 "$zip1" | paste -sd ' ')
  times=$(zipinfo -T -l "$zip1" | awk '$1 ~ /^-/ { print $8 }' | sort -u)
  [ "$entries" = "Quorvel.exe README.txt SHA256SUMS quorvel-cli.exe 使用说明.txt" ] \
     && [ "$times" = "$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y%m%d.%H%M%S)" ] &&
    pass "$arch: $entries, all dated $times" ||
    fail "$arch: entries '$entries', times '$(echo $times)'"
  mkdir "$scratch/x-$arch" && unzip -q "$zip1" -d "$scratch/x-$arch"
  (cd "$scratch/x-$arch" && sha256sum --quiet -c SHA256SUMS) && cmp -s "$scratch/x-$arch/Quorvel.exe" "$scratch/a/$arch/Quorvel.exe" &&
    pass "$arch: SHA256SUMS inside checks out" || fail "$arch: the unpacked files do not match SHA256SUMS or the programs"
  for guide in 使用说明.txt README.txt; do
    notepad_text "$scratch/x-$arch/$guide" && pass "$arch: $guide: UTF-8 with a byte-order mark, CRLF line ends" ||
      fail "$arch: $guide is not UTF-8 with a byte-order mark and CRLF line ends"
  done
  # Bit 11 of the flags in the entry's local header says its name is UTF-8.
  at=$(zipinfo -v "$zip1" 使用说明.txt | sed -n 's/.*offset of local header from start of archive: *//p')
  flags=$(od -An -tu2 -j $((at + 6)) -N2 "$zip1" | tr -d ' ')
  [ -n "$at" ] && (( (flags & 0x800) != 0 )) && pass "$arch: 使用说明.txt's name is marked as UTF-8" || fail "$arch: 使用说明.txt's name is not marked as UTF-8 ($flags)"
done
setup1=$scratch/out1/Quorvel-9.8.7-setup.exe setup2=$scratch/out2/Quorvel-9.8.7-setup.exe
[ -s "$setup1" ] && cmp -s "$setup1" "$setup2" &&
  pass "setup: two runs, the same bytes: $(sha256sum <"$setup1" | cut -c1-16)…" ||
  fail "setup: missing, or the two runs' setups differ"
(cd "$scratch/out2" && sha256sum --quiet -c SHA256SUMS) && [ "$(wc -l <"$scratch/out2/SHA256SUMS")" = 3 ] &&
  pass "SHA256SUMS beside the archives checks out" ||
  fail "SHA256SUMS beside the archives: $(cat "$scratch/out2/SHA256SUMS")"

finish
