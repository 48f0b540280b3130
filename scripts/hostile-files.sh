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

# Camera RAW files (DNG, as cameras lay them out: headers first, then an optional JPEG preview,
# then 16-bit RGGB sensor data), cut short, claiming a huge sensor, or with a broken preview;
# and bitmaps.
python3 - "$DIR" "$DIR/good.jpg" <<'EOF'
import struct, sys
folder, jpeg = sys.argv[1], open(sys.argv[2], 'rb').read()
def ifd(entries, at, nxt=0):
    entries = sorted(entries)
    head, tail = struct.pack('<H', len(entries)), b''
    outside = at + 2 + 12 * len(entries) + 4
    for tag, kind, count, value in entries:
        head += struct.pack('<HHI', tag, kind, count)
        if len(value) <= 4:
            head += value.ljust(4, b'\0')
        else:
            head += struct.pack('<I', outside + len(tail)); tail += value + b'\0' * (len(value) % 2)
    return head + struct.pack('<I', nxt) + tail
def short(v): return struct.pack('<H', v)
def long(v): return struct.pack('<I', v)
def dng(w, h, preview=None, claim=None):
    cw, ch = claim or (w, h)
    data = b''.join(short(512 + (x * 53 + y * 97) % 15000) for y in range(h) for x in range(w))
    srat = b''.join(struct.pack('<ii', round(v * 10000), 10000)
                    for v in (3.2406, -1.5372, -0.4986, -0.9689, 1.8758, 0.0415, 0.0557, -0.2040, 1.0570))
    cam = [(50706, 1, 4, bytes([1, 4, 0, 0])), (271, 2, 7, b'Lumora\0'), (272, 2, 5, b'Test\0'),
           (50708, 2, 12, b'Lumora Test\0'), (274, 3, 1, short(1)), (50721, 10, 9, srat),
           (50728, 5, 3, b''.join(struct.pack('<II', v, 10000) for v in (5000, 10000, 7000))), (50778, 3, 1, short(21))]
    def sensor(offset):
        return [(254, 4, 1, long(0)), (256, 4, 1, long(cw)), (257, 4, 1, long(ch)), (258, 3, 1, short(16)),
                (259, 3, 1, short(1)), (262, 3, 1, short(32803)), (273, 4, 1, long(offset)), (277, 3, 1, short(1)),
                (278, 4, 1, long(ch)), (279, 4, 1, long(len(data))), (33421, 3, 2, short(2) + short(2)),
                (33422, 1, 4, bytes([0, 1, 1, 2])), (50714, 4, 1, long(512)), (50717, 4, 1, long(16383))]
    if preview is None:
        size = len(ifd(cam + sensor(0), 8))
        return b'II*\0' + long(8) + ifd(cam + sensor(8 + size), 8) + data
    pw, ph, pbytes = preview
    def first(sub, at):
        return cam + [(254, 4, 1, long(1)), (256, 4, 1, long(pw)), (257, 4, 1, long(ph)),
                      (258, 3, 3, short(8) * 3), (259, 3, 1, short(7)), (262, 3, 1, short(6)), (273, 4, 1, long(at)),
                      (277, 3, 1, short(3)), (278, 4, 1, long(ph)), (279, 4, 1, long(len(pbytes))), (330, 4, 1, long(sub))]
    a = len(ifd(first(0, 0), 8)); b = len(ifd(sensor(0), 8 + a))
    at = 8 + a + b; dat = at + len(pbytes) + len(pbytes) % 2
    return (b'II*\0' + long(8) + ifd(first(8 + a, at), 8) + ifd(sensor(dat), 8 + a) + pbytes
            + b'\0' * (len(pbytes) % 2) + data)
