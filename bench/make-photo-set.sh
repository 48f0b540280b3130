#!/usr/bin/env bash
# Makes a folder of N photos (default 200) for benchmarks by linking the corpus's 24 MP JPEGs
# under distinct names, so the app loads each as its own photo.
#   bench/make-photo-set.sh [N] [FOLDER]   (corpus: CORPUS_DIR or ~/.cache/lumora-corpus)
set -euo pipefail
N="${1:-200}"
OUT="${2:-/tmp/lumora-bench-$N}"
CORPUS="${CORPUS_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/lumora-corpus}"
mapfile -t SOURCES < <(ls "$CORPUS"/cam24/*.jpg 2>/dev/null)
[ "${#SOURCES[@]}" -gt 0 ] || { echo "no 24 MP photos in $CORPUS/cam24 (run shared/corpus/make_corpus.sh)" >&2; exit 1; }
rm -rf "$OUT"; mkdir -p "$OUT"
for i in $(seq 1 "$N"); do
  src="${SOURCES[$(( (i - 1) % ${#SOURCES[@]} ))]}"
  ln -s "$src" "$(printf '%s/photo%03d.jpg' "$OUT" "$i")"
done
echo "$OUT"
