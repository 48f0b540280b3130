#!/usr/bin/env bash
# Builds a folder of odd and hostile files under photo names and runs each through
# lumora-cli (render, export, cut-out), then counts crashes, hangs over 10 s and failure
# messages that do not say in German what went wrong with which file.
#   scripts/hostile-files.sh [BUILD_DIR] [FOLDER]     (defaults: build, /tmp/lumora-hostile)
# Exit status: 0 when all three counts are zero.
set -uo pipefail
BUILD="${1:-build}"
DIR="${2:-/tmp/lumora-hostile}"
CLI="$BUILD/src/lumora-cli"
[ -x "$CLI" ] || { echo "no $CLI (build first)" >&2; exit 2; }
command -v vips >/dev/null || { echo "vips missing (scripts/setup.sh installs it)" >&2; exit 2; }
export VIPS_WARNING=0 QT_QPA_PLATFORM=offscreen

rm -rf "$DIR"; mkdir -p "$DIR/in" "$DIR/out/export" "$DIR/run"
chmod 700 "$DIR/run"
export XDG_RUNTIME_DIR="$DIR/run"
in="$DIR/in"
# --- a few honest photos to break ---
vips xyz "$DIR/xy.v" 640 480
vips extract_band "$DIR/xy.v" "$DIR/x.v" 0
vips bandjoin "$DIR/x.v $DIR/x.v $DIR/x.v" "$DIR/rgb.v"
vips cast "$DIR/rgb.v" "$DIR/u8.v" uchar
vips copy "$DIR/u8.v" "$DIR/good.jpg"
vips copy "$DIR/u8.v" "$DIR/good.png"
vips copy "$DIR/u8.v" "$DIR/good.tif"
vips copy "$DIR/u8.v" "$DIR/good.webp" 2>/dev/null || true
vips copy "$DIR/u8.v" "$DIR/good.gif" 2>/dev/null || true
vips copy "$DIR/u8.v" "$DIR/good.ppm"
vips copy "$DIR/u8.v" "$DIR/good.v"
vips copy "$DIR/u8.v" "$DIR/good.hdr" 2>/dev/null || true
vips copy "$DIR/u8.v" "$DIR/good.fits" 2>/dev/null || true
size() { stat -c %s "$1"; }
cut_to() { head -c "$2" "$1" > "$3"; }

# Truncated and damaged photos.
cut_to "$DIR/good.jpg" $(( $(size "$DIR/good.jpg") - 2 )) "$in/jpeg-last-two-bytes-cut.jpg"
cut_to "$DIR/good.jpg" $(( $(size "$DIR/good.jpg") / 2 )) "$in/jpeg-half.jpg"
cut_to "$DIR/good.jpg" 200 "$in/jpeg-header-only.jpg"
cut_to "$DIR/good.png" $(( $(size "$DIR/good.png") / 2 )) "$in/png-half.png"
cut_to "$DIR/good.tif" $(( $(size "$DIR/good.tif") / 3 )) "$in/tiff-third.tif"
[ -f "$DIR/good.webp" ] && cut_to "$DIR/good.webp" $(( $(size "$DIR/good.webp") / 2 )) "$in/webp-half.webp"
python3 - "$DIR/good.jpg" "$in/jpeg-flipped-bytes.jpg" <<'EOF'
import sys, random
data = bytearray(open(sys.argv[1], 'rb').read())
random.seed(3)
for _ in range(200):
    i = random.randrange(600, len(data) - 2)
    data[i] ^= 0xFF