good = dng(640, 480)
open(folder + '/good.dng', 'wb').write(good)
open(folder + '/in/raw-half.dng', 'wb').write(good[:len(good) // 2])
open(folder + '/in/raw-header-only.dng', 'wb').write(good[:300])
open(folder + '/in/raw-huge-sensor.dng', 'wb').write(dng(64, 48, claim=(60000, 60000)))
broken = jpeg[:len(jpeg) // 3] + b'\x55' * (len(jpeg) // 3) + jpeg[2 * len(jpeg) // 3:]
open(folder + '/in/raw-broken-preview.dng', 'wb').write(dng(640, 480, preview=(640, 480, broken)))
open(folder + '/in/raw-preview-cut.dng', 'wb').write(dng(640, 480, preview=(640, 480, jpeg))[:len(jpeg) // 2 + 400])
open(folder + '/in/fuji-header-only.raf', 'wb').write(b'FUJIFILMCCD-RAW 0201FF383501' + bytes(300))
open(folder + '/in/tiff-junk.cr2', 'wb').write(b'II*\0\x10\0\0\0CR\x02\0' + bytes(range(256)) * 8)
bmp = b'BM' + struct.pack('<IHHI', 54 + 48, 0, 0, 54) + struct.pack('<IiiHHIIiiII', 40, 4, 4, 1, 24, 0, 48, 0, 0, 0, 0) + bytes(48)
open(folder + '/good.bmp', 'wb').write(bmp)
open(folder + '/in/bmp-huge-header.bmp', 'wb').write(bmp[:18] + struct.pack('<ii', 100000, 100000) + bmp[26:])
open(folder + '/in/bmp-cut.bmp', 'wb').write(bmp[:60])
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

# --- cases with one right answer each: exit code and the German reason ---
wrong=0 cases=0
expect() { # expect NAME EXIT_CODE REASON COMMAND...  (killed after 20 s)
  local name=$1 code=$2 reason=$3; shift 3
  cases=$((cases + 1))
  timeout -s KILL 20 "$@" >"$DIR/out/stdout" 2>"$DIR/out/log"
  local rc=$?
  if [ "$rc" -ne "$code" ] || ! grep -qF -- "$reason" "$DIR/out/log" "$DIR/out/stdout"; then
    wrong=$((wrong + 1)); echo "WRONG  $name (exit $rc, expected $code with \"$reason\"):"
    sed 's/^/         /' "$DIR/out/log" | tail -3
  fi
}
x=$DIR/x; mkdir -p "$x"; chmod 755 "$DIR" "$x"
# A 24 MP photo and the watermark at the sheet's limits: the file carries it.
vips black "$x/dark.v" 6000 4000 --bands 3 && vips linear "$x/dark.v" "$x/dark2.v" 1 20 --uchar && vips copy "$x/dark2.v" "$x/gross.jpg"
wm='{"watermark": {"text": "'$(printf 'W%.0s' $(seq 1 200))'", "position": "tiled", "opacity": 1, "sizeFactor": 0.2, "colorHex": "#FFFFFF"}}'
echo "$wm" > "$x/wasserzeichen.json"
expect "watermark-24mp" 0 "6000 × 4000" "$CLI" render "$x/gross.jpg" "$x/gross-wz.jpg" --edits "$x/wasserzeichen.json"
if [ -f "$x/gross-wz.jpg" ] && [ "$(vips max "$x/gross-wz.jpg" 2>/dev/null | cut -d. -f1)" -lt 200 ]; then
  wrong=$((wrong + 1)); echo "WRONG  watermark-24mp: the written file holds no watermark"
fi
echo '{"watermark": {"text": "Studio", "sizeFactor": 1000000}}' > "$x/riesig.json"
expect "watermark-undrawable" 1 "Das Wasserzeichen kann nicht gezeichnet werden" "$CLI" render "$DIR/good.jpg" "$x/o.jpg" --edits "$x/riesig.json"
# The edits file: only a regular file of sensible size.
mkfifo "$x/fifo.json"; mkdir "$x/ordner.json"
expect "edits-dev-zero" 2 "ist keine reguläre Datei" "$CLI" render "$DIR/good.jpg" "$x/o.jpg" --edits /dev/zero
expect "edits-fifo" 2 "„fifo.json“ ist keine reguläre Datei" "$CLI" render "$DIR/good.jpg" "$x/o.jpg" --edits "$x/fifo.json"
expect "edits-folder" 2 "„ordner.json“ ist keine reguläre Datei" "$CLI" export --jpg "$x" --edits "$x/ordner.json" "$DIR/good.jpg"
expect "edits-missing" 2 "„fehlt.json“ konnte nicht gelesen werden: Die Datei existiert nicht" "$CLI" render "$DIR/good.jpg" "$x/o.jpg" --edits "$x/fehlt.json"
# A JPEG header that claims 15000 × 15000 pixels and holds no image data.
python3 - "$DIR/good.jpg" "$x/kopf-225mp.jpg" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
frame = data.index(b'\xff\xc0'); data[frame + 5:frame + 9] = (15000).to_bytes(2, 'big') * 2
scan = data.index(b'\xff\xda'); open(sys.argv[2], 'wb').write(data[:scan + 2 + int.from_bytes(data[scan + 2:scan + 4], 'big')])
PY
expect "jpeg-header-225mp" 1 "kopf-225mp.jpg: Die Datei ist kein lesbares Bild: Sie enthält keine Bilddaten." "$CLI" render "$x/kopf-225mp.jpg" "$x/o.jpg"
# Camera RAW files and bitmaps: the sound ones render, the hostile ones are refused with the reason.
expect "raw-dng" 0 "640 × 480" "$CLI" render "$DIR/good.dng" "$x/o.jpg"
expect "raw-broken-preview" 0 "640 × 480" "$CLI" render "$in/raw-broken-preview.dng" "$x/o.jpg"
expect "raw-half" 1 "„raw-half.dng“ ist kein lesbares Bild: Die Datei ist unvollständig, es fehlen Sensordaten." "$CLI" render "$in/raw-half.dng" "$x/o.jpg"
expect "raw-huge-sensor" 1 "„raw-huge-sensor.dng“ ist mit 60000 × 60000 Pixeln zu groß." "$CLI" render "$in/raw-huge-sensor.dng" "$x/o.jpg"
expect "raw-preview-cut" 1 "„raw-preview-cut.dng“ ist kein lesbares Bild: Die Datei ist unvollständig, es fehlen Sensordaten." "$CLI" render "$in/raw-preview-cut.dng" "$x/o.jpg"
expect "bmp" 0 "4 × 4" "$CLI" render "$DIR/good.bmp" "$x/o.jpg"
expect "bmp-huge-header" 1 "„bmp-huge-header.bmp“ ist mit 100000 × 100000 Pixeln zu groß." "$CLI" render "$in/bmp-huge-header.bmp" "$x/o.jpg"
# Reasons that fit: a socket, a folder another user may not enter, a path past 4096 bytes.
python3 -c 'import socket,sys; s=socket.socket(socket.AF_UNIX); s.bind(sys.argv[1])' "$x/sockel.jpg"
expect "socket" 1 "„sockel.jpg“ ist keine reguläre Datei." "$CLI" render "$x/sockel.jpg" "$x/o.jpg"
mkdir "$x/geheim"; cp "$DIR/good.jpg" "$x/geheim/foto.jpg"; chmod 644 "$x/geheim"
if [ "$(id -u)" -eq 0 ]; then as_other=(setpriv --reuid=65534 --regid=65534 --clear-groups); else as_other=(); fi
expect "folder-not-searchable" 1 "Keine Zugriffsrechte für den Ordner „geheim“." "${as_other[@]}" "$CLI" render "$x/geheim/foto.jpg" "$x/o.jpg"
deep="$x"; while [ ${#deep} -le 4200 ]; do deep="$deep/$(printf 'o%.0s' $(seq 1 100))"; done
expect "path-too-long" 1 "Der Pfad ist länger als die 4096 Bytes" "$CLI" render "$deep/foto.jpg" "$x/o.jpg"
# A hundred random strokes across a 24 MP photo render in bounded time.
python3 - "$x/striche.json" <<'PY'
import json, random, sys
random.seed(5)
strokes = [{"kind": "stroke", "lineWidth": 12, "colorHex": "#FF3B30",
            "points": [[random.uniform(0, 6000), random.uniform(0, 4000)] for _ in range(4000)]} for _ in range(100)]
json.dump({"freehandOverlays": strokes}, open(sys.argv[1], 'w'))
PY
expect "100-random-strokes" 0 "6000 × 4000" "$CLI" render "$x/gross.jpg" "$x/striche.jpg" --edits "$x/striche.json"
# Exports killed at any moment leave no temporary file once the next write into the folder is done.
mkdir -p "$x/kill" "$x/kill-out"; for i in 1 2 3 4 5 6; do cp "$x/gross.jpg" "$x/kill/p$i.jpg"; done
left=0
for trial in $(seq 1 26); do
  "$CLI" export --jpg "$x/kill-out" "$x/kill"/p*.jpg >/dev/null 2>&1 &
  pid=$!; sleep "0.$(( (trial * 37) % 90 + 5 ))"; kill -9 $pid 2>/dev/null; wait $pid 2>/dev/null
  [ -n "$(ls -A "$x/kill-out" 2>/dev/null | grep '^\.lumora-')" ] && left=$((left + 1))
  mkdir -p "$x/kill-out"
done
"$CLI" export --jpg "$x/kill-out" "$DIR/good.jpg" >/dev/null 2>&1
cases=$((cases + 1))
if [ -n "$(ls -A "$x/kill-out" | grep '^\.lumora-')" ]; then
  wrong=$((wrong + 1)); echo "WRONG  kill-9-during-export: temporaries left after the next export"
fi
echo "kill -9 during export: temporaries right after the kill in $left of 26 trials, none after the next write"
echo "$cases cases with one right answer: $wrong wrong"
[ $((crashes + hangs + unclear + wrong)) -eq 0 ]
