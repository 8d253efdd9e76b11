#!/usr/bin/env bash
# quorvel-cli.exe under Wine, where Wine shows what a Windows console does: a
# successful run writes nothing to standard error (Wine's own messages
# included); Ctrl-C mid-file (Wine makes SIGINT the console's Ctrl-C) exits 130
# leaving nothing partial; the password typed at the prompt is not echoed.
# Wine cannot send Ctrl-Break: GenerateConsoleCtrlEvent fails there.
#
#   cli_console_test.sh QUORVEL_CLI_EXE EMULATOR...
set -uo pipefail
cli=$(realpath "$1")
shift
failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
run() { "$@" 2>err; rc=$?; }

printf 'secret7\n' >pw
head -c 300000 /dev/urandom >a
"$@" "$cli" --version >/dev/null 2>&1  # makes the prefix, whose messages are Wine's
run "$@" "$cli" encipher --password-file pw a
[ "$rc" -eq 0 ] && [ ! -s err ] && [ -s en_a ] && pass "a successful run writes nothing to standard error" ||
  fail "successful run: exit $rc, stderr: $(cat err)"

truncate -s 1G big
"$@" "$cli" encipher --password-file pw big 2>err &
for _ in $(seq 300); do
  [ -n "$(find . -name '.quorvel-*.tmp' -size +10M)" ] && break
  sleep 0.1
done
kill -INT $!
wait $!
rc=$?
[ "$rc" -eq 130 ] && [ "$(ls -A | paste -sd ' ')" = "a big en_a err pw" ] && pass "Ctrl-C mid-file: exit 130, nothing partial" ||
  fail "Ctrl-C mid-file: exit $rc, stderr: $(cat err), folder: $(ls -A | paste -sd ' ')"

# Each key is typed once its prompt shows, as a person would type it.
mkdir typed && mkfifo keys
printf -v command '%q ' "$@" "$cli" encipher -o typed a
script -qefc "$command" screen <keys >/dev/null 2>&1 &
exec 3>keys
for prompt in 'Password:' 'Repeat the password:'; do
  for _ in $(seq 600); do grep -q "$prompt" screen 2>/dev/null && break; sleep 0.1; done
  printf 'secret7\r' >&3
done
wait $!
rc=$?
[ "$rc" -eq 0 ] && cmp -s typed/en_a en_a && ! grep -q secret7 screen && pass "the password prompt does not echo" ||
  fail "password prompt: exit $rc, screen: $(tr -d '\033' <screen)"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
