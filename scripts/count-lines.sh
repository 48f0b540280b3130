#!/usr/bin/env bash
# Counts code lines (not blank, not only a comment) of the C++ sources and headers and prints
# tests / code, where code is src/, bench/ and tools/ together and tests is tests/.
# Usage: scripts/count-lines.sh [--files]   (--files also lists the largest test files)
set -euo pipefail
cd "$(dirname "$0")/.."
count() { # count FOLDER...: non-blank lines outside comments, one line per file
  find "$@" \( -name '*.cpp' -o -name '*.h' \) -type f | sort | while read -r f; do
    printf '%s %s\n' "$(awk '
      { line = $0 }
      inblock { if (line ~ /\*\//) { sub(/.*\*\//, "", line); inblock = 0 } else next }
      { gsub(/\/\*.*\*\//, "", line) }
      line ~ /\/\*/ { sub(/\/\*.*/, "", line); inblock = 1 }
      line ~ /^[ \t]*(\/\/.*)?$/ { next }
      { n++ }
      END { print n + 0 }' "$f")" "$f"
  done
}
code=$(count src bench tools | awk '{ s += $1 } END { print s }')
tests=$(count tests | awk '{ s += $1 } END { print s }')
[ "${1:-}" = --files ] && { count tests | sort -rn | head -25; }
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d / code (src + bench + tools) %d = %.2f\n", t, c, t / c }'
