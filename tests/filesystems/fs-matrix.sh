#!/usr/bin/env bash
# quorvel-cli on every kind of file system people keep files on, each a real
# mount made small here (a loop image, a FUSE daemon over a loop device, a
# tmpfs, sshfs to an sshd of our own on 127.0.0.1): the same checks on each,
# every output compared with the format's reference, and no temporary left.
#
#   fs-matrix.sh TOOLS native QUORVEL_CLI
#   fs-matrix.sh TOOLS win32|win64 QUORVEL_CLI_EXE EMULATOR...
# TOOLS: the folder holding powercut_check (the native build's bin/), whose
# "reference" writes an output from the format's reference.
# FS_MATRIX_ONLY="exfat-fuse ntfs-3g" runs only those file systems.
#
# A file system that cannot be mounted here is skipped with its reason; the
# whole test is skipped (exit 77) where none can be (not root, no loop device).
set -uo pipefail
tools=$(realpath "$1") build=$2 program=$(realpath "$3")
shift 3
checker=$tools/powercut_check
. "${BASH_SOURCE%/*}/../checks.sh"

# Each file system: how it is made and mounted, and whether it keeps
# permission bits (what the README promises there).
filesystems=(ext4 xfs btrfs tmpfs exfat-fuse fusefat ntfs-3g sshfs)
keeps_modes=" ext4 xfs btrfs tmpfs sshfs "
# The checks, each run in a fresh folder of its own on every file system.
checks=(encipher decipher output_dir force refuse_existing remove_sources many_files permissions one_decision)

[ "$(id -u)" -eq 0 ] || { echo "file systems: SKIPPED: mounting needs root"; exit 77; }
[ -x "$checker" ] || { echo "file systems: SKIPPED: powercut_check is not built in $tools"; exit 77; }
[ -e /dev/loop-control ] || { echo "file systems: SKIPPED: this system has no loop devices"; exit 77; }

scratch=$(mktemp -d)
mnt=$scratch/mnt sshd_pid= loop=
mkdir -p "$mnt" "$scratch/expected"
unmount() {
  if mountpoint -q "$mnt"; then
    # A process that just ended may still hold the mount for a moment.
    for _ in $(seq 50); do
      umount "$mnt" 2>/dev/null && break
      sleep 0.1
    done
    mountpoint -q "$mnt" && umount -l "$mnt"
  fi
  # A FUSE daemon lets go of its device only once it has ended.
  for _ in $(seq 50); do
    [ -z "$loop" ] || losetup -d "$loop" 2>/dev/null && break
    sleep 0.1
  done
  loop=
}
trap 'unmount; [ -n "$sshd_pid" ] && kill "$sshd_pid"; rm -rf "$scratch"' EXIT

if [ "$build" = native ]; then
  run=("$program")
else
  run=("$@" "$program")
  "${run[@]}" --version >/dev/null 2>&1  # makes the prefix before any disk is mounted
fi
cli=(--password-file pw -q)

# 300 small sources of sizes all different, and their reference outputs, made
# once for every file system.
source_file() { head -c "${2:-600000}" /dev/urandom >"$1"; }
small=$scratch/small
mkdir "$small" && cd "$small" && printf 'secret7\n' >pw || exit 1
for f in $(seq 300); do
  source_file $f $((f * 97)) && "$checker" reference encipher pw $f en_$f || exit 1
done

# The image as a block device, which the FUSE daemons of disks want.
device() {
  loop=$(losetup -f --show "$scratch/image") || { why="no free loop device"; return 1; }
}

# An image file of SIZE for a file system made by COMMAND...
image() {
  local size=$1
  shift
  rm -f "$scratch/image"
  truncate -s "$size" "$scratch/image" && "$@" "$scratch/image" >"$scratch/mkfs.log" 2>&1 ||
    { why="$1 failed: $(tail -n 1 "$scratch/mkfs.log")"; return 1; }
}

