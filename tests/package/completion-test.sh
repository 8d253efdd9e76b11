#!/usr/bin/env bash
# The bash completion as bash runs it, word by word: the commands first, then
# exactly the options that the command's --help shows (so the two stay in
# step), a folder for --output-dir, a file or folder for --password-file,
# files for every other word and for each word after "--".
#
#   completion-test.sh QUORVEL_CLI COMPLETION_FILE
set -uo pipefail
cli=$(realpath "$1")
. "$2"
failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# What the completion offers for the last of the words, sorted, between bars.
offered() {
  COMP_WORDS=(quorvel-cli "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _quorvel_cli
  [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd '|'
}
expect() {
  local what=$1 expected=$2 got
  shift 2
  got=$(offered "$@")
  if [ "$got" = "$expected" ]; then pass "$what: $got"; else fail "$what: offered '$got', not '$expected'"; fi
}
# The options a help text shows, as the man page test reads them.
help_options() { "$cli" "$@" --help | grep -oE -- '(^|[ ,(])--?[a-z][a-z-]*' | tr -d ' ,(' | LC_ALL=C sort -u | paste -sd '|'; }

expect "the commands" "decipher|encipher" ""
expect "before a command, --help's options" "$(help_options)" -
for command in encipher decipher; do
  expect "$command's options are those of its --help" "$(help_options "$command")" "$command" -
done

cd "$scratch"
mkdir -p 'out folder/inner'
touch 'a file.bin' pw -- -dashed
expect "--output-dir: folders" "out folder" encipher --output-dir ''
expect "-o in a folder: its folders" "out folder/inner" decipher -o 'out folder/'
expect "--output-dir=: folders" "out folder" encipher --output-dir = ''
expect "--password-file: files and folders" "-dashed|a file.bin|out folder|pw" encipher --password-file ''
expect "a FILE" "a file.bin" encipher -f a
expect "after --, files even for a dash" "-dashed" decipher -- -

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
