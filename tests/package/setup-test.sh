#!/usr/bin/env bash
# make dist's setup as a user meets it, under Wine in a fresh prefix of the
# build's architecture, on a virtual display (scripts/with-display): installed,
# used (quorvel-cli.exe, and Quorvel.exe PATH through the e2e driver), run
# again over a running program and after it, and uninstalled. The checks say
# what they look at.
#
#   setup-test.sh win32|win64 SOURCE_DIR BUILD_DIR E2E_DRIVER.exe
# The setup holds both builds: the other one comes from SOURCE_DIR/build/.
set -uo pipefail
args=("$@")
arch=$1 root=$(realpath "$2") build=$(realpath "$3") driver=$(realpath "$4")
other=$([ "$arch" = win32 ] && echo win64 || echo win32)
. "$root/scripts/wine-env"
. "$root/scripts/dialog-caption"
# The setup is a 32-bit program (NSIS's stub) in either build's suite: it starts
# the way 32-bit programs start here, or the test is skipped with the reason.
quorvel_wine_32bit bash "$0" "${args[@]}"
case "$PLAN" in
  skip) echo "setup-test: SKIPPED: the setup is a 32-bit program, and $WHY"; exit 77 ;;
  fail) echo "setup-test: the setup is a 32-bit program, and it cannot start here: $WHY"; exit 1 ;;
esac
scale32=${QUORVEL_TIME_SCALE:-1}
quorvel_wine_plan "$arch" "$build/wine-host"
[ "$PLAN" = run ] || { echo "setup-test: the $arch build cannot run here: $WHY"; exit 1; }
quorvel_wine_use "$arch"
quorvel_wine_enter "$0" "${args[@]}"
scale=${QUORVEL_TIME_SCALE:-$scale32}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
check() { if eval "$2"; then pass "$1"; else fail "$1"; fi; }

