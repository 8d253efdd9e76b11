#!/usr/bin/env bash
# The bash completion as bash runs it: the commands, then exactly the options
# that each --help shows (so the two stay in step), folders for --output-dir,
# files and folders for --password-file, and only files after "--".
#
#   completion-test.sh QUORVEL_CLI COMPLETION_FILE
set -uo pipefail
cli=$(realpath "$1")
. "$2"
. "${BASH_SOURCE%/*}/../checks.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Checks what is offered for the last of the words (sorted, between bars).
expect() {
  local what=$1 expected=$2 got
  shift 2
  COMP_WORDS=(quorvel-cli "$@") COMP_CWORD=$# COMPREPLY=()
  _quorvel_cli
  got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd '|')
  [ "$got" = "$expected" ] && pass "$what: $got" || fail "$what: '$got', not '$expected'"
}
# The options a help text shows, read as the man page test reads them.
help_options() { "$cli" "$@" --help | grep -oE -- '(^|[ ,(])--?[a-z][a-z-]*' | tr -d ' ,(' | LC_ALL=C sort -u | paste -sd '|'; }

expect "the commands" "decipher|encipher" ""
expect "before a command" "$(help_options)" -
for command in encipher decipher; do
  expect "$command's options" "$(help_options "$command")" "$command" -
done
cd "$scratch"
mkdir 'out folder' && touch 'a file' -- -dashed
expect "--output-dir" "out folder" encipher --output-dir ''
expect "--output-dir=" "out folder" encipher --output-dir = ''
expect "--password-file" "-dashed|a file|out folder" encipher --password-file ''
expect "after --" "-dashed" decipher -- -

finish
