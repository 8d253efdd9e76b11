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
scale=${QUORVEL_TIME_SCALE:-1}
scratch=$(mktemp -d)
holder=
trap '[ -n "$holder" ] && kill "$holder" 2>/dev/null; rm -rf "$scratch"' EXIT
cd "$scratch"
. "${BASH_SOURCE%/*}/../checks.sh"
run() { "$@" 2>err; rc=$?; }
. "${BASH_SOURCE%/*}/terminal.sh"

printf 'secret7\n' >pw
head -c 300000 /dev/urandom >a
"$@" "$cli" --version >/dev/null 2>&1  # makes the prefix, whose messages are Wine's
run "$@" "$cli" encipher --password-file pw a
[ "$rc" -eq 0 ] && [ ! -s err ] && [ -s en_a ] && pass "a successful run writes nothing to standard error" ||
  fail "successful run: exit $rc, stderr: $(cat err)"

truncate -s 1G big
"$@" "$cli" encipher --password-file pw big 2>err &
for _ in $(seq $((300 * scale))); do
  [ -n "$(find . -name '.quorvel-*.tmp' -size +10M)" ] && break
  sleep 0.1
done
kill -INT $!
wait $!
rc=$?
[ "$rc" -eq 130 ] && [ "$(ls -A | paste -sd ' ')" = "a big en_a err pw" ] && pass "Ctrl-C mid-file: exit 130, nothing partial" ||
  fail "Ctrl-C mid-file: exit $rc, stderr: $(cat err), folder: $(ls -A | paste -sd ' ')"

# Wine's session (its server and services) is kept up from here on by a run
# waiting for its password in a folder of its own: started inside the
# terminal below, the session's processes share it, and now and then the
# first key was echoed and lost.
mkdir hold && mkfifo hold/password
(cd hold && exec "$@" "$cli" decipher --password-stdin none <password >/dev/null 2>&1) &
holder=$!
exec 4>hold/password

# Each key is typed once its prompt shows and Wine has the terminal in raw
# mode, as a person would type it.
# Nothing the terminal starts gets the waiting run's input open for writing
# (4>&- on the call; the shell keeps its own copy): a Wine server started
# there would hold it open, and the waiting run would never see its end.
mkdir typed
printf -v command '%q ' "$@" "$cli" encipher -o typed a
on_terminal $((120 * scale)) "$command" 'Password:' 'secret7\r' 'Repeat the password:' 'secret7\r' 4>&-
[ "$rc" -eq 0 ] && cmp -s typed/en_a en_a && ! grep -q secret7 tty.txt && pass "the password prompt does not echo" ||
  fail "password prompt: exit $rc, screen: $(tr -d '\033' <tty.txt)"
exec 4>&-  # the waiting run reads the end of its input and leaves
for _ in $(seq $((300 * scale))); do
  kill -0 "$holder" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$holder" 2>/dev/null; then
  fail "the run waiting for its password did not leave at the end of its input"
else
  wait "$holder"
  holder=
fi

finish
