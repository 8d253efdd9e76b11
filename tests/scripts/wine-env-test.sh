#!/usr/bin/env bash
# How scripts/wine-env decides which Windows builds run here, with stand-in
# loaders in place of Wine's: one that starts, one the kernel refuses to
# execute (a real "Exec format error", from an ELF file for a machine no kernel
# runs), one that fails to start, one that is not there; and stand-in
# emulators: one that runs the refused loader through binfmt_misc, one too
# old, one not there. Then the same probe on this host's real loaders,
# cross-checked against the 32-bit C library loader. Works on a copy of
# scripts/ so no real build's record is touched.
#
#   wine-env-test.sh SOURCE_DIR STAND_IN_QEMU
set -uo pipefail
# The settings under test come from each case alone, never from the caller.
unset QUORVEL_WINE_ARCHS QUORVEL_WINE32_WAY QUORVEL_WINE32 QUORVEL_WINE64 QUORVEL_QEMU_I386 QUORVEL_WINE_EMULATED QUORVEL_TIME_SCALE
src=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "${BASH_SOURCE%/*}/../checks.sh"
expect() {  # WHAT CONDITION-STATUS DETAIL
  if [ "$2" -eq 0 ]; then pass "$1"; else fail "$1 ($3)"; fi
}

mkdir -p "$work/root/build/win32" "$work/root/build/win64" "$work/bin"
cp -r "$src/scripts" "$work/root/"
root=$work/root

# Stand-ins. The one that starts counts its starts, so a test can tell a
# recorded answer from a new probe.
starts=$work/starts
cat >"$work/bin/starts" <<EOS
#!/bin/sh
echo x >>"$starts"
echo "wine-9.0 (stand-in)"
EOS
printf '#!/bin/sh\necho "wine: error while loading shared libraries: libwine.so.1" >&2\nexit 127\n' >"$work/bin/broken"
# /bin/true with its machine field (bytes 18-19) set to an unassigned value:
# the kernel refuses it exactly as it refuses i386 code with ia32 emulation off.
cp "$(readlink -f /bin/true)" "$work/bin/refused"
printf '\x34\x12' | dd of="$work/bin/refused" bs=1 seek=18 conv=notrunc status=none
printf '#!/bin/sh\necho "qemu-i386 version 7.2.0"\n' >"$work/bin/old-qemu"
chmod +x "$work/bin/"*
ok=$work/bin/starts refused=$work/bin/refused broken=$work/bin/broken missing=$work/bin/none
qemu=$2 old_qemu=$work/bin/old-qemu no_qemu=$work/bin/no-qemu
export QUORVEL_QEMU_I386=$no_qemu  # no emulator unless a case names one
# The copy's binfmt_misc entry matches the refused stand-in rather than i386
# programs, so that emulation is tried the same way on any host.
{
  printf "quorvel_binfmt_magic='%s'\n" "$(head -c 20 "$refused" | od -An -v -tx1 | tr -d ' \n' | sed 's/../\\x&/g')"
  printf "quorvel_binfmt_mask='%s'\n" "$(printf '\\xff%.0s' {1..20})"
} >>"$root/scripts/wine-env"

# plan ARCH WIN32-LOADER WIN64-LOADER [ARCHS [EMULATOR]]: "PLAN|WHY" from a fresh shell, no record.
plan() {
  QUORVEL_WINE32=$2 QUORVEL_WINE64=$3 QUORVEL_WINE_ARCHS=${4:-} QUORVEL_QEMU_I386=${5:-$no_qemu} bash -c \
    '. "$0/scripts/wine-env"; quorvel_wine_plan "$1"; echo "$PLAN|$WHY"' "$root" "$1"
}
# choose WIN32-LOADER WIN64-LOADER [ARCHS]: the build make run starts.
choose() { QUORVEL_WINE32=$1 QUORVEL_WINE64=$2 QUORVEL_WINE_ARCHS=${3:-} "$root/scripts/run" --choose 2>&1; }
probe_state() {
  QUORVEL_WINE32=$1 bash -c '. "$0/scripts/wine-env"; quorvel_wine_probe win32; echo "$STATE|$DETAIL"' "$root"
}

# --- The probe tells the four kinds of loader apart.
r=$(probe_state "$ok"); [[ $r == "native|wine-9.0 (stand-in)" ]]; expect "a loader that starts: native, with its version" $? "$r"
r=$(probe_state "$refused"); [[ $r == "refused|$refused: Exec format error" ]]; expect "a loader the kernel refuses: refused" $? "$r"
r=$(probe_state "$broken"); [[ $r == broken*"status 127"*libwine* ]]; expect "a loader that fails: broken, with its message" $? "$r"
r=$(probe_state "$missing"); [[ $r == "missing|$missing is not installed" ]]; expect "no loader: missing" $? "$r"