scratch=$(mktemp -d)
export WINEPREFIX=$scratch/prefix LANG=C.UTF-8
# No menu entries on the host for the shortcuts the setup makes.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$scratch"' EXIT
wine() { timeout -k 5 $((120 * scale)) "$WINE" "$@" 2>>"$scratch/wine.log" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
unixpath() { "$WINE" winepath.exe -u "$1" 2>>"$scratch/wine.log" | tr -d '\r'; }

"$root/scripts/dist" "$scratch/dist" 1.0.0.1 "$arch=$build/bin" "$other=$root/build/$other/bin" >/dev/null \
  || { echo "setup-test: scripts/dist failed (the setup needs both builds: make win32 win64)"; exit 1; }
setup=$scratch/dist/Quorvel-1.0.0.1-setup.exe
QUORVEL_WINE_UNMANAGED=1 timeout -k 5 $((120 * scale)) "$root/scripts/wine-prefix" \
  || { echo "setup-test: making the Wine prefix failed"; exit 1; }

key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel'
folder=$(realpath -m "$(unixpath "$(wine cmd.exe /c 'echo %LOCALAPPDATA%\Programs\Quorvel')")")
appdata=$(realpath -m "$(unixpath "$(wine cmd.exe /c 'echo %APPDATA%')")")
menu="$appdata/Microsoft/Windows/Start Menu/Programs/Quorvel"
# Each shortcut and the installed file it must lead to.
links=("$menu/Quorvel.lnk" "$appdata/Microsoft/Windows/SendTo/Quorvel.lnk" "$menu/使用说明.lnk")
targets=(Quorvel.exe Quorvel.exe 使用说明.txt)
# Each leaves its exit status in rc. The uninstaller runs as Windows runs it,
# from the entry; it goes on in a copy of itself, which the wait is for.
install() { wine "$(winpath "$setup")" /S; rc=$?; wineserver -w; }
uninstall() {
  local quiet program
  quiet=$(value QuietUninstallString) program=${quiet#\"}
  wine "${program%%\"*}" ${quiet##*\" }; rc=$?; wineserver -w
}
value() { echo "$entry" | awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
gone() { [ ! -e "$menu" ] && [ ! -e "${links[1]}" ] && ! wine reg.exe query "$key" >/dev/null; }
# Whether the shortcut $1 leads to the file $2: its folder and its name, each
# in UTF-16 or in ANSI/UTF-8. A name outside the ANSI code page is kept only
# in UTF-16, in the link's item list, apart from its folder.
leads_to() {
  local bytes part
  bytes=$(od -An -tx1 -v "$1" | tr -d ' \n')
  for part in "${2%\\*}\\" "${2##*\\}"; do
    [[ $bytes == *"$(printf '%s' "$part" | iconv -t UTF-16LE | od -An -tx1 -v | tr -d ' \n')"* ||
       $bytes == *"$(printf '%s' "$part" | od -An -tx1 -v | tr -d ' \n')"* ]] || return 1
  done
}

install
check "silent install, exit status $rc" '[ $rc -eq 0 ]'
check "the $arch programs, both guides, copyright.txt and uninstall.exe in %LOCALAPPDATA%\\Programs\\Quorvel" \
  '[ "$(ls "$folder" | paste -sd " ")" = "Quorvel.exe README.txt copyright.txt quorvel-cli.exe uninstall.exe 使用说明.txt" ] &&
   cmp -s "$folder/Quorvel.exe" "$build/bin/Quorvel.exe" && cmp -s "$folder/quorvel-cli.exe" "$build/bin/quorvel-cli.exe" &&
   [ "$(grep -c $'"'"'\r$'"'"' "$folder/README.txt")" = "$(wc -l <"$folder/README.txt")" ]'
entry=$(wine reg.exe query "$key")
echo "$entry" | sed -n 's/^ \+/  /p'
for i in "${!links[@]}"; do
  link=${links[i]} target=${targets[i]}
  check "shortcut ${link#"$appdata/"} to the installed $target" \
    '[ -f "$link" ] && leads_to "$link" "$(value InstallLocation)\\$target"'
done
# EstimatedSize counts the files of the one build installed, in KiB.
kib=$(( ($(stat -c %s "$folder"/{Quorvel.exe,quorvel-cli.exe,README.txt,使用说明.txt,copyright.txt} | paste -sd+)) / 1024 ))
check "the Uninstall entry's values" \
  '[ "$(value DisplayName)" = Quorvel ] && [ "$(value DisplayVersion)" = 1.0.0.1 ] && [ -n "$(value Publisher)" ] &&
   [ "$(value DisplayIcon)" = "$(value InstallLocation)\\Quorvel.exe,0" ] &&
   [ "$(value UninstallString)" = "\"$(value InstallLocation)\\uninstall.exe\"" ] &&
   [ "$(value QuietUninstallString)" = "\"$(value InstallLocation)\\uninstall.exe\" /S" ] &&
   [ "$(value NoModify)" = 0x1 ] && [ "$(value NoRepair)" = 0x1 ] &&
   [ $(($(value EstimatedSize))) -ge $kib ] && [ $(($(value EstimatedSize))) -le $((kib + 4)) ]'

mkdir "$scratch/files" "$scratch/cwd" "$scratch/shots"
head -c 700000 /dev/urandom >"$scratch/files/plain.bin"
echo secret-password >"$scratch/files/password"
cli=$(winpath "$folder/quorvel-cli.exe")
wine "$cli" encipher -q --password-file "$(winpath "$scratch/files/password")" "$(winpath "$scratch/files/plain.bin")" &&
  mv "$scratch/files/en_plain.bin" "$scratch/files/cipher.bin" &&
  wine "$cli" decipher -q --password-file "$(winpath "$scratch/files/password")" "$(winpath "$scratch/files/cipher.bin")"
check "the installed quorvel-cli.exe round-trips a file" \
  '! cmp -s "$scratch/files/plain.bin" "$scratch/files/cipher.bin" && cmp -s "$scratch/files/plain.bin" "$scratch/files/de_cipher.bin"'

wine "$driver" --exe "$(winpath "$folder/Quorvel.exe")" --work "$(winpath "$scratch/files")" \
  --cwd "$(winpath "$scratch/cwd")" --shots "$(winpath "$scratch/shots")" --only "file on the command line" \
  | sed 's/^/  /' | tee "$scratch/driver.log"
check "the installed Quorvel.exe given a file opens the Open dialog at it" 'grep -q "^  1 passed, 0 failed" "$scratch/driver.log"'

# A program of the install that runs cannot be asked to close in a silent
# run: the setup stops before it changes any file, the other program's too.
# Once it has ended, the setup replaces the installed copy in place.
echo "a line of the user's" >>"$folder/README.txt"
for running in Quorvel.exe quorvel-cli.exe; do
  kept=$([ $running = Quorvel.exe ] && echo quorvel-cli.exe || echo Quorvel.exe)
  printf 'marked' >>"$folder/$kept"
  if [ $running = Quorvel.exe ]; then
    "$WINE" "$(winpath "$folder/Quorvel.exe")" 2>>"$scratch/wine.log" &
    timeout $((10 * scale)) sh -c 'until xdotool search --name "$1" >/dev/null 2>&1; do sleep 0.1; done' sh "$QUORVEL_DIALOG_CAPTION"
  else
    # Waiting for its password on a pipe that stays open, held by the writer
    # alone (Wine's own processes would keep a descriptor of this shell's).
    mkfifo "$scratch/password-pipe"
    sleep 600 >"$scratch/password-pipe" 2>/dev/null &
    writer=$!
    "$WINE" "$cli" encipher --password-stdin "$(winpath "$scratch/files/plain.bin")" \
      <"$scratch/password-pipe" >/dev/null 2>>"$scratch/wine.log" &
    sleep $((2 * scale))
  fi
  program=$!
  wine "$(winpath "$setup")" /S
  rc=$?
  check "with $running running, the silent setup stops (exit status $rc) and changes no file" \
    '[ $rc -ne 0 ] && [ "$(tail -c 6 "$folder/$kept")" = marked ] && tail -n 1 "$folder/README.txt" | grep -q "of the user"'
  kill $program ${writer:-} 2>/dev/null
  wait $program ${writer:-} 2>/dev/null
  wineserver -w
done
install
check "once they have ended, the setup replaces the installed copy in place" \
  '[ $rc -eq 0 ] && ! grep -q "of the user" "$folder/README.txt" && [ "$(ls "$folder" | wc -l)" = 6 ] &&
   cmp -s "$folder/Quorvel.exe" "$build/bin/Quorvel.exe" && cmp -s "$folder/quorvel-cli.exe" "$build/bin/quorvel-cli.exe"'

echo "a user's output" >"$folder/en_notes.txt"
uninstall
check "silent uninstall: the user's en_notes.txt stays, nothing else of the install" \
  '[ $rc -eq 0 ] && [ "$(ls "$folder")" = en_notes.txt ] && gone'
rm "$folder/en_notes.txt"
install
uninstall
check "installed again and uninstalled: nothing left, the folder gone" '[ $rc -eq 0 ] && [ ! -e "$folder" ] && gone'

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
