#!/usr/bin/env bash
# quorvel-cli on Linux in the situations that need the system's help:
# interruption by signals, a source or folder the user may not use (run as
# nobody, since root passes every permission check), a full file system (a
# 1 MiB tmpfs in a private mount namespace), and a real terminal (script's pty)
# for the progress line and the password prompt. A case that cannot be set up
# here is skipped with its reason; every other failure fails the test.
set -uo pipefail
cli=$(realpath "$1")
echo_refused=$(realpath "$2")  # preloaded: the terminal says it could not turn the echo back on
scratch=$(mktemp -d /dev/shm/quorvel-cli-test.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
cd "$scratch"
printf 'secret7\n' > pw
chmod 644 pw

. "${BASH_SOURCE%/*}/../checks.sh"
# Names in the current folder other than the ones given.
others() { ls -A | grep -vxF -f <(printf '%s\n' "$@") || true; }
. "${BASH_SOURCE%/*}/terminal.sh"

# --- Stopped mid-file by any signal: exit 128 + its number, no output, not
# even a temporary, the next file not started, and with --rm no source gone.
# SIGKILL gets no clean-up at all, and still leaves nothing: the output has no
# name until it is done.
truncate -s 8G big               # sparse: reads cost no disk
printf 'earlier output\n' > en_big
printf 'waiting its turn\n' > after
for case in INT:130 TERM:143 HUP:129 QUIT:131 PIPE:141 KILL:137; do
  sig=${case%%:*} expected=${case#*:}
  "$cli" encipher -f --rm --password-file pw big after 2> err &
  pid=$!
  # Wait until it has read 10 MB, so the job is surely mid-file.
  for _ in $(seq 200); do
    read_bytes=$(sed -n 's/^rchar: //p' "/proc/$pid/io" 2>/dev/null || echo 0)
    [ "${read_bytes:-0}" -gt 10000000 ] && break
    sleep 0.05
  done
  kill -s "$sig" "$pid"
  wait "$pid"; rc=$?
  said=yes
  [ "$sig" != KILL ] && ! grep -q 'big: interrupted' err && said=no
  [ "$rc" -eq "$expected" ] && [ "$said" = yes ] && [ "$(cat en_big)" = "earlier output" ] \
     && [ -e big ] && [ -e after ] && [ -z "$(others pw big en_big after err)" ] &&
    pass "SIG$sig mid-file: exit $rc, earlier output kept, nothing partial, the next file not started" ||
    fail "SIG$sig mid-file: exit $rc (not $expected), stderr: $(cat err), folder: $(ls -A | tr '\n' ' ')"
done
rm -f big en_big after err

# --- Stopped while it waits for the password on standard input: it ends by
# itself with 128 + the signal. A shell says 128 + N for a process the signal
# killed too, so perl waits for it and tells the two apart.
head -c 1000 /dev/urandom > small
for case in INT:130 HUP:129; do
  sig=${case%%:*} expected=${case#*:}
  mkfifo quiet-pipe
  sleep 30 > quiet-pipe &          # a writer that never writes
  holder=$!
  perl -e 'sub put { open(my $f, ">", $_[0]) or die "$_[0]: $!"; print $f $_[1]; close $f }
           if (!($p = fork)) { exec @ARGV; exit 127 }
           put("pid", $p); waitpid($p, 0);
           put("ended", $? & 127 ? "killed by signal " . ($? & 127) : "exit " . ($? >> 8))' \
    -- "$cli" encipher --password-stdin small < quiet-pipe 2> err &
  waiter=$!
  sleep 0.5
  kill -s "$sig" "$(cat pid)"
  wait "$waiter"
  kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
  ended=$(cat ended)
  [ "$ended" = "exit $expected" ] && [ -z "$(others pw small err quiet-pipe pid ended)" ] &&
    pass "SIG$sig while the password is awaited: $ended, nothing made" ||
    fail "SIG$sig while the password is awaited: $ended (not exit $expected), stderr: $(cat err)"
  rm -f quiet-pipe err pid ended
done

# --- Only ordinary files are read: each other kind is refused by what it is,
# before anything is written and without waiting for a pipe's writer.
mkfifo fifo-no-writer fifo-with-writer
mkdir folder
head -c 300000 /dev/urandom > plain-src
for case in "fifo-no-writer:is a pipe" "fifo-with-writer:is a pipe" "/dev/zero:is a device" "/dev/null:is a device" \
            "folder:is a folder" "/proc/cpuinfo:size is not known" "/dev/stdin:is a pipe" "PROCSUB:is a pipe"; do
  src=${case%%:*} says=${case#*:}
  [ "$src" = fifo-with-writer ] && { head -c 300000 /dev/urandom > fifo-with-writer & }
  if [ "$src" = PROCSUB ]; then
    timeout 10 "$cli" encipher --password-file pw -o . <(cat plain-src) 2> err < /dev/null; rc=$?
  else
    cat plain-src | timeout 10 "$cli" encipher --password-file pw -o . "$src" 2> err; rc=$?
  fi
  [ "$rc" -eq 1 ] && grep -q "$says" err && [ -z "$(others pw plain-src small fifo-no-writer fifo-with-writer folder err)" ] \
     && [ ! -e /dev/en_zero ] && [ ! -e /dev/en_null ] && pass "$src refused: $(cat err)" ||
    fail "$src: exit $rc, stderr: $(cat err), folder: $(ls -A | tr '\n' ' ')"
done
kill %% 2>/dev/null; wait 2>/dev/null
rm -rf fifo-no-writer fifo-with-writer folder err plain-src small

# --- The output never grants more than the source: its permission bits,
# through encipherment and back.
head -c 5000 /dev/urandom > secret
for mode in 600 640 644 400; do
  chmod "$mode" secret
  (umask 022 && "$cli" encipher -f --password-file pw secret && "$cli" decipher -f --password-file pw en_secret) 2> err
  got_en=$(stat -c %a en_secret) got_de=$(stat -c %a de_en_secret)
  [ "$got_en" = "$mode" ] && [ "$got_de" = "$mode" ] && cmp -s secret de_en_secret &&
    pass "mode $mode source: en_ and de_ outputs mode $got_en and $got_de" ||
    fail "mode $mode source: en_ $got_en, de_ $got_de, stderr: $(cat err)"
  rm -f en_secret de_en_secret err
done
rm -f secret

# --- Streams: "-" reads standard input to its end and writes standard output,
# giving exactly the bytes a file of the same data gives, however the writer
# feeds the pipe; a reader that goes away early ends the run with 141.
for size in 0 1 262143 262144 262145 524288 786433 1000003; do
  head -c "$size" /dev/urandom > s-plain
  "$cli" encipher -q --password-file pw s-plain
  cat s-plain | "$cli" encipher --password-file pw - > s-en 2> err; rc=$?
  cat s-en | "$cli" decipher --password-file pw - 2>> err | cmp -s - s-plain; back=$?
  [ "$rc" -eq 0 ] && cmp -s s-en en_s-plain && [ "$back" -eq 0 ] && [ ! -s err ] &&
    pass "stream of $size bytes: the file's bytes, and back" ||
    fail "stream of $size bytes: exit $rc, stderr: $(cat err)"
  rm -f s-plain en_s-plain s-en err
done
# A slow writer: the blocks still fall every 256 KiB, not where the pipe had data.
head -c 700001 /dev/urandom > s-plain
"$cli" encipher -q --password-file pw s-plain
{ for at in 0 100000 300000 500000; do
    dd if=s-plain bs=100000 skip=$((at / 100000)) count=$(( at == 500000 ? 3 : (at == 0 ? 1 : 2) )) status=none
    sleep 0.3
  done; } | "$cli" encipher --password-file pw - > s-en 2> err; rc=$?
[ "$rc" -eq 0 ] && cmp -s s-en en_s-plain && pass "stream from a slow writer: the same bytes as from the file" ||
  fail "stream from a slow writer: exit $rc, stderr: $(cat err), $(cmp s-en en_s-plain 2>&1)"
head -c 50000000 /dev/zero | "$cli" encipher --password-file pw - 2> err | head -c 10 > /dev/null
rc=${PIPESTATUS[1]}
[ "$rc" -eq 141 ] && [ "$(wc -l < err)" -eq 1 ] && grep -q 'standard output was closed' err &&
  pass "a reader that closes early: exit 141 and one line" ||
  fail "a reader that closes early: exit $rc, stderr: $(cat err)"
rm -f s-plain en_s-plain s-en err

# --- Permissions, as an unprivileged user.
head -c 300000 /dev/urandom > plain
if setpriv --reuid=nobody --regid=nogroup --clear-groups true 2>/dev/null; then
  as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
  cp plain secret && chmod 600 secret
  mkdir -p mine && chmod 777 mine
  as_nobody "$cli" encipher --password-file pw -o mine secret plain 2> err; rc=$?
  [ "$rc" -eq 1 ] && grep -q 'secret: cannot open: permission denied' err && [ "$(ls -A mine)" = "en_plain" ] &&
    pass "unreadable source: named with its cause, the other file done, exit 1" ||
    fail "unreadable source: exit $rc, stderr: $(cat err), mine: $(ls -A mine | tr '\n' ' ')"
  mkdir -p locked && chmod 755 locked
  as_nobody "$cli" encipher --password-file pw -o locked plain 2> err; rc=$?
  [ "$rc" -eq 1 ] && grep -q 'plain: cannot create locked/en_plain: permission denied' err && [ -z "$(ls -A locked)" ] &&
    pass "output folder not writable: named with its cause, exit 1, nothing created" ||
    fail "output folder not writable: exit $rc, stderr: $(cat err), locked: $(ls -A locked | tr '\n' ' ')"
  rm -rf mine locked secret err
else
  skip "permissions: cannot run as nobody here (setpriv failed)"
fi

# --- A full file system: the write fails mid-file and nothing is left on it.
head -c 3000000 /dev/urandom > large
mkdir -p small
if unshare -m true 2>/dev/null && unshare -m sh -c 'mount -t tmpfs -o size=1m tmpfs small' 2>/dev/null; then
  unshare -m sh -c 'mount -t tmpfs -o size=1m tmpfs small && "$0" encipher --password-file pw -o small large plain 2> err; echo $? > rc; ls -A small > left' "$cli"
  rc=$(cat rc)
  [ "$rc" -eq 1 ] && grep -q 'large: cannot write small/en_large: no space left on the disk; no output written' err \
     && [ "$(cat left)" = "en_plain" ] &&
    pass "full file system: named with its cause, no partial output, the small file still done" ||
    fail "full file system: exit $rc, stderr: $(cat err), left: $(cat left | tr '\n' ' ')"
  rm -f rc err left
else
  skip "full file system: cannot mount a tmpfs here"
fi

# --- A file larger than the process may write (ulimit -f, in 1 KiB units):
# refused before anything is written, the small file still done; a stream
# that meets the limit while written is reported, not killed by SIGXFSZ.
head -c 50000 /dev/urandom > little
( ulimit -f 100; exec "$cli" encipher -q --password-file pw large little ) 2> err; rc=$?
[ "$rc" -eq 1 ] && grep -qx 'quorvel-cli: large: cannot create en_large: too large for this file system' err \
   && [ -z "$(others pw plain large small little en_little err)" ] &&
  pass "larger than ulimit -f: refused up front with its reason, exit 1, nothing left, the small file done" ||
  fail "larger than ulimit -f: exit $rc, stderr: $(cat err), folder: $(ls -A | tr '\n' ' ')"
( ulimit -f 100; exec "$cli" encipher -q --password-file pw - < large > stream.out ) 2> err; rc=$?
[ "$rc" -eq 1 ] && grep -q 'cannot write standard output: too large for this file system' err &&
  pass "a stream past ulimit -f: reported with its reason, exit 1" ||
  fail "a stream past ulimit -f: exit $rc, stderr: $(cat err)"
rm -f little en_little stream.out err
rm -rf small large

# --- A terminal: progress on it, none with -q; the password asked twice without echo.
if script -qec true /dev/null >/dev/null 2>&1; then
  script -qec "'$cli' encipher --password-file pw plain" /dev/null > tty.txt 2>&1; rc=$?
  [ "$rc" -eq 0 ] && grep -q 'plain  100%  292.969KB' tty.txt && pass "progress line on a terminal" ||
    fail "progress on a terminal: exit $rc, output: $(cat -v tty.txt)"
  rm -f en_plain
  # Several files: each closing line counts the files on the disk so far.
  head -c 1000 /dev/urandom > one && head -c 2000 /dev/urandom > two
  script -qec "'$cli' encipher --password-file pw one two" /dev/null > tty.txt 2>&1; rc=$?
  [ "$rc" -eq 0 ] && grep -q '1/2  one  100%' tty.txt && grep -q '2/2  two  100%' tty.txt \
     && screen_lines | grep -v -e '^$' -e '^Script ' | tail -1 | grep -qE '^2 files done in [0-9]+\.[0-9] s, the wait for the disk included$' &&
    pass "progress of several files counts the files on the disk, and the run's time closes it" ||
    fail "progress of several files: exit $rc, output: $(cat -v tty.txt)"
  rm -f one two en_one en_two
  script -qec "'$cli' encipher -q --password-file pw plain" /dev/null > tty.txt 2>&1; rc=$?
  [ "$rc" -eq 0 ] && [ ! -s tty.txt ] && [ -f en_plain ] && pass "-q: nothing on the terminal" ||
    fail "-q on a terminal: exit $rc, output: $(cat -v tty.txt)"
  mv en_plain expected
  # Echo is off at each prompt, so the password never shows.
  on_terminal 30 "'$cli' encipher -q plain" 'Password:' 'secret7\n' 'Repeat the password:' 'secret7\n'
  [ "$rc" -eq 0 ] && cmp -s en_plain expected && grep -q 'Password:' tty.txt && grep -q 'Repeat the password:' tty.txt \
     && ! grep -q secret7 tty.txt && pass "password asked twice on the terminal without echo" ||
    fail "password prompt: exit $rc, output: $(cat -v tty.txt)"
  rm -f en_plain
  # The echo not turned back on is told once, after both prompts.
  asan=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0  # the preload comes before a sanitizer's library
  on_terminal 30 "env LD_PRELOAD='$echo_refused' ASAN_OPTIONS='$asan' '$cli' encipher -q plain" \
    'Password:' 'secret7\n' 'Repeat the password:' 'secret7\n'
  [ "$rc" -eq 0 ] && cmp -s en_plain expected && [ "$(grep -c 'echo could not be turned back on' tty.txt)" -eq 1 ] &&
    pass "an echo the terminal would not turn back on: said once" ||
    fail "echo not restored: exit $rc, output: $(cat -v tty.txt)"
  rm -f en_plain
  on_terminal 30 "'$cli' encipher -q plain" 'Password:' 'secret7\n' 'Repeat the password:' 'secret8\n'
  # script passes the exit code on with -e.
  [ "$rc" -eq 2 ] && grep -q 'passwords differ' tty.txt && [ ! -e en_plain ] &&
    pass "differing passwords refused, exit 2" ||
    fail "differing passwords: exit $rc, output: $(cat -v tty.txt)"
  # A password too short is said at once, before the repetition, and asked
  # again; the third one too short ends the run with 2.
  on_terminal 30 "'$cli' encipher -q plain" 'Password:' 'abc\n' '2 tries left' 'secret7\n' \
    'Repeat the password:' 'secret7\n'
  [ "$rc" -eq 0 ] && cmp -s en_plain expected && [ "$(grep -c 'Repeat the password:' tty.txt)" -eq 1 ] \
     && sed '/Repeat the password:/,$d' tty.txt | grep -q 'needs at least 6 characters; try again (2 tries left)' &&
    pass "a short password is asked again before the repetition" ||
    fail "short password, then a good one: exit $rc, output: $(cat -v tty.txt)"
  rm -f en_plain
  on_terminal 30 "'$cli' decipher -q plain" 'Password:' 'abc\n' '2 tries left' 'abcd\n' '1 try left' 'abcde\n'
  [ "$rc" -eq 2 ] && grep -q 'needs at least 6 characters; nothing was done' tty.txt && [ ! -e de_plain ] \
     && ! grep -q 'Repeat' tty.txt && pass "three short passwords: given up, exit 2" ||
    fail "three short passwords: exit $rc, output: $(cat -v tty.txt)"
  # --password-stdin from the terminal itself: asked for, not shown.
  on_terminal 30 "'$cli' encipher -q --password-stdin plain" 'Password:' 'secret7\n'
  [ "$rc" -eq 0 ] && cmp -s en_plain expected && grep -q 'Password:' tty.txt && ! grep -q secret7 tty.txt &&
    pass "--password-stdin on a terminal: no echo" ||
    fail "--password-stdin on a terminal: exit $rc, output: $(cat -v tty.txt)"
  rm -f en_plain
  # Ctrl-D (the terminal's end of input) at either prompt abandons the run.
  for how in "--password-stdin" ""; do
    on_terminal 30 "'$cli' encipher -q $how plain" 'Password:' '\004'
    [ "$rc" -eq 2 ] && grep -q 'no password given' tty.txt && [ ! -e en_plain ] &&
      pass "Ctrl-D at the prompt ${how:-(typed)}: abandoned, exit 2" ||
      fail "Ctrl-D at the prompt ${how:-(typed)}: exit $rc, output: $(cat -v tty.txt)"
  done
  # Ctrl-C typed on the progress line: the terminal's "^C" does not stay
  # beside the message that takes the line's place.
  truncate -s 8G big
  on_terminal 60 "'$cli' encipher --password-file pw big" ' left' '\003'
  last=$(screen_lines | grep -v -e '^$' -e '^Script ' | tail -1)
  [ "$rc" -eq 130 ] && [ "$last" = "quorvel-cli: big: interrupted; en_big not written" ] && [ ! -e en_big ] &&
    pass "Ctrl-C on the progress line: a clean line says what was stopped" ||
    fail "Ctrl-C on the progress line: exit $rc, last line \"$last\", output: $(cat -v tty.txt)"
  rm -f tty.txt expected big
else
  skip "terminal: script(1) cannot make a pseudo-terminal here"
fi

finish
