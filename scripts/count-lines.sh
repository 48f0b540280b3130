#!/usr/bin/env bash
# Counts code lines (not blank, not only a comment) of the C++ sources and headers under src/ and
# tests/ and prints tests / code. Usage: scripts/count-lines.sh [--files]
set -euo pipefail
cd "$(dirname "$0")/.."
count() { # count FOLDER: non-blank lines outside comments, per file with --files
  find "$1" -name '*.cpp' -o -name '*.h' | sort | while read -r f; do
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
code=$(count src | awk '{ s += $1 } END { print s }')
tests=$(count tests | awk '{ s += $1 } END { print s }')
[ "${1:-}" = --files ] && { count tests | sort -rn | head -25; }
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d / code %d = %.2f\n", t, c, t / c }'
