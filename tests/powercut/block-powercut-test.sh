#!/usr/bin/env bash
# Power cuts at the block level: each case runs a program once on a real file
# system on a loop device whose file is the forgetful disk's block device
# (forgetful_disk --block), which logs every write the disk took, with its
# bytes, and every flush. For each cut state, powercut_check rebuilds the
# disk, the file system recovers as it would at boot (e2fsck -y without a
# journal; the journal's or the log's replay on mount), and what it then shows
# read-only is held to the forgetful disk's rules; its own checker (e2fsck -n,
# xfs_repair -n, btrfs check) must find it sound.
#
#   block-powercut-test.sh TOOLS native QUORVEL_CLI [JOB_BENCH]
# TOOLS: the folder holding forgetful_disk and powercut_check.
#
# By default (make test) each flush boundary with every unflushed write lost, for
# one file and for 300 files. POWERCUT_BLOCK=all (make check) adds -f and the
# dialog's job, and POWERCUT_SUBSETS (default 2) random subsets of the unflushed
# writes after every write; POWERCUT_SEED replays a run's subsets. POWERCUT_FS
# picks file systems (default: "ext4-nojournal ext4 xfs btrfs"), POWERCUT_ONLY (a regular
# expression) the cases by label.
#
# Skipped (exit 77, the reason on one line) where loop devices or FUSE cannot be used.
set -uo pipefail
tools=$(realpath "$1") build=$2 program=$(realpath "$3")
shift 3
disk=$tools/forgetful_disk checker=$tools/powercut_check
job_bench=${1:+$(realpath "$1")}
skip() {
  echo "block power cut: SKIPPED: $*"
  exit 77
}
[ -x "$disk" ] && [ -x "$checker" ] ||
  skip "the forgetful disk is not built in $tools (it needs libfuse3-dev: scripts/bootstrap, then make native)"
[ "$(id -u)" -eq 0 ] || skip "loop devices need root"
[ -c /dev/loop-control ] || skip "this system has no /dev/loop-control"
[ -c /dev/fuse ] || skip "this system has no /dev/fuse"
for tool in losetup mkfs.ext4 e2fsck mkfs.xfs xfs_repair mkfs.btrfs btrfs strace fallocate; do
  command -v $tool >/dev/null || skip "$tool is missing (scripts/bootstrap installs it)"
done

all=${POWERCUT_BLOCK:-} subsets=0
[ "$all" = all ] && subsets=${POWERCUT_SUBSETS:-2}
seed=${POWERCUT_SEED:-$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')}
[ "$subsets" -gt 0 ] && echo "block power cut: seed $seed (POWERCUT_SEED=$seed replays the subsets)"

scratch=$(mktemp -d)
[ -n "${POWERCUT_KEEP:-}" ] && echo "block power cut: the logs stay in $scratch"
# What is set up, undone in reverse on every way out.
root= loop= fuse= daemon= failures=0
release() {
  [ -z "$root" ] || umount "$root" 2>/dev/null || umount -l "$root"
  root=
  [ -z "$loop" ] || losetup -d "$loop"
  loop=
  if [ -n "$fuse" ]; then
    for _ in $(seq 50); do
      fusermount3 -u "$fuse" 2>/dev/null && break
      sleep 0.1
    done
    mountpoint -q "$fuse" && fusermount3 -u -z "$fuse"
    wait "$daemon" 2>/dev/null
    fuse=
  fi
}
trap 'release; [ -n "${POWERCUT_KEEP:-}" ] || rm -rf "$scratch"' EXIT

# A loop device on IMAGE (read-write: a journal is replayed even for a
# read-only mount), mounted at $case/root with OPTIONS.
attach() {
  loop=$(losetup -f --show --direct-io=off "$1") || return 1
  mount -t "$type" -o "$2" "$loop" "$case/root" && root=$case/root
}

use_fs() {
  fs=$1 opts=rw
  case $fs in
    ext4-nojournal) type=ext4 size=32M mkfs=(mkfs.ext4 -q -F -E nodiscard -O ^has_journal) ;;
    ext4) type=ext4 size=32M mkfs=(mkfs.ext4 -q -F -E nodiscard) ;;
    xfs) type=xfs size=300M mkfs=(mkfs.xfs -q -f -K) ;;
    btrfs) type=btrfs size=114294784 mkfs=(mkfs.btrfs -q -f -K) opts=nodiscard ;;
    *) echo "block power cut: no such file system: $fs" >&2; exit 2 ;;
  esac
}

# What a boot does with the file system on IMAGE before mounting it.
recover() {
  [ "$fs" = ext4-nojournal ] || return 0
  e2fsck -fy "$1" >"$case/fsck" 2>&1
  [ $? -lt 4 ]
}

# Whether the file system's own checker finds IMAGE sound, changing nothing.
sound() {
  case $type in
    ext4) e2fsck -fn "$1" ;;
    xfs) xfs_repair -n -f "$1" ;;
    btrfs) btrfs check --readonly "$1" ;;
  esac >"$case/fsck" 2>&1
}

case_folders=(files root fuse)
. "$(dirname "$0")/cases.sh"
# The run must sweep its outputs (checked with strace).
sweeps=
sweeps() { sweeps=1; }

fail() {
  echo "FAIL: $label: $*"
  failures=$((failures + 1))
}

