#!/usr/bin/env bash
# A completion as its shell runs it (bash, zsh or fish): the commands, then
# exactly the options that each --help shows (so the two stay in step),
# folders for --output-dir, files and folders for --password-file, and only
# files after "--". zsh is driven through a pseudo-terminal (zpty), since it
# completes only in its line editor; fish answers "complete -C" directly.
#
#   completion-test.sh QUORVEL_CLI bash|zsh|fish COMPLETION_FILE
set -uo pipefail
cli=$(realpath "$1") shell=$2 script=$(realpath "$3")
. "${BASH_SOURCE%/*}/../checks.sh"
command -v "$shell" >/dev/null || { skip "$shell is not installed (scripts/bootstrap installs it)"; exit 0; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# What the shell offers for the last word of LINE, one a line.
offered_bash() {
  (
    . "$script"
    local line=${1//=/ = }
    read -ra COMP_WORDS <<<"quorvel-cli $line"
    [[ $line == *' ' || -z $line ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMPREPLY=()
    _quorvel_cli
    printf '%s\n' "${COMPREPLY[@]}"
  )
}
offered_fish() {
  fish --no-config -c 'source $argv[1]; complete -C "quorvel-cli $argv[2]"' "$script" "$1" | cut -f1
}
# compadd is wrapped to note what each completion pass adds; the function
# run after the last pass marks the end.
offered_zsh() {
  local out=$scratch/zsh.out
  rm -f "$out"
  mkdir -p "$scratch/fpath" && cp "$script" "$scratch/fpath/_quorvel-cli"
  zsh -f -c '
    zmodload zsh/zpty
    zpty shell zsh -f -i
    zpty -w shell "PS1=; fpath=(${(q)1} \$fpath); autoload -U compinit; compinit -u -D"
    zpty -w shell "compadd() { local -a h; builtin compadd -A h \"\$@\"; print -rl -- \${(Q)h} >>${(q)2}; builtin compadd \"\$@\"; }"
    zpty -w shell "comppostfuncs=(done_); done_() { print -r -- \"<done>\" >>${(q)2} }; bindkey \"^I\" complete-word"
    zpty -w -n shell "quorvel-cli $3"$'"'"'\t'"'"'
    for i in {1..200}; do grep -qs "^<done>$" $2 && break; sleep 0.05; done
    zpty -d shell' zsh "$scratch/fpath" "$out" "$1"
  grep -qs '^<done>$' "$out" || echo '(zsh gave no answer)'
  grep -v '^<done>$' "$out"
}

# Checks what is offered for LINE's last word: sorted, once each, between
# bars, without the "=" part of the word or the "/" after a folder.
expect() {
  local what=$1 expected=$2 line=$3 got cut=
  [[ ${line##* } == *=* ]] && cut=${line##* }
  got=$("offered_$shell" "$line" | sed -e "s|^${cut}||" -e 's|/$||' | grep -v '^$' | LC_ALL=C sort -u | paste -sd '|')
  [ "$got" = "$expected" ] && pass "$shell, $what: $got" || fail "$shell, $what: '$got', not '$expected'"
}
# The options a help text shows, read as the man page test reads them.
help_options() { "$cli" "$@" --help | grep -oE -- '(^|[ ,(])--?[a-z][a-z-]*' | tr -d ' ,(' | LC_ALL=C sort -u | paste -sd '|'; }

# Options first, in an empty folder: zsh and fish offer files that start with
# "-" beside them.
mkdir "$scratch/empty" "$scratch/files" && cd "$scratch/empty"
expect "the commands" "decipher|encipher" ""
expect "before a command" "$(help_options)" -
for command in encipher decipher; do
  expect "$command's options" "$(help_options "$command")" "$command -"
done
cd "$scratch/files"
mkdir 'out folder' && touch 'a file' -- -dashed
expect "--output-dir" "out folder" "encipher --output-dir "
expect "--output-dir=" "out folder" "encipher --output-dir="
expect "--password-file" "-dashed|a file|out folder" "encipher --password-file "
expect "after --" "-dashed" "decipher -- -"

finish
