# What both power-cut tests' cases are made of (sourced). The test sets
# $scratch, $checker, $prefix (the first word of each label) and
# $case_folders (the case's folders, the first one where its files are made).
#   case_begin "LABEL"                      a fresh folder, the current one; the password in pw
#   expect OUTPUT SOURCE encipher|decipher  OUTPUT must end as SOURCE's output
#   removes_sources                         the run removes each SOURCE (--rm)
#   source_file NAME [SIZE]                 SIZE random bytes (three blocks, the last one short)
number=0

case_begin() {
  label="$prefix $1" outputs=() rm=
  number=$((number + 1))
  case=$scratch/$number
  local folder
  for folder in "${case_folders[@]}" expected; do
    mkdir -p "$case/$folder"
  done
  cd "$case/${case_folders[0]}" || exit 1
  printf '%s\n' "${password:-secret7}" >pw
}

expect() {
  local expected=$case/expected/${#outputs[@]}
  "$checker" reference "$3" pw "$2" "$expected" || exit 1
  outputs+=("$1" "$2" "$expected")
}

removes_sources() { rm=--rm; }

source_file() { head -c "${2:-600000}" /dev/urandom >"$1"; }
