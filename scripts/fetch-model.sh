#!/usr/bin/env bash
# Installs the background-removal model into the user's cache, where Lumora Studio looks for it:
#   ${LUMORA_MODEL_PATH:-${XDG_CACHE_HOME:-$HOME/.cache}/lumora-studio/models/isnet-768-fp32.onnx}
#
# The model is the ISNet salient-object network of the npm package
# @imgly/background-removal-data 1.4.5 (AGPL-3.0 package; its notice names the ISNet model as MIT).
# The package stores it as float16 ONNX in chunks listed in dist/resources.json. This script
#   1. fetches the package by name and version with `npm pack` and checks the tarball against the
#      pinned integrity hash,
#   2. checks every chunk against the hash it is named by, reassembles them in their listed order
#      and checks the result against the pinned size and hash,
#   3. builds our converters (tools/onnx-fp32) in a cache build folder, converts the model to
#      float32 with a 768 × 768 input, the form OpenCV's DNN module can run, and makes its 8-bit
#      network from the tensor ranges in tools/onnx-fp32/isnet-768-ranges.txt, which ONNX Runtime
#      runs about a third faster (isnet-768-int8.onnx beside the model),
#   4. installs both models atomically with checksum files, and the package's licence texts beside
#      them.
# Nothing of the package enters the repository. Idempotent: models whose checksums and recipe
# match are left alone. Needs npm, node, cmake, a C++ compiler, libonnx-dev, libprotobuf-dev and
# libopencv-dev.
set -euo pipefail

PACKAGE="@imgly/background-removal-data"
VERSION="1.4.5"
TARBALL_INTEGRITY="sha512-iRXZpPd7YirbJ4eOZ3SlvbdJkAc/LxVjzWLMHOezmRrVThPJPdPc+Y2kHEAVFEVvpDIuvBDyOfTTFBSJT2QR5w=="
MODEL_KEY="/models/medium"
MODEL_SIZE=88188479
MODEL_SHA256="b6e8497ba978a6f5fbb647e419d2696cd80df5a23cb6a8ea532021911bd76acb"
INPUT_SIZE=768

REPO="$(cd "$(dirname "$0")/.." && pwd)"
TOOL_SRC="$REPO/tools/onnx-fp32"
CACHE="${XDG_CACHE_HOME:-$HOME/.cache}/lumora-studio"
MODEL="${LUMORA_MODEL_PATH:-$CACHE/models/isnet-$INPUT_SIZE-fp32.onnx}"
MODEL_DIR="$(dirname "$MODEL")"
# The 8-bit network beside it, named as the application looks for it: "-fp32" becomes "-int8".
QUANTISED="${MODEL%.onnx}"
QUANTISED="${QUANTISED%-fp32}-int8.onnx"
RANGES="$TOOL_SRC/isnet-$INPUT_SIZE-ranges.txt"
LICENCE_DIR="$MODEL_DIR/imgly-background-removal-data-$VERSION"

say() { echo "fetch-model: $*"; }
fail() { echo "fetch-model: FEHLER: $*" >&2; exit 1; }
source "$(dirname "$0")/npm-pack.sh"