# --- Which builds run, QUORVEL_WINE_ARCHS unset.
r32=$(plan win32 "$ok" "$ok"); r64=$(plan win64 "$ok" "$ok")
[[ $r32 == run* && $r64 == run* ]]; expect "a host that runs 32-bit code runs both builds" $? "$r32 / $r64"
r32=$(plan win32 "$refused" "$ok"); r64=$(plan win64 "$refused" "$ok")
[[ $r32 == "skip|this host's kernel does not run 32-bit code"*"cannot emulate it: $no_qemu is not installed"*ia32_emulation=on* && $r64 == run* ]]
expect "a kernel without 32-bit code and no emulator: win32 skipped with the reason, win64 runs" $? "$r32 / $r64"
[[ $r32 != *$'\n'* ]]; expect "the reason is one line" $? "$r32"
r=$(plan win32 "$refused" "$ok" "" "$old_qemu"); [[ $r == skip*"qemu 7.2, and Wine needs 8 or later"* ]]
expect "an emulator older than qemu 8 is not tried" $? "$r"
r=$(plan win32 "$missing" "$ok"); [[ $r == "skip|the 32-bit Wine is missing: $missing is not installed" ]]
expect "the 32-bit Wine alone not installed: win32 skipped" $? "$r"
echo "apt-get install failed (held broken packages)" >"$root/build/wine32-unavailable"
r=$(plan win32 "$missing" "$ok"); [[ $r == skip*"scripts/bootstrap could not install it, since apt-get install failed (held broken packages)" ]]
expect "and with the reason scripts/bootstrap left" $? "$r"
rm "$root/build/wine32-unavailable"
r=$(plan win32 "$missing" "$missing"); [[ $r == fail*"scripts/bootstrap"* ]]; expect "no Wine at all is an error that names scripts/bootstrap" $? "$r"
r=$(plan win32 "$missing" "$ok" win32); [[ $r == fail*"scripts/bootstrap"* ]]; expect "and so is a missing 32-bit Wine that QUORVEL_WINE_ARCHS asks for" $? "$r"
r32=$(QUORVEL_WINE32_WAY=uninstalled plan win32 "$ok" "$ok"); r64=$(QUORVEL_WINE32_WAY=uninstalled plan win64 "$ok" "$ok")
[[ $r32 == "skip|"*"QUORVEL_WINE32_WAY=uninstalled"* && $r64 == run* ]]
expect "QUORVEL_WINE32_WAY=uninstalled: a host that runs both acts as one without the 32-bit Wine" $? "$r32 / $r64"
r=$(plan win64 "$ok" "$broken"); [[ $r == "fail|Wine cannot start: "*libwine* ]]; expect "a 64-bit Wine that cannot start says so" $? "$r"
r=$(plan win64 "$ok" "$refused"); [[ $r == fail* ]]; expect "a refused 64-bit loader is an error, never a skip" $? "$r"

