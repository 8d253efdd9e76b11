#!/usr/bin/env bash
# Power cuts at every step: each case runs a program once on the forgetful
# disk (forgetful_disk, a FUSE file system that logs every call that changes
# what a power cut could keep), then powercut_check replays the log and
# checks what a cut after each call would leave. The program's exit is its
# "done": every cut after it must keep the complete outputs.
#
#   powercut-test.sh TOOLS native QUORVEL_CLI [JOB_BENCH]
#   powercut-test.sh TOOLS win32|win64 QUORVEL_CLI_EXE EMULATOR...
# TOOLS: the folder holding forgetful_disk and powercut_check (the native build's bin/).
#
# One more program, one more case (add it at the end of the cases below), made
# of case_begin, expect, removes_sources and source_file (cases.sh), then:
#   run_on_disk COMMAND...                  runs COMMAND in that folder on the forgetful disk,
#                                           then checks every cut: "LABEL: power cut: N cut
#                                           points, 0 lost"
# Paths are relative to the folder. In the cases, "${run[@]}" is quorvel-cli (with Wine
# in front for a Windows build) and "${cli[@]}" its password and quiet options:
#   case_begin "many files"; for f in $(seq 100); do source_file $f; expect en_$f $f encipher; done
#   run_on_disk "${run[@]}" encipher "${cli[@]}" $(seq 100)
#
# Skipped (exit 77, the reason on one line) where FUSE cannot be mounted.
set -uo pipefail
tools=$(realpath "$1") build=$2 program=$(realpath "$3")
shift 3
disk=$tools/forgetful_disk checker=$tools/powercut_check
skip() {
  echo "power cut: SKIPPED: $*"
  exit 77
}
[ -x "$disk" ] && [ -x "$checker" ] ||
  skip "the forgetful disk is not built in $tools (it needs libfuse3-dev: scripts/bootstrap, then make native)"
[ -c /dev/fuse ] || skip "this system has no /dev/fuse"
[ "$(id -u)" -eq 0 ] || command -v fusermount3 >/dev/null || skip "FUSE needs root or fusermount3 (package fuse3)"

scratch=$(mktemp -d)
[ -n "${POWERCUT_KEEP:-}" ] && echo "power cut: the logs stay in $scratch"
mounted= daemon= failures=0
unmount() {
  [ -n "$mounted" ] || return 0
  # A process that just ended may still hold the mount for a moment.
  for _ in $(seq 50); do
    fusermount3 -u "$mounted" 2>/dev/null && break
    sleep 0.1
  done
  if mountpoint -q "$mounted"; then
    # Whatever still holds it gets an error from now on, instead of a hang.
    echo "power cut: $mounted stayed busy; unmounted lazily" >&2
    fusermount3 -u -z "$mounted"
    kill "$daemon" 2>/dev/null
  fi
  wait "$daemon" 2>/dev/null
  mounted=
}
trap 'unmount; [ -n "${POWERCUT_KEEP:-}" ] || rm -rf "$scratch"' EXIT

prefix=$build case_folders=(disk mnt)
. "$(dirname "$0")/cases.sh"

run_on_disk() {
  cd "$case" || exit 1
  "$disk" disk mnt log 2>disk.err &
  daemon=$! mounted=$case/mnt
  for _ in $(seq 100); do
    mountpoint -q mnt && break
    kill -0 "$daemon" 2>/dev/null || break
    sleep 0.1
  done
  if ! mountpoint -q mnt; then
    mounted=
    [ "$number" -eq 1 ] && skip "FUSE cannot be mounted here: $(tail -n 1 disk.err)"
    echo "FAIL: $label: the forgetful disk did not mount: $(tail -n 1 disk.err)"
    failures=$((failures + 1))
    return
  fi
  (cd mnt && exec "$@") >out 2>err
  local rc=$? done_at
  done_at=$(wc -l <log)
  unmount
  if [ "$rc" -ne 0 ]; then
    echo "FAIL: $label: the program failed (exit $rc): $(tail -n 3 err)"
    failures=$((failures + 1))
    return
  fi
  "$checker" check "$label" log "$done_at" $rm "${outputs[@]}" || failures=$((failures + 1))
}

cli=(--password-file pw -q)
if [ "$build" = native ]; then
  run=("$program")
  job_bench=${1:+$(realpath "$1")}
else
  run=("$@" "$program")
  "${run[@]}" --version >/dev/null 2>&1  # makes the prefix before any disk is mounted
fi

case_begin "encipher"
source_file a
expect en_a a encipher
run_on_disk "${run[@]}" encipher "${cli[@]}" a

case_begin "decipher"
source_file en_b
expect de_en_b en_b decipher
run_on_disk "${run[@]}" decipher "${cli[@]}" en_b

case_begin "three files"
for f in a b c; do
  source_file $f
  expect en_$f $f encipher
done
run_on_disk "${run[@]}" encipher "${cli[@]}" a b c

case_begin "-o"
source_file a
mkdir out
expect out/en_a a encipher
run_on_disk "${run[@]}" encipher "${cli[@]}" -o out a

case_begin "-f over an earlier output"
source_file a
source_file en_a 300000
expect en_a a encipher
run_on_disk "${run[@]}" encipher "${cli[@]}" -f a

case_begin "--rm"
source_file a
source_file b
expect en_a a encipher
expect en_b b encipher
removes_sources
run_on_disk "${run[@]}" encipher "${cli[@]}" --rm a b

# Outputs put on the disk in groups: a full group and a bit, the second
# written while the first goes to the disk, each file on its own in what a
# cut keeps.
case_begin "300 small files, -o, --rm"
mkdir out
for f in $(seq 300); do
  source_file $f $((f * 97))
  expect out/en_$f $f encipher
done
removes_sources
run_on_disk "${run[@]}" encipher "${cli[@]}" --rm -o out $(seq 300)

if [ -n "${job_bench:-}" ]; then
  password=bench-password case_begin "dialog's job"
  source_file a
  expect en_a a encipher
  run_on_disk "$job_bench" a
fi

[ "$failures" -eq 0 ] || { echo "power cut: $failures of $number cases FAILED"; exit 1; }