# An sshd of our own on 127.0.0.1 (its keys and settings in the scratch
# folder, the host's own left alone) serving the scratch folder to sshfs.
start_sshd() {
  command -v sshfs >/dev/null && [ -x /usr/sbin/sshd ] || { why="no sshfs or sshd (packages sshfs, openssh-server)"; return 1; }
  local d=$scratch/ssh port=$((20000 + RANDOM % 20000))
  mkdir -p "$d" /run/sshd
  ssh-keygen -q -t ed25519 -N '' -f "$d/host" && ssh-keygen -q -t ed25519 -N '' -f "$d/user" || { why="ssh-keygen failed"; return 1; }
  cp "$d/user.pub" "$d/authorized"
  printf '%s\n' "Port $port" "ListenAddress 127.0.0.1" "HostKey $d/host" "AuthorizedKeysFile $d/authorized" \
    "PermitRootLogin prohibit-password" "PasswordAuthentication no" "StrictModes no" "UsePAM no" \
    "PidFile $d/pid" "Subsystem sftp internal-sftp" >"$d/config"
  /usr/sbin/sshd -D -e -f "$d/config" 2>"$d/log" &
  sshd_pid=$!
  ssh_options=(-p "$port" -o "IdentityFile=$d/user" -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o BatchMode=yes)
  for _ in $(seq 50); do
    ssh "${ssh_options[@]}" root@127.0.0.1 true 2>/dev/null && return 0
    kill -0 "$sshd_pid" 2>/dev/null || break
    sleep 0.1
  done
  why="sshd on 127.0.0.1:$port did not start: $(tail -n 1 "$d/log")"
  return 1
}

# Mounts file system NAME on $mnt; else says why in $why.
mount_fs() {
  why=
  case $1 in
    *-fuse | fusefat | ntfs-3g | sshfs) [ -c /dev/fuse ] || { why="this system has no /dev/fuse"; return 1; } ;;
  esac
  case $1 in
    ext4) image 64M mkfs.ext4 -q -F && mount -o loop "$scratch/image" "$mnt" ;;
    xfs) image 320M mkfs.xfs -q -f && mount -o loop "$scratch/image" "$mnt" ;;
    btrfs) image 128M mkfs.btrfs -q -f && mount -o loop "$scratch/image" "$mnt" ;;
    tmpfs) mount -t tmpfs -o size=64m tmpfs "$mnt" ;;
    exfat-fuse) image 64M mkfs.exfat && device && mount.exfat-fuse "$loop" "$mnt" >/dev/null ;;
    fusefat) image 64M mkfs.vfat -F 32 && device && fusefat -o rw+ "$loop" "$mnt" >/dev/null ;;
    ntfs-3g) image 64M mkfs.ntfs -q -F && device && ntfs-3g "$loop" "$mnt" ;;
    sshfs)
      [ -n "$sshd_pid" ] || start_sshd || return 1
      mkdir -p "$scratch/remote"
      sshfs "${ssh_options[@]}" root@127.0.0.1:"$scratch/remote" "$mnt" ;;
  esac 2>"$scratch/mount.log" || { why=${why:-"cannot be mounted here: $(tail -n 1 "$scratch/mount.log")"}; return 1; }
  mountpoint -q "$mnt" || { why="did not mount"; return 1; }
}

