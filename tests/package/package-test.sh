#!/usr/bin/env bash
# What make install and make deb give people, checked as they would meet it:
#   - cmake --install with a prefix and DESTDIR puts bin/quorvel-cli, its
#     Chinese catalogue, man page and its Chinese translation and bash, zsh
#     and fish completions there, and nothing else, the program finds its
#     catalogue there, and man -L zh_CN finds the Chinese page;
#   - the Debian package holds what it should, depends on the packages of the
#     libraries the program loads, and lintian finds no error or warning in it;
#   - dpkg installs it into a scratch root (a copy of this system's package
#     list, so its dependencies are checked against what is installed here),
#     quorvel-cli --version runs from there, and dpkg's removal leaves nothing.
# The host's own dpkg database and file system are never touched.
#
#   package-test.sh BUILD_DIR
set -uo pipefail
build=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

. "${BASH_SOURCE%/*}/../checks.sh"
# Every file and folder below $1, as paths relative to it.
tree() { (cd "$1" && find . -mindepth 1 | LC_ALL=C sort); }

version=$("$build/bin/quorvel-cli" --version) || { echo "FAIL: quorvel-cli --version failed"; exit 1; }
version=${version#quorvel-cli }

# --- make install: cmake --install, as the Makefile calls it.
if DESTDIR="$scratch/dest" cmake --install "$build" --component cli --prefix /opt/q >"$scratch/install.log" 2>&1; then
  expected=$(printf '%s\n' ./opt ./opt/q ./opt/q/bin ./opt/q/bin/quorvel-cli ./opt/q/share \
    ./opt/q/share/bash-completion ./opt/q/share/bash-completion/completions \
    ./opt/q/share/bash-completion/completions/quorvel-cli \
    ./opt/q/share/fish ./opt/q/share/fish/vendor_completions.d ./opt/q/share/fish/vendor_completions.d/quorvel-cli.fish \
    ./opt/q/share/locale ./opt/q/share/locale/zh_CN ./opt/q/share/locale/zh_CN/LC_MESSAGES \
    ./opt/q/share/locale/zh_CN/LC_MESSAGES/quorvel-cli.mo \
    ./opt/q/share/man ./opt/q/share/man/man1 ./opt/q/share/man/man1/quorvel-cli.1.gz \
    ./opt/q/share/man/zh_CN ./opt/q/share/man/zh_CN/man1 ./opt/q/share/man/zh_CN/man1/quorvel-cli.1.gz \
    ./opt/q/share/zsh ./opt/q/share/zsh/site-functions ./opt/q/share/zsh/site-functions/_quorvel-cli)
  got=$(tree "$scratch/dest")
  [ "$got" = "$expected" ] && [ "$("$scratch/dest/opt/q/bin/quorvel-cli" --version)" = "quorvel-cli $version" ] \
     && [ "$(LANGUAGE=zh_CN LANG=C.UTF-8 "$scratch/dest/opt/q/bin/quorvel-cli" encipher 2>&1 | head -n 1)" = \
          "quorvel-cli: 没有给出 FILE：请写出文件名，或用 - 表示标准输入" ] \
     && [ -z "$(MANWIDTH=80 man --warnings -l "$scratch/dest/opt/q/share/man/man1/quorvel-cli.1.gz" 2>&1 >/dev/null)" ] &&
    pass "cmake --install (prefix /opt/q, DESTDIR): the program, its Chinese catalogue, which it finds there, its man pages and completions, nothing else" ||
    fail "cmake --install put: $(echo $got)"
  # As a reader finds it: by name, in Chinese, with no zh_CN locale needed.
  MANPATH=$scratch/dest/opt/q/share/man LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -L zh_CN quorvel-cli \
    2>"$scratch/man.zh" | col -bx >"$scratch/page.zh"
  [ ! -s "$scratch/man.zh" ] && grep -qx '名称' "$scratch/page.zh" && grep -q -- '--password-file' "$scratch/page.zh" &&
    pass "man -L zh_CN quorvel-cli shows the installed Chinese page, without a warning" ||
    fail "man -L zh_CN quorvel-cli: $(cat "$scratch/man.zh") $(head -n 4 "$scratch/page.zh")"
else
  fail "cmake --install failed: $(tail -n 3 "$scratch/install.log")"
fi

# --- The package.
if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/cpack" -D CPACK_OUTPUT_FILE_PREFIX="$scratch" \
    >"$scratch/cpack.log" 2>&1; then
  tail -n 20 "$scratch/cpack.log"
  echo "FAIL: cpack could not make the package; 1 failure(s)"
  exit 1
fi
deb=$scratch/quorvel-cli_${version}_amd64.deb
if [ ! -f "$deb" ]; then
  echo "FAIL: cpack made $(cd "$scratch" && ls -- *.deb 2>/dev/null | tr '\n' ' ')but not $(basename "$deb"); 1 failure(s)"
  exit 1
fi
pass "cpack made $(basename "$deb")"

contents=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | LC_ALL=C sort | paste -sd ' ')
expected='./usr/bin/quorvel-cli ./usr/share/bash-completion/completions/quorvel-cli'
expected+=' ./usr/share/doc/quorvel-cli/changelog.gz ./usr/share/doc/quorvel-cli/copyright'
expected+=' ./usr/share/fish/vendor_completions.d/quorvel-cli.fish ./usr/share/locale/zh_CN/LC_MESSAGES/quorvel-cli.mo'
expected+=' ./usr/share/man/man1/quorvel-cli.1.gz ./usr/share/man/zh_CN/man1/quorvel-cli.1.gz'
expected+=' ./usr/share/zsh/vendor-completions/_quorvel-cli'
[ "$contents" = "$expected" ] && pass "it holds the program, its Chinese catalogue, English and Chinese man pages and completions, copyright and changelog" ||
  fail "its files: $contents"

