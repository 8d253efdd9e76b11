#!/usr/bin/env bash
# quorvel-cli in the user's language, through the real program and the
# catalogue the build made (share/locale beside its bin folder, or built into
# the .exe): each case once in English under LANG=C, byte for byte as before,
# and once in Chinese, chosen with LANGUAGE over C.UTF-8, the one locale every
# Debian has. Then what gettext programs do: C ignores LANGUAGE, and English
# stays English. With an EMULATOR, the .exe under Wine: there the English runs
# are under C.UTF-8 with Wine's interface language English, since Wine under
# LANG=C would mangle the Chinese file names on their way in.
#
#   cli_language_test.sh QUORVEL_CLI [EMULATOR...]
set -uo pipefail
cli=$(realpath "$1")
shift
. "${BASH_SOURCE%/*}/../checks.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
printf 'secret7\n' >pw
printf 'short\n' >short-pw
printf 'data' >测试.bin
printf 'old' >en_测试.bin

# Runs the program in the language asked for; prints its standard error, or
# its standard output when it wrote nothing there.
emulator=("$@")
run() { "${emulator[@]}" "$cli" "$@" 2>&1 | tr -d '\r'; }
english_lang=C
[ ${#emulator[@]} -gt 0 ] && english_lang=C.UTF-8
english() { LANGUAGE= LC_ALL= LC_MESSAGES= LANG=$english_lang run "$@"; }
chinese() { LANGUAGE=zh_CN LC_ALL= LC_MESSAGES= LANG=C.UTF-8 run "$@"; }
[ ${#emulator[@]} -gt 0 ] && run --version >/dev/null  # makes the prefix, whose messages are Wine's

# case | arguments (one a line in the row, split at " ") | English | Chinese
while IFS='|' read -r what args en zh; do
  read -ra words <<<"$args"
  got_en=$(english "${words[@]}" | head -n 1) got_zh=$(chinese "${words[@]}" | head -n 1)
  [ "$got_en" = "$en" ] && pass "$what, English: $got_en" || fail "$what, English: '$got_en', not '$en'"
  [ "$got_zh" = "$zh" ] && pass "$what, Chinese: $got_zh" || fail "$what, Chinese: '$got_zh', not '$zh'"
done <<'TABLE'
an existing output|encipher -q --password-file pw 测试.bin|quorvel-cli: 测试.bin: en_测试.bin already exists; not replaced (-f replaces it)|quorvel-cli: 测试.bin：en_测试.bin 已存在；未替换（-f 可替换它）
a short password|encipher -q --password-file short-pw 测试.bin|quorvel-cli: the password needs at least 6 characters; nothing was done|quorvel-cli: 密码至少需要 6 个字符；未做任何处理
an -o that names a file|encipher -q --password-file pw -o pw 测试.bin|quorvel-cli: the output folder pw is a file, not a folder|quorvel-cli: 输出文件夹 pw 是一个文件，不是文件夹
a missing file|encipher -q --password-file pw 没有.bin|quorvel-cli: 没有.bin: cannot open: no such file or folder|quorvel-cli: 没有.bin：无法打开：文件或文件夹不存在
a usage error|encipher --frobnicate 测试.bin|quorvel-cli: unknown option '--frobnicate' (a file of that name: quorvel-cli encipher -- --frobnicate, or ./--frobnicate)|quorvel-cli: 未知选项 '--frobnicate'（如果是这个名字的文件：quorvel-cli encipher -- --frobnicate，或 ./--frobnicate）
--help|--help|quorvel-cli enciphers and deciphers files with a password, byte for byte as the|quorvel-cli 用密码加密和解密文件，与 Quorvel 对话框的结果逐字节相同。
a command's --help|decipher --help|Deciphers each FILE into de_FILE beside it, byte for byte as the Quorvel|解密每个 FILE，输出为同一文件夹中的 de_FILE，与 Quorvel 对话框的结果逐字节相同。
TABLE

# The Windows program under Wine with a Chinese LANG, which Wine passes on.
if [ ${#emulator[@]} -gt 0 ]; then
  got=$(LANGUAGE= LC_ALL= LC_MESSAGES= LANG=zh_CN.UTF-8 run encipher | head -n 1)
  [ "$got" = "quorvel-cli: 没有给出 FILE：请写出文件名，或用 - 表示标准输入" ] &&
    pass "LANG=zh_CN.UTF-8: $got" || fail "LANG=zh_CN.UTF-8: '$got'"
fi

# The usage error's second line, and the help's option lines, come through too.
[ "$(chinese encipher --frobnicate x | sed -n 2p)" = "运行“quorvel-cli encipher --help”查看选项。" ] &&
  pass "the usage error's pointer to --help in Chinese" || fail "the usage error's second line: $(chinese encipher --frobnicate x | sed -n 2p)"
chinese encipher --help | grep -qxF '  -q, --quiet             不显示进度行' &&
  pass "an option of the command's help in Chinese, in CLI11's columns" || fail "encipher --help: $(chinese encipher --help | grep -e --quiet)"

# As every gettext program: the C locale ignores LANGUAGE, and English or an
# unknown language is today's English.
expected=$(english --help)
for env in "LANGUAGE=zh_CN LANG=C" "LANGUAGE=zh_CN LC_ALL=C LANG=C.UTF-8" "LANGUAGE=en LANG=C.UTF-8" "LANGUAGE=xx LANG=C.UTF-8"; do
  [ "$(env -u LC_ALL -u LC_MESSAGES $env "${emulator[@]}" "$cli" --help | tr -d '\r')" = "$expected" ] && pass "$env: English" ||
    fail "$env: not the English help"
done

finish
