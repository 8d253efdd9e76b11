#!/usr/bin/env bash
# quorvel-cli.exe on a console, under the Wine that runs its build, where Wine
# shows what Windows does: a successful run writes nothing to standard error
# (Wine's own messages included), Ctrl-C mid-file (Wine turns SIGINT into the
# console's Ctrl-C event) exits 130 and leaves nothing partial, and a password
# typed at the prompt (a pseudo-terminal, which Wine makes the console) is not
# shown. Ctrl-Break cannot be sent under Wine: GenerateConsoleCtrlEvent fails
# there, on a pseudo-terminal too.
#
#   cli_console_test.sh QUORVEL_CLI_EXE EMULATOR...
set -uo pipefail
cli=$(realpath "$1")
shift
emulator=("$@")
failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
temporaries() { find . -maxdepth 1 -name '.quorvel-*.tmp' "$@"; }

printf 'secret7\n' >pw
head -c 300000 /dev/urandom >a
# The first start makes the prefix, whose messages are Wine's, not the program's.
"${emulator[@]}" "$cli" --version >/dev/null 2>&1

"${emulator[@]}" "$cli" encipher --password-file pw a 2>err
rc=$?
if [ "$rc" -eq 0 ] && [ ! -s err ] && [ -s en_a ]; then
  pass "a successful run writes nothing to standard error"
else
  fail "successful run: exit $rc, en_a $(wc -c <en_a 2>/dev/null || echo missing), stderr: $(cat err)"
fi

truncate -s 1G big
printf 'waiting its turn\n' >after
"${emulator[@]}" "$cli" encipher --password-file pw big after 2>err &
pid=$!
for _ in $(seq 300); do
  [ -n "$(temporaries -size +10M)" ] && break
  sleep 0.1
done
kill -INT "$pid"
wait "$pid"
rc=$?
if [ "$rc" -eq 130 ] && grep -q 'big: interrupted' err && [ ! -e en_big ] && [ ! -e en_after ] \
   && [ -z "$(temporaries)" ]; then
  pass "Ctrl-C mid-file: exit 130, nothing partial, the next file not started"
else
  fail "Ctrl-C mid-file: exit $rc, stderr: $(cat err), folder: $(ls -A | tr '\n' ' ')"
fi
rm -f big after

# The keys are typed only once each prompt shows, as a person would type them.
mkdir typed
mkfifo keys
printf -v command '%q ' "${emulator[@]}" "$cli" encipher -o typed a
script -qefc "$command" typescript <keys >/dev/null 2>&1 &
pid=$!
exec 3>keys
type_after() {
  for _ in $(seq 600); do
    grep -q "$1" typescript 2>/dev/null && break
    sleep 0.1
  done
  printf 'secret7\r' >&3
}
type_after 'Password:'
type_after 'Repeat the password:'
wait "$pid"
rc=$?
exec 3>&-
if [ "$rc" -eq 0 ] && cmp -s typed/en_a en_a && ! grep -q secret7 typescript; then
  pass "the password prompt reads without echo"
else
  fail "password prompt: exit $rc, output $(cmp typed/en_a en_a 2>&1 || true), screen: $(tr -d '\033' <typescript)"
fi

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