# The disk's first state: a fresh file system holding the case's files, its
# unwritten stretches holes, so a state costs only what was written.
make_base() {
  truncate -s "$size" base && "${mkfs[@]}" base >mkfs.out 2>&1 || { fail "mkfs failed: $(tail -n 1 mkfs.out)"; return 1; }
  attach base rw || { release; fail "the new file system does not mount"; return 1; }
  cp -a files/. "$root"/ && "$checker" snapshot "$root" before
  local copied=$?
  release
  fallocate --dig-holes base
  [ $copied -eq 0 ] || fail "the files could not be put on the file system"
  [ $copied -eq 0 ]
}

run_on_block() {
  local traced=$sweeps
  sweeps=
  [[ "$label" =~ ${POWERCUT_ONLY:-.} ]] || return 0
  cd "$case" || exit 1
  make_base || return
  cp --sparse=always base device
  "$disk" --block device fuse log 2>disk.err &
  daemon=$! fuse=$case/fuse
  for _ in $(seq 100); do
    [ -f fuse/disk ] && break
    kill -0 "$daemon" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -f fuse/disk ]; then
    fuse=
    [ "$number" -eq 1 ] && skip "FUSE cannot be mounted here: $(tail -n 1 disk.err)"
    fail "the block device did not mount: $(tail -n 1 disk.err)"
    return
  fi
  if ! attach fuse/disk "$opts"; then
    release
    [ "$number" -eq 1 ] && skip "a loop device over a FUSE file cannot be mounted here"
    fail "the file system on the block device does not mount"
    return
  fi
  local trace=()
  # A sweep is taken only while the system holds little unwritten data.
  [ -n "$traced" ] && trace=(strace -f -qq -e trace=syncfs -o "$case/trace") && sync
  (cd "$root" && exec "${trace[@]}" "$@") >out 2>err
  local rc=$? done_at
  done_at=$(wc -l <log)
  release
  if [ "$rc" -ne 0 ]; then
    fail "the program failed (exit $rc): $(tail -n 3 err)"
    return
  fi
  grep -q '^flush' log || { fail "the block device saw no flush"; return; }
  if [ -n "$traced" ] && ! grep -q '^[0-9]* *syncfs(.*= 0' trace; then
    fail "the outputs were not swept (no syncfs that succeeded; the system's unwritten data: $(grep -E '^(Dirty|Writeback):' /proc/meminfo | tr -s ' \n' ' '))"
    return
  fi
  check_cuts "$done_at" "$@"
}

check_cuts() {
  local done_at=$1 states=0 lost=0 found=0 moved=0 line after subset where
  shift
  "$checker" block-cuts log "$done_at" "$subsets" "$seed" >cuts || { fail "the block log cannot be read"; return; }
  while read -r line after subset; do
    states=$((states + 1))
    where="line $line of the block log"
    [ "$subset" = 0 ] || where+=" (subset $subset)"
    "$checker" block-state base log "$line" "$subset" state || { fail "the state after $where cannot be made"; return; }
    if ! recover state; then
      echo "$label: e2fsck cannot mend the file system after $where: $(grep -v '^$' "$case/fsck" | tail -n 1)"
      lost=$((lost + 1))
      continue
    fi
    if ! attach state ro; then
      echo "$label: the file system does not mount after $where: $(dmesg | tail -n 1)"
      release
      lost=$((lost + 1))
      continue
    fi
    "$checker" tree "$label" before "$root" "$after" "$where" $rm "${outputs[@]}"
    case $? in
      0) ;;
      3) found=$((found + 1)) ;;
      4) moved=$((moved + 1)) ;;
      *) lost=$((lost + 1)) ;;
    esac
    release
    if ! sound state; then
      echo "$label: its checker calls the file system damaged after $where:"
      grep -v '^$' "$case/fsck" | tail -n 5 | sed 's/^/    /'
      lost=$((lost + 1))
    fi
  done <cuts
  local note=
  [ "$found" -eq 0 ] || note="; in $found, e2fsck put unnamed files in lost+found"
  [ "$moved" -eq 0 ] || note+="; in $moved, the file system lost names it had on the disk, the files whole in lost+found"
  echo "block power cut: $fs $program_label: $(($(wc -l <log) + 1)) cut points, $states states, $lost lost$note"
  [ "$lost" -eq 0 ] || failures=$((failures + 1))
}

cli=(--password-file pw -q)
for fs in ${POWERCUT_FS:-ext4-nojournal ext4 xfs btrfs}; do
  use_fs "$fs"
  prefix=$fs

  program_label="quorvel-cli one file"
  case_begin "one file"
  source_file a
  expect en_a a encipher
  run_on_block "$program" encipher "${cli[@]}" a

  # Swept: syncfs, then the folder's flush, then each output's range.
  program_label="quorvel-cli 300 files"
  case_begin "300 files, -o, --rm"
  mkdir out
  for f in $(seq 300); do
    source_file $f $((f * 97))
    expect out/en_$f $f encipher
  done
  removes_sources
  sweeps
  run_on_block "$program" encipher "${cli[@]}" --rm -o out $(seq 300)

  [ "$all" = all ] || continue

  program_label="quorvel-cli -f"
  case_begin "-f over an earlier output"
  source_file a
  source_file en_a 300000
  expect en_a a encipher
  run_on_block "$program" encipher "${cli[@]}" -f a

  if [ -n "$job_bench" ]; then
    program_label="job_bench"
    password=bench-password case_begin "dialog's job"
    source_file a
    expect en_a a encipher
    run_on_block "$job_bench" a
  fi
done

[ "$failures" -eq 0 ] || { echo "block power cut: $failures of $number cases FAILED"; exit 1; }