# --- Helpers of the checks: sources, their reference outputs, what is left.
# OUTPUT must be the reference output of SOURCE (as it was before the run).
expect() {
  local expected=$scratch/expected/${#expected_outputs[@]}
  "$checker" reference "$3" pw "$2" "$expected" || exit 1
  expected_outputs+=("$1" "$expected")
}
# Runs the program in the check's folder; "$rc" and "$err" hold what it did.
quorvel() {
  "${run[@]}" "$@" 2>"$scratch/err"
  rc=$? err=$(head -n 3 "$scratch/err" | tr '\n' ' ')
}
# What every check ends with: each output as expected, no temporary left.
outputs_right() {
  local i
  for ((i = 0; i < ${#expected_outputs[@]}; i += 2)); do
    cmp -s "${expected_outputs[i]}" "${expected_outputs[i + 1]}" || { said="${expected_outputs[i]} is missing or differs from the reference"; return 1; }
  done
  [ -z "$(find . -name '.quorvel-*' | head -n 1)" ] || { said="a temporary was left: $(find . -name '.quorvel-*' | head -n 3)"; return 1; }
}

# --- The checks. Each makes its files, runs, and says what it saw in $said on failure.
check_encipher() {
  source_file a && expect en_a a encipher
  quorvel encipher "${cli[@]}" a
  [ "$rc" -eq 0 ] || { said="exit $rc: $err"; return 1; }
}
check_decipher() {
  source_file en_b && expect de_en_b en_b decipher
  quorvel decipher "${cli[@]}" en_b
  [ "$rc" -eq 0 ] || { said="exit $rc: $err"; return 1; }
}
check_output_dir() {
  source_file a && mkdir out && expect out/en_a a encipher
  quorvel encipher "${cli[@]}" -o out a
  [ "$rc" -eq 0 ] || { said="exit $rc: $err"; return 1; }
}
check_force() {
  source_file a && source_file en_a 300000 && expect en_a a encipher
  quorvel encipher "${cli[@]}" -f a
  [ "$rc" -eq 0 ] || { said="exit $rc: $err"; return 1; }
}
check_refuse_existing() {
  source_file a && source_file b && source_file en_a 300000
  cp en_a "$scratch/earlier" && expect en_b b encipher
  expected_outputs+=(en_a "$scratch/earlier")
  quorvel encipher "${cli[@]}" a b
  [ "$rc" -eq 1 ] && [[ $err == *"en_a already exists; not replaced"* ]] || { said="exit $rc: $err"; return 1; }
}
check_remove_sources() {
  source_file a && source_file b && expect en_a a encipher && expect en_b b encipher
  quorvel encipher "${cli[@]}" --rm a b
  [ "$rc" -eq 0 ] && [ ! -e a ] && [ ! -e b ] || { said="exit $rc: $err; left: $(ls | tr '\n' ' ')"; return 1; }
}
# N of the small sources, with their reference outputs in FOLDER.
small_sources() {
  local f
  for f in $(seq "$1"); do
    cp "$small/$f" . && expected_outputs+=("$2en_$f" "$small/en_$f")
  done
}
check_many_files() {
  mkdir out && small_sources 300 out/
  quorvel encipher "${cli[@]}" -o out $(seq 300)
  [ "$rc" -eq 0 ] && [ "$(ls out | wc -l)" -eq 300 ] || { said="exit $rc: $err"; return 1; }
}
# The README's promise: an output grants no more than its source, where the
# file system keeps permissions at all; elsewhere it is written all the same.
check_permissions() {
  source_file a 1000 && chmod 640 a 2>/dev/null && expect en_a a encipher
  quorvel encipher "${cli[@]}" a
  [ "$rc" -eq 0 ] || { said="exit $rc: $err"; return 1; }
  if [[ $keeps_modes == *" $fs "* ]]; then
    [ "$(stat -c %a en_a)" = 640 ] || { said="en_a has mode $(stat -c %a en_a), its source 640"; return 1; }
  fi
}
# What the file system lacks is found out once per run: of 30 files, at most
# one fails each call that the file system does not take.
check_one_decision() {
  if [ "$build" != native ] || ! command -v strace >/dev/null; then
    note="(not watched: needs the native program and strace)"
  fi
  small_sources 30 ""
  if [ -n "${note:-}" ]; then
    quorvel encipher "${cli[@]}" $(seq 30)
  else
    # A file per thread: no call's line is split by another thread's.
    strace -ff -qq -o "$scratch/trace" -e trace=renameat2,link,fchmod,openat "${run[@]}" encipher "${cli[@]}" $(seq 30) 2>"$scratch/err"
    rc=$? err=$(head -n 3 "$scratch/err" | tr '\n' ' ')
    cat "$scratch"/trace.* >"$scratch/trace" && rm -f "$scratch"/trace.*
  fi
  [ "$rc" -eq 0 ] || { said="exit $rc: $err"; return 1; }
  [ -n "${note:-}" ] && return 0
  local call pattern failed
  note="(failed calls for 30 files:"
  for call in O_TMPFILE renameat2 link fchmod; do
    pattern="^$call\\("
    [ "$call" = O_TMPFILE ] && pattern="^openat\\(.*O_TMPFILE"
    grep -E "$pattern" "$scratch/trace" | grep ' = -1 ' >"$scratch/failed"
    failed=$(wc -l <"$scratch/failed")
    [ "$failed" -le 1 ] || { said="$failed failed $call calls for 30 files: $(head -n 1 "$scratch/failed")"; return 1; }
    note+=" $call $failed"
  done
  note+=")"
}

ran=0 passed_fs=()
for fs in "${filesystems[@]}"; do
  [ -z "${FS_MATRIX_ONLY:-}" ] || [[ " $FS_MATRIX_ONLY " == *" $fs "* ]] || continue
  if ! mount_fs "$fs"; then
    unmount
    skip "$build on $fs: $why"
    continue
  fi
  ran=$((ran + 1)) fs_failures=$failures
  for check in "${checks[@]}"; do
    dir=$mnt/$check expected_outputs=() said= note=
    mkdir "$dir" && cd "$dir" && printf 'secret7\n' >pw || { fail "$build on $fs: $check: cannot make its folder"; continue; }
    if "check_$check" && outputs_right; then
      pass "$build on $fs: $check${note:+ $note}"
    else
      fail "$build on $fs: $check: $said"
    fi
    cd "$scratch" && rm -rf "$dir" "$scratch/expected"/*
  done
  unmount
  [ "$failures" -eq "$fs_failures" ] && passed_fs+=("$fs")
done
[ "$ran" -gt 0 ] || { echo "file systems: SKIPPED: none could be mounted here"; exit 77; }
echo "file systems: $build: every check passed on: ${passed_fs[*]:-none}"
finish