# --- Emulated, in a namespace of its own; the host's binfmt_misc stays as it was.
host_binfmt=$(ls -A /proc/sys/fs/binfmt_misc 2>&1)
if unshare --user --map-root-user --mount --propagation private \
     mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null; then
  r32=$(plan win32 "$refused" "$ok" "" "$qemu"); r64=$(plan win64 "$refused" "$ok" "" "$qemu")
  [[ $r32 == "run|$refused runs here, emulated by ${qemu##*/} 10.0 (wine-9.0 (stand-in, emulated))" && $r64 == run* ]]
  expect "a kernel without 32-bit code and an emulator: win32 runs emulated" $? "$r32 / $r64"
  r=$(plan win32 "$ok" "$ok" "" "$qemu"); [[ $r == "run|$ok runs here, natively"* ]]
  expect "where 32-bit code runs, it runs natively even with an emulator" $? "$r"
  r=$(QUORVEL_WINE32_WAY=emulated plan win32 "$ok" "$ok" "" "$qemu"); [[ $r == "run|$ok runs here, emulated by"* ]]
  expect "QUORVEL_WINE32_WAY=emulated: there it runs emulated" $? "$r"
  r=$(QUORVEL_QEMU_I386=$qemu bash -c '. "$0/scripts/wine-env"; quorvel_wine_namespace "$@"' "$root" \
        env QUORVEL_WINE32="$ok" bash -c '. "$0/scripts/wine-env"; quorvel_wine_probe win32; echo "$STATE"' "$root")
  [ "$r" = emulated ]; expect "inside the namespace a loader that starts is emulated, never native" $? "$r"
  mkdir -p "$work/prefix" && touch "$work/prefix/.quorvel-ready-2"
  out=$(QUORVEL_WINE32=$refused QUORVEL_QEMU_I386=$qemu WINEPREFIX=$work/prefix \
          "$root/scripts/wine-run" win32 "$root/build/win32" prog.exe an-argument 2>&1)
  [ "$out" = "emulated: prog.exe an-argument" ]; expect "the emulator enters the namespace to run a program" $? "$out"
  r=$(QUORVEL_QEMU_I386=$qemu choose "$refused" "$ok"),$(QUORVEL_QEMU_I386=$qemu choose "$refused" "$ok" win32)
  [ "$r" = win64,win32 ]; expect "make run starts the emulated 32-bit build only when QUORVEL_WINE_ARCHS asks for it" $? "$r"
  printf '# a comment\n5\n' >"$root/scripts/time-scale"
  r=$(QUORVEL_WINE32=$refused QUORVEL_QEMU_I386=$qemu bash -c \
        '. "$0/scripts/wine-env"; quorvel_wine_plan win32; quorvel_wine_use win32; echo "$QUORVEL_TIME_SCALE"' "$root")
  [ "$r" = 5 ]; expect "an emulated run stretches its waits by the factor in scripts/time-scale" $? "$r"
  cp "$src/scripts/time-scale" "$root/scripts/"
  rm -f "$root"/build/*/wine-host
else
  r=$(plan win32 "$refused" "$ok" "" "$qemu"); [[ $r == skip*"cannot emulate it: "* ]]
  expect "no binfmt_misc in a user namespace here: win32 skipped with the reason" $? "$r"
fi
[ "$(ls -A /proc/sys/fs/binfmt_misc 2>&1)" = "$host_binfmt" ]
expect "the host's binfmt_misc is as it was" $? "$(ls -A /proc/sys/fs/binfmt_misc 2>&1)"

# --- QUORVEL_WINE_ARCHS.
r32=$(plan win32 "$ok" "$ok" win64); r64=$(plan win64 "$ok" "$ok" win64)
[[ $r32 == "skip|left out by QUORVEL_WINE_ARCHS=win64" && $r64 == run* ]]
expect "win64 alone: win32 skipped even where it runs" $? "$r32 / $r64"
r=$(plan win32 "$refused" "$ok" "win32,win64"); [[ $r == "fail|QUORVEL_WINE_ARCHS asks for win32, but"* ]]
expect "win32 asked for where it cannot run: an error, not a skip" $? "$r"
r32=$(plan win32 "$ok" "$ok" "win32 win64"); r64=$(plan win64 "$ok" "$ok" "win32 win64")
[[ $r32 == run* && $r64 == run* ]]; expect "both asked for with a space: both run" $? "$r32 / $r64"
r=$(plan win32 "$refused" "$ok" auto); [[ $r == skip* ]]; expect "auto is the same as unset" $? "$r"
r=$(plan win64 "$ok" "$ok" win65); [[ $r == "fail|QUORVEL_WINE_ARCHS='win65' is not a list"* ]]
expect "a misspelt architecture is an error that names the variable" $? "$r"
r=$(plan win64 "$ok" "$ok" '*'); [[ $r == fail* ]]; expect "a pattern is not expanded into file names" $? "$r"

# --- The record: one probe per build, a new one after a reboot or a change of loader.
record=$root/build/win32/wine-host
rm -f "$starts"
recorded() { QUORVEL_WINE32=$1 bash -c '. "$0/scripts/wine-env"; quorvel_wine_plan win32 "$1"; echo "$PLAN"' "$root" "$record"; }
QUORVEL_WINE32=$ok "$root/scripts/wine-host" probe win32 "$root/build/win32" >"$work/out"
grep -qx "state=native" "$record" && grep -q "^wine-host: win32 programs run here" "$work/out"
expect "the build step records what it found and says it" $? "$(cat "$record" "$work/out")"
for _ in 1 2 3; do recorded "$ok" >/dev/null; done
[ "$(wc -l <"$starts")" -eq 1 ]; expect "readers take the recorded answer: one start in all" $? "$(wc -l <"$starts") starts"
sed -i 's/^boot=.*/boot=an-earlier-boot/' "$record"
[ "$(recorded "$ok")" = run ] && [ "$(wc -l <"$starts")" -eq 2 ] && grep -qx "boot=$(cat /proc/sys/kernel/random/boot_id)" "$record"
expect "a record from an earlier boot is probed again and rewritten" $? "$(wc -l <"$starts") starts"
[ "$(recorded "$refused")" = skip ] && grep -qx "state=refused" "$record"
expect "a record about another loader is probed again" $? "$(cat "$record")"
[ "$(QUORVEL_WINE32_WAY=uninstalled recorded "$refused")" = skip ] && grep -qx "state=missing" "$record" \
  && [ "$(recorded "$refused")" = skip ] && grep -qx "state=refused" "$record"
