#!/usr/bin/env bash
# Prints the size of the test suite against the code it tests: non-blank, non-comment lines of
# tests/ against those of src/ and tools/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat | awk '
    /^[[:space:]]*$/ { next }
    inBlock { if ($0 ~ /\*\//) inBlock = 0; next }
    /^[[:space:]]*\/\// { next }
    /^[[:space:]]*\/\*/ { if ($0 !~ /\*\//) inBlock = 1; next }
    { n++ }
    END { print n + 0 }'
}

tests=$(count "$root/tests")
code=$(count "$root/src" "$root/tools")
awk -v t="$tests" -v c="$code" 'BEGIN {
  printf "test lines: %d of tests/ against %d of src/ and tools/ (%.0f %%)\n", t, c, 100 * t / c }'