# Each library the program loads must come from a package it depends on.
depends=$(dpkg-deb --field "$deb" Depends)
mkdir -p "$scratch/x" && dpkg-deb -x "$deb" "$scratch/x"
missing=()
for lib in $(objdump -p "$scratch/x/usr/bin/quorvel-cli" | awk '$1 == "NEEDED" { print $2 }'); do
  path=$(ldd "$build/bin/quorvel-cli" | awk -v lib="$lib" '$1 == lib { print $3 }')
  owner=$(dpkg -S "$(realpath "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null)
  owner=${owner%%:*}
  [[ ", $depends" == *", $owner "* || ", $depends," == *", $owner,"* ]] || missing+=("$lib ($owner)")
done
[ -n "$depends" ] && [ ${#missing[@]} -eq 0 ] && pass "Depends: $depends" ||
  fail "Depends: '$depends' leaves out the packages of ${missing[*]}"

if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" >"$scratch/lintian" 2>&1 && pass "lintian: no error or warning" ||
    fail "lintian: $(grep -E '^[EW]:' "$scratch/lintian" | paste -sd ';' || cat "$scratch/lintian")"
else
  skip "lintian is not installed (scripts/bootstrap installs it)"
fi

# --- Install and remove it with dpkg, in a root of its own.
if [ "$(id -u)" -ne 0 ]; then
  skip "dpkg install and removal: dpkg needs root to install files as root's"
else
  root=$scratch/root admin=$scratch/root/var/lib/dpkg
  mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
  cp /var/lib/dpkg/status "$admin/status"
  touch "$admin/available"
  # dpkg's own records aside, the root is compared before and after.
  files() { tree "$root" | grep -v '^\./var/lib/dpkg/'; }
  before=$(files)
  dpkg=(dpkg --root="$root" --log="$scratch/dpkg.log")
  if "${dpkg[@]}" -i "$deb" >"$scratch/dpkg.out" 2>&1; then
    state=$("${dpkg[@]}" -s quorvel-cli 2>/dev/null | sed -n 's/^Status: //p')
    said=$("$root/usr/bin/quorvel-cli" --version 2>&1)
    [ "$state" = "install ok installed" ] && [ "$said" = "quorvel-cli $version" ] &&
      pass "dpkg -i: installed; $root/usr/bin/quorvel-cli --version says '$said'" ||
      fail "after dpkg -i: status '$state', --version said '$said'"
    if "${dpkg[@]}" --purge quorvel-cli >>"$scratch/dpkg.out" 2>&1; then
      left=$(diff <(echo "$before") <(files) | sed -n 's/^> //p')
      state=$("${dpkg[@]}" -s quorvel-cli 2>&1 | sed -n 's/^Status: //p')
      [ -z "$left" ] && [ -z "$state" ] && pass "dpkg --purge: nothing of it left" ||
        fail "after dpkg --purge: status '$state', left: $(echo $left)"
    else
      fail "dpkg --purge failed: $(tail -n 5 "$scratch/dpkg.out")"
    fi
  else
    fail "dpkg -i failed: $(tail -n 5 "$scratch/dpkg.out")"
  fi
fi

finish