expect "a record made under QUORVEL_WINE32_WAY holds only under the same way" $? "$(cat "$record")"

# --- What a direct ctest run and the emulator say where the build cannot run.
out=$(QUORVEL_WINE32=$refused "$root/scripts/wine-host" check win32 "$root/build/win32" 2>&1); rc=$?
[ "$rc" -ne 0 ] && [ "$(wc -l <<<"$out")" -eq 1 ] && [[ $out == "The win32 tests cannot run on this host: this host's kernel does not run 32-bit code"* ]]
expect "ctest's first test: one line saying why the build cannot run" $? "$rc: $out"
out=$(QUORVEL_WINE32=$refused "$root/scripts/wine-run" win32 "$root/build/win32" prog.exe 2>&1); rc=$?
[ "$rc" -ne 0 ] && [ "$(wc -l <<<"$out")" -eq 1 ] && [[ $out == "wine-run: the win32 build cannot run here: "* ]]
expect "the emulator refuses on one line too" $? "$rc: $out"

# --- make run's choice.
rm -f "$root"/build/*/wine-host
[ "$(choose "$ok" "$ok")" = win32 ]; expect "make run starts the 32-bit build where it runs" $? "$(choose "$ok" "$ok")"
[ "$(choose "$refused" "$ok")" = win64 ]; expect "and the 64-bit one where it cannot" $? "$(choose "$refused" "$ok")"
[ "$(choose "$ok" "$ok" win64)" = win64 ]; expect "and the 64-bit one when QUORVEL_WINE_ARCHS=win64" $? "$(choose "$ok" "$ok" win64)"
out=$(choose "$refused" "$broken"); rc=$?
[ "$rc" -ne 0 ] && [ "$(wc -l <<<"$out")" -eq 1 ] && [[ $out == "run: neither build can run here: "* ]]
expect "with neither runnable it fails on one line" $? "$rc: $out"
out=$(QUORVEL_WINE32=$refused QUORVEL_WINE64=$ok "$root/scripts/run" win64 2>&1); rc=$?
[ "$rc" -ne 0 ] && [[ $out == "Starting the 64-bit Quorvel.exe"*"the 32-bit one cannot run here: this host's kernel"* || $out == *"is not built yet: run make run"* ]]
expect "scripts/run says which build and why, or that it is not built" $? "$rc: $out"

# --- This host's own loaders.
real64=/usr/lib/wine/wine64 real32=/usr/lib/wine/wine
if [ -x "$real64" ]; then
  r=$(QUORVEL_WINE64=$real64 bash -c '. "$0/scripts/wine-env"; quorvel_wine_probe win64; echo "$STATE"' "$root")
  [ "$r" = native ]; expect "this host's 64-bit Wine starts" $? "$r"
else
  skip "no 64-bit Wine installed here"
fi
ldso=
for f in /lib/ld-linux.so.2 /usr/lib/i386-linux-gnu/ld-linux.so.2; do [ -e "$f" ] && ldso=$f && break; done
if [ -x "$real32" ] && [ -n "$ldso" ]; then
  # The 32-bit C library's loader is a 32-bit program apart from Wine; where
  # the kernel refuses it, the real binfmt_misc entry and emulator decide.
  r=$(env -u QUORVEL_QEMU_I386 QUORVEL_WINE32=$real32 bash -c '. "$0/scripts/wine-env"; quorvel_wine_probe win32; echo "$STATE"' "$src")
  if "$ldso" --version >/dev/null 2>&1; then
    [ "$r" = native ]; expect "this host's 32-bit Wine probed as $r, as $ldso runs" $? "$r"
  else
    [[ $r == emulated || $r == refused ]]; expect "this host's 32-bit Wine probed as $r, as $ldso is refused" $? "$r"
  fi
else
  skip "no 32-bit Wine or no 32-bit C library here"
fi

finish