# What the installed model was made from: package, input size and the converter's sources.
recipe() {
  {
    echo "$PACKAGE@$VERSION $MODEL_KEY $MODEL_SHA256 input=$INPUT_SIZE"
    (cd "$TOOL_SRC" && find . -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.txt' \) | LC_ALL=C sort | xargs sha256sum)
  } | sha256sum | cut -d' ' -f1
}

checked() { [ -f "$1" ] && [ -f "$1.sha256" ] && (cd "$MODEL_DIR" && sha256sum --quiet -c "$(basename "$1").sha256" >/dev/null 2>&1); }
if checked "$MODEL" && checked "$QUANTISED" && [ -f "$MODEL.recipe" ] && [ "$(cat "$MODEL.recipe")" = "$(recipe)" ]; then
  say "Modell vorhanden und geprüft: $MODEL"
  exit 0
fi

for tool in npm node cmake sha256sum tar; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool fehlt (scripts/setup.sh installiert die Werkzeuge)"
done

mkdir -p "$MODEL_DIR" "$CACHE"
WORK="$(mktemp -d "$MODEL_DIR/.fetch.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

# 1. The package, checked against the pinned integrity.
TGZ="$(npm_pack_checked "$WORK" "$PACKAGE" "$VERSION" "$TARBALL_INTEGRITY")" || exit 1

# 2. The chunks of the model, in their listed order.
tar -xzf "$TGZ" -C "$WORK" package/dist/resources.json package/LICENSE.md package/ThirdPartyLicenses.json ||
  fail "Paket unvollständig"
CHUNKS="$(node -e '
  const [file, key, size] = process.argv.slice(1);
  const entry = JSON.parse(require("fs").readFileSync(file, "utf8"))[key];
  if (!entry || !Array.isArray(entry.chunks)) { console.error("kein Eintrag " + key); process.exit(1); }
  let end = 0;
  for (const chunk of entry.chunks) {
    if (!/^[0-9a-f]{64}$/.test(chunk.hash) || chunk.offsets[0] !== end) { console.error("Stückliste ungültig"); process.exit(1); }
    end = chunk.offsets[1];
    console.log(chunk.hash + " " + (chunk.offsets[1] - chunk.offsets[0]));
  }
  if (end !== Number(size) || entry.size !== Number(size)) { console.error("Größe " + end + " statt " + size); process.exit(1); }
' "$WORK/package/dist/resources.json" "$MODEL_KEY" "$MODEL_SIZE")" || fail "dist/resources.json passt nicht zum erwarteten Modell"

CHUNK_FILES=()
while read -r hash _; do CHUNK_FILES+=("package/dist/$hash"); done <<<"$CHUNKS"
tar -xzf "$TGZ" -C "$WORK" "${CHUNK_FILES[@]}" || fail "Modellteile fehlen im Paket"
rm -f "$TGZ"
: >"$WORK/model-fp16.onnx"
while read -r hash length; do
  part="$WORK/package/dist/$hash"
  [ "$(stat -c %s "$part")" = "$length" ] || fail "Modellteil $hash hat die falsche Länge"
  [ "$(sha256sum "$part" | cut -d' ' -f1)" = "$hash" ] || fail "Modellteil $hash ist beschädigt"
  cat "$part" >>"$WORK/model-fp16.onnx"
  rm -f "$part"
done <<<"$CHUNKS"
[ "$(sha256sum "$WORK/model-fp16.onnx" | cut -d' ' -f1)" = "$MODEL_SHA256" ] ||
  fail "zusammengesetztes Modell hat die falsche Prüfsumme"

# 3. Our converter, built apart from the application, then the conversion.
say "baue tools/onnx-fp32"
GENERATOR=()
command -v ninja >/dev/null 2>&1 && GENERATOR=(-G Ninja)
BUILD="$CACHE/onnx-fp32-build"
# A fresh folder: one configured from another checkout's sources would be refused by CMake.
rm -rf "$BUILD"
cmake -S "$TOOL_SRC" -B "$BUILD" "${GENERATOR[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null ||
  fail "onnx-fp32 lässt sich nicht konfigurieren (libonnx-dev, libprotobuf-dev, libopencv-dev installiert?)"
cmake --build "$BUILD" >/dev/null || fail "onnx-fp32 lässt sich nicht bauen"
"$BUILD/fp16-selftest" || fail "Selbsttest von onnx-fp32 fehlgeschlagen"
"$BUILD/quantise-selftest" || fail "Selbsttest von onnx-int8 fehlgeschlagen"
say "wandle nach float32 um (Eingabe $INPUT_SIZE × $INPUT_SIZE)"
"$BUILD/onnx-fp32" "$WORK/model-fp16.onnx" "$WORK/model.onnx" --input-size "$INPUT_SIZE" ||
  fail "Umwandlung fehlgeschlagen"
rm -f "$WORK/model-fp16.onnx"
say "mache das 8-Bit-Netz"
"$BUILD/onnx-int8" quantise "$WORK/model.onnx" "$RANGES" "$WORK/model-int8.onnx" ||
  fail "8-Bit-Netz fehlgeschlagen"

# 4. Install: licence texts, then each model by rename and its checksum, then the recipe.
mkdir -p "$LICENCE_DIR"
cp "$WORK/package/LICENSE.md" "$WORK/package/ThirdPartyLicenses.json" "$LICENCE_DIR/"
rm -f "$MODEL.recipe"
for pair in "model.onnx:$MODEL" "model-int8.onnx:$QUANTISED"; do
  target="${pair#*:}"
  rm -f "$target.sha256"
  mv -f "$WORK/${pair%%:*}" "$target"
  (cd "$MODEL_DIR" && sha256sum "$(basename "$target")" >"$(basename "$target").sha256")
  say "Modell installiert: $target ($(stat -c %s "$target") Bytes)"
done
recipe >"$MODEL.recipe"

