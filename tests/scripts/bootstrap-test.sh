#!/usr/bin/env bash
# scripts/bootstrap against a mirror caught mid-sync, with a stand-in apt-get
# (and dpkg-query, dpkg, id) first on PATH: each case scripts what the update
# and each install answer. Works on a copy of scripts/, so the note it leaves
# for scripts/wine-env lands in the copy's build/.
#
#   bootstrap-test.sh SOURCE_DIR
set -uo pipefail
unset QUORVEL_WINE_ARCHS QUORVEL_WINE32_WAY QUORVEL_QEMU_I386
src=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "${BASH_SOURCE%/*}/../checks.sh"

root=$work/root bin=$work/bin
mkdir -p "$root/build" "$bin"
cp -r "$src/scripts" "$root/"
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")

# Nothing is installed, i386 is known, and this is root. The apt-get answers
# by $CASE: "mirror" fails the update on the security suite's i386 list and
# holds packages unless asked for the release with -t; "broken" fails every
# install; "no-wine32" fails every install that names wine32:i386.
printf '#!/bin/sh\nexit 1\n' >"$bin/dpkg-query"
printf '#!/bin/sh\necho i386\n' >"$bin/dpkg"
printf '#!/bin/sh\necho 0\n' >"$bin/id"
cat >"$bin/apt-get" <<'EOS'
#!/bin/bash
echo "$*" >>"$CALLS"
case "$*" in
  *update*)
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/$CODENAME-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    exit 100 ;;
esac
held() { echo "E: Unable to correct problems, you have held broken packages."; exit 100; }
case "$CASE" in
  mirror) [[ " $* " == *" -t $CODENAME "* ]] || held ;;
  broken)
    [[ " $* " == *" -t "* ]] && { echo "E: Unable to locate package wine32:i386"; exit 100; }
    held ;;
  no-wine32) [[ " $* " == *" wine32:i386 "* ]] && held ;;
esac
exit 0
EOS
# A 32-bit Wine that starts, so no emulator is wanted after the install.
printf '#!/bin/sh\necho wine-9.0\n' >"$bin/wine"
chmod +x "$bin"/*

# bootstrap CASE: its output in $out, its status in $rc, its apt-get calls in $work/calls.
bootstrap() {
  rm -f "$work/calls"
  out=$(PATH=$bin:$PATH CASE=$1 CODENAME=$codename CALLS=$work/calls QUORVEL_WINE32=$bin/wine TMPDIR=$work \
          "$root/scripts/bootstrap" 2>&1)
  rc=$?
}
logs() { ls "$work"/quorvel-bootstrap.*.log 2>/dev/null; }
expect() {  # WHAT CONDITION-STATUS
  if [ "$2" -eq 0 ]; then pass "$1"; else fail "$1 (exit $rc: $out)"; fi
}

bootstrap mirror
[ $rc -eq 0 ] && [[ $out == *"apt-get update failed (E: Failed to fetch"*"binary-i386"* ]] \
  && [[ $out == *"installed preferring $codename's own suite, since the plain install failed (E: Unable to correct problems, you have held broken packages.)"* ]] \
  && grep -q -- "-t $codename" "$work/calls" && [ -z "$(logs)" ]
expect "a list that fails, then held packages: installed preferring the release's suite, log removed" $?
! grep -q -e trusted -e allow-unauthenticated -e AllowInsecure "$work/calls"
expect "and never with checks turned off" $?

bootstrap broken
log=$(logs)
[ $rc -ne 0 ] && [[ $out == *"held broken packages"*"again preferring $codename's own suite (E: Unable to locate package wine32:i386)"*"apt-get update had failed before it"* ]] \
  && [ -n "$log" ] && [[ $out == *"the whole log is $log" ]]
expect "an install that fails both ways: both causes and the update's, and the log kept" $?
rm -f $log

bootstrap no-wine32
note=$root/build/wine32-unavailable
[ $rc -eq 0 ] && [[ $out == *"installed everything but the 32-bit Wine (wine32:i386)"*"win32 build's tests will be skipped" ]] \
  && grep -q "held broken packages" "$note" && tail -n 1 "$work/calls" | grep -qv wine32
expect "the 32-bit Wine refused alone: the rest installed, exit 0, the reason said and kept" $?
r=$(QUORVEL_WINE32=$work/no-wine QUORVEL_WINE64=$bin/wine bash -c '. "$0/scripts/wine-env"; quorvel_wine_plan win32; echo "$PLAN|$WHY"' "$root")
[[ $r == "skip|the 32-bit Wine is missing: "*"scripts/bootstrap could not install it, since apt-get install failed (E: Unable to correct problems"* ]]
expect "and the win32 tests are then skipped with that reason" $?

bootstrap mirror
[ ! -e "$note" ]; expect "a later install that succeeds takes the reason back" $?

finish
