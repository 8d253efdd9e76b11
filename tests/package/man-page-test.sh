#!/usr/bin/env bash
# The man page as man shows it: rendered without a warning from man or groff,
# within 80 columns, and in step with the program: every option that a --help
# of quorvel-cli shows, and every exit status it names, is in the page. Each
# translated page renders the same way and is in step with the English one:
# as many sections, and every option the English page names.
#
#   man-page-test.sh QUORVEL_CLI MAN_PAGE [TRANSLATED_PAGE...]
set -uo pipefail
cli=$1 page=$2
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

. "${BASH_SOURCE%/*}/../checks.sh"

export LC_ALL=C.UTF-8 MANWIDTH=80 MAN_KEEP_FORMATTING=
man --warnings -E UTF-8 -l "$page" 2>"$scratch/warnings" | col -bx >"$scratch/page"
status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] && [ ! -s "$scratch/warnings" ] && grep -q '^EXIT STATUS' "$scratch/page" &&
  pass "man --warnings renders it without a warning" ||
  fail "man --warnings: status $status, warnings: $(cat "$scratch/warnings")"

width=$(wc -L <"$scratch/page")
[ "$width" -le 80 ] && pass "every line fits 80 columns" ||
  fail "a line is $width columns wide: $(awk -v w="$width" 'length($0) >= w - 2' "$scratch/page")"

# What the program's help names, the page must name too.
{ "$cli" --help; "$cli" encipher --help; "$cli" decipher --help; } >"$scratch/help" 2>&1
options=$(grep -oE -- '(^|[ ,(])--?[a-z][a-z-]*' "$scratch/help" | tr -d ' ,(' | sort -u)
n=$(wc -w <<<"$options")
missing=()
for option in $options; do
  grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" "$scratch/page" || missing+=("$option")
done
[ "$n" -ge 10 ] && [ ${#missing[@]} -eq 0 ] && pass "all $n options of --help are in the page" ||
  fail "options of --help not in the page (of $n): ${missing[*]}"

# DESCRIPTION is what the program does for a user; how outputs reach the
# disk has a section of its own.
description=$(sed -n '/^DESCRIPTION/,/^[A-Z]/p' "$scratch/page")
internals=$(grep -oE 'syncfs|256 files|64 MiB|flush' <<<"$description" | sort -u | paste -sd ' ')
[ -n "$description" ] && [ -z "$internals" ] && grep -q '^DURABILITY' "$scratch/page" &&
  pass "DESCRIPTION tells what it does; DURABILITY how outputs reach the disk" ||
  fail "DESCRIPTION holds internals (${internals:-none}) or there is no DURABILITY section"

# Where --help sends a reader, there is something to read.
readme=${BASH_SOURCE%/*}/../../README.md
heading=$(grep -oE 'see "[^"]+" in the README' "$scratch/help" | head -1 | sed -E 's/see "(.*)" in the README/\1/')
section=$(grep -oE 'or [A-Z]+ in man quorvel-cli' "$scratch/help" | head -1 | cut -d' ' -f2)
[ -n "$heading" ] && grep -qxF "## $heading" "$readme" && [ -n "$section" ] && grep -qx "$section" "$scratch/page" &&
  pass "--help's pointers lead somewhere: \"$heading\" in the README, $section in the page" ||
  fail "--help points to \"${heading:-(nothing)}\" in the README and ${section:-(nothing)} in the page; one is missing"

statuses=$(sed -n '/^Exit status/,/^$/p' "$scratch/help" | grep -oE '\b(0|1|2|1[0-9]{2})\b' | sort -un)
section=$(sed -n '/^EXIT STATUS/,/^[A-Z]/p' "$scratch/page")
missing=()
for s in $statuses; do
  grep -qw "$s" <<<"$section" || missing+=("$s")
done
[ -n "$statuses" ] && [ ${#missing[@]} -eq 0 ] &&
  pass "every exit status of --help is in EXIT STATUS: $(echo $statuses)" ||
  fail "exit statuses of --help not in the page's EXIT STATUS: ${missing[*]:-(none found in --help)}"

# The section headings of a rendered page: unindented lines between the
# header and the footer.
headings() { sed '1d;$d' "$1" | grep -E '^[^[:space:]]'; }
english_options=$(grep -oE -- '(^|[^a-z-])--?[a-z][a-z-]*' "$scratch/page" | grep -oE -- '--?[a-z][a-z-]*' | sort -u)
for translated in "$@"; do
  language=$(basename "$(dirname "$translated")")
  man --warnings -E UTF-8 -l "$translated" 2>"$scratch/warnings.$language" | col -bx >"$scratch/page.$language"
  status=${PIPESTATUS[0]}
  width=$(wc -L <"$scratch/page.$language")
  [ "$status" -eq 0 ] && [ ! -s "$scratch/warnings.$language" ] && [ "$width" -le 80 ] &&
    pass "$language: man --warnings renders it without a warning, within 80 columns" ||
    fail "$language: man --warnings: status $status, $width columns, warnings: $(cat "$scratch/warnings.$language")"

  sections=$(headings "$scratch/page" | wc -l) translated_sections=$(headings "$scratch/page.$language" | wc -l)
  missing=()
  for option in $english_options; do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" "$scratch/page.$language" || missing+=("$option")
  done
  # The footer: the version and date, as in English.
  footer=$(tail -n 1 "$scratch/page") translated_footer=$(tail -n 1 "$scratch/page.$language")
  [ "$sections" -ge 10 ] && [ "$translated_sections" -eq "$sections" ] && [ ${#missing[@]} -eq 0 ] &&
    [ "$translated_footer" = "$footer" ] &&
    pass "$language: $sections sections as in English, all $(wc -w <<<"$english_options") options the English page names, its footer" ||
    fail "$language: $translated_sections sections to English's $sections; options not in it: ${missing[*]:-(none)}; footer '$translated_footer' to '$footer'"
done

finish
