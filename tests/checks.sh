# Sourced by the shell tests: each check says ok, FAIL or SKIP with what it
# saw; finish ends the test with the count, failing when any check failed.
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
skip() { echo "SKIP: $*"; }
finish() { echo "$failures failure(s)"; [ "$failures" -eq 0 ]; }