open(sys.argv[2], 'wb').write(data)
EOF
: > "$in/empty.jpg"
head -c 65536 /dev/urandom > "$in/random-bytes.jpg"
printf '\xff\xd8\xff\xe0' > "$in/jpeg-magic-only.jpg"
printf '\x89PNG\r\n\x1a\n' > "$in/png-magic-only.png"
# A PNG header that claims 100000 × 100000 pixels.
python3 - "$in/png-huge-header.png" <<'EOF'
import sys, struct, zlib
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)
ihdr = struct.pack('>IIBBBBB', 100000, 100000, 8, 2, 0, 0, 0)
idat = zlib.compress(b'\0' * 1000)
open(sys.argv[1], 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', idat) + chunk(b'IEND', b''))
EOF

# Other formats under photo names.
cat > "$in/svg-blur.jpg" <<'EOF'
<?xml version="1.0"?>
<svg xmlns="http://www.w3.org/2000/svg" width="15000" height="15000"><filter id="b"><feGaussianBlur stdDeviation="300"/></filter><rect width="15000" height="15000" fill="red" filter="url(#b)"/></svg>
EOF
printf '%%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[]/Count 0>>endobj\ntrailer<</Root 1 0 R>>\n%%%%EOF\n' > "$in/document.jpg"
cp "$DIR/good.ppm" "$in/ppm-named.jpg"
cp "$DIR/good.v" "$in/vips-native-named.jpg"
[ -f "$DIR/good.gif" ] && cp "$DIR/good.gif" "$in/gif-named.png"
[ -f "$DIR/good.hdr" ] && cp "$DIR/good.hdr" "$in/radiance-named.jpg"
[ -f "$DIR/good.fits" ] && cp "$DIR/good.fits" "$in/fits-named.jpg"
printf 'P6\n4 4\n255\n' > "$in/ppm-short.jpg"
echo "nur ein Text" > "$in/text.png"
cp "$DIR/good.png" "$in/png-named.jpg"     # a real photo with the wrong extension: loads
cp "$DIR/good.tif" "$in/tiff-named.heic"   # likewise

# Things that are not regular files.
ln -s /dev/zero "$in/link-to-dev-zero.jpg"
ln -s /dev/urandom "$in/link-to-urandom.jpg"
ln -s "$in/does-not-exist.jpg" "$in/dangling-link.jpg"
mkfifo "$in/fifo.jpg"
mkdir "$in/folder.jpg"
# Names that are awkward to carry around.
long=$(printf 'x%.0s' $(seq 1 246))
cp "$DIR/good.jpg" "$in/$long.jpg"
cp "$DIR/good.jpg" "$in/$(printf 'latin1-\xe9t\xe9').jpg"
cp "$DIR/good.jpg" "$in/$(printf 'line\nbreak').jpg"
cp "$DIR/good.jpg" "$in/-starts-with-dash.jpg"

# --- the runs ---
crashes=0 hangs=0 unclear=0 runs=0
# A failure must name the file and give a reason without English error words.
english='\b(error|failed|failure|unknown|cannot|can.t|unable|invalid|denied|no such|not a|too long|is a directory|unsupported|premature|corrupt)\b'
check() { # check COMMAND FILE_NAME RC STDERR_FILE
  local name="$1 $2" base="$2" rc="$3" log="$4"
  runs=$((runs + 1))
  if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    hangs=$((hangs + 1)); echo "HANG   $name"; return
  fi
  if [ "$rc" -gt 2 ]; then
    crashes=$((crashes + 1)); echo "CRASH  $name (exit $rc)"; sed 's/^/         /' "$log" | tail -3; return
  fi
  if [ "$rc" -ne 0 ]; then
    if ! grep -qF -- "${base:0:40}" "$log" || grep -qiE "$english" "$log"; then
      unclear=$((unclear + 1)); echo "UNCLEAR $name:"; sed 's/^/         /' "$log" | grep -v XDG_RUNTIME | tail -3
    fi
  fi
}
model=yes
[ -f "${LUMORA_MODEL_PATH:-${XDG_CACHE_HOME:-$HOME/.cache}/lumora-studio/models/isnet-768-fp32.onnx}" ] || model=no
for file in "$in"/*; do
  name="${file#"$in"/}"
  for command in render export cutout; do
    [ "$command" = cutout ] && [ "$model" = no ] && continue
    log="$DIR/out/log"
    case "$command" in
      render) timeout -s KILL 10 "$CLI" render "$file" "$DIR/out/render.jpg" >/dev/null 2>"$log" ;;
      export) timeout -s KILL 10 "$CLI" export --png "$DIR/out/export" "$file" >/dev/null 2>"$log" ;;
      cutout) timeout -s KILL 10 "$CLI" cutout "$file" "$DIR/out/cutout.png" >/dev/null 2>"$log" ;;
    esac
    check "$command" "$name" $? "$log"
  done
done
echo "$runs runs over $(ls -A "$in" | wc -l) files: $crashes crashes, $hangs hangs over 10 s, $unclear unclear messages"
[ $((crashes + hangs + unclear)) -eq 0 ]
