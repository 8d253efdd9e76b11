#!/usr/bin/env bash
# No aligned 256- or 512-bit vector move in a shipped Windows program. GCC
# takes the stack to be 32-byte aligned for such values, Windows gives 16, and
# an aligned move of a value spilled there faults (see cipher/CMakeLists.txt).
# First shows, with this very toolchain, that the check finds such a move and
# that the assembler option turns it into an unaligned one; then checks each
# program. --expect-avx: the programs must also hold AVX code, so a build that
# quietly lost its AVX2 path fails too.
#
#   vector-moves-test.sh CXX OBJDUMP [--expect-avx] PROGRAM...
set -uo pipefail
cxx=$1 objdump=$2
shift 2
expect_avx=0
if [ "${1:-}" = --expect-avx ]; then
  expect_avx=1
  shift
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "${BASH_SOURCE%/*}/../checks.sh"

aligned='[[:space:]](vmovdqa|vmovdqa32|vmovdqa64|vmovaps|vmovapd|vmovntdq|vmovntdqa|vmovntps|vmovntpd)[[:space:]].*%[yz]mm'
disassemble() { "$objdump" -d --no-show-raw-insn "$1"; }

case "$("$cxx" -dumpmachine)" in
  x86_64*) sp=%rsp ;;
  *) sp=%esp ;;
esac
printf '\t.text\n\tvmovdqa %%ymm1, 32(%s)\n\tvmovaps 64(%s), %%ymm2\n' "$sp" "$sp" >"$work/spill.s"
if ! "$cxx" -c "$work/spill.s" -o "$work/plain.o" || ! "$cxx" -c -Wa,-muse-unaligned-vector-move "$work/spill.s" -o "$work/unaligned.o"; then
  fail "$cxx cannot assemble the sample spills"
else
  found=$(disassemble "$work/plain.o" | grep -cE "$aligned")
  [ "$found" -eq 2 ] || fail "the check found $found of the 2 aligned moves in the sample"
  disassemble "$work/unaligned.o" >"$work/unaligned.txt"
  grep -qE "$aligned" "$work/unaligned.txt" && fail "-Wa,-muse-unaligned-vector-move left an aligned move in the sample"
  [ "$(grep -cE '[[:space:]]vmov(dqu|ups)[[:space:]].*%ymm' "$work/unaligned.txt")" -eq 2 ] \
    || fail "-Wa,-muse-unaligned-vector-move did not keep the sample's two moves as unaligned ones"
fi

for program in "$@"; do
  name=$(basename "$program")
  if ! disassemble "$program" >"$work/program.txt"; then
    fail "$objdump cannot read $program"
    continue
  fi
  ymm=$(grep -cE '%ymm' "$work/program.txt")
  if grep -E "$aligned" "$work/program.txt" >"$work/hits.txt"; then
    fail "$name has $(wc -l <"$work/hits.txt") aligned 256/512-bit moves, e.g.:$(head -n 3 "$work/hits.txt" | tr -s '\t ' ' ')"
  elif [ "$expect_avx" -eq 1 ] && [ "$ymm" -eq 0 ]; then
    fail "$name holds no AVX code: the AVX2 path was not built"
  else
    echo "$name: $ymm instructions on 256-bit registers, no aligned 256/512-bit move"
  fi
done
finish
