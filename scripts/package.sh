#!/usr/bin/env bash
# Builds the Debian packages of Lumora Studio from this tree and checks them:
#   1. dpkg-buildpackage (debian/, debhelper and CMake) in a copy of the tree's files under
#      build-package/: lumora-studio always, lumora-studio-model when the model that
#      scripts/fetch-model.sh installs is there, lumora-studio-onnxruntime when the runtime that
#      scripts/fetch-onnxruntime.sh installs is there;
#   2. lintian (fails on errors and prints the warnings), appstreamcli validate and
#      desktop-file-validate on the installed tree of the package;
#   3. a clean Debian 12 root made by mmdebstrap (its tarball cached in
#      ~/.cache/lumora-studio/chroot, downloads kept there too): apt installs the packages,
#      lumora-cli --version answers, a cut-out runs with the packaged model (on the packaged
#      runtime), lumora-studio starts
#      under Xvfb and its window is photographed (build-package/lumora-studio.png); then the
#      packages are purged and the root must hold exactly the files it held before.
# Usage: scripts/package.sh [--no-root] [PHOTO...]
#   --no-root   steps 1 and 2 only
#   PHOTO...    photos the started app loads, the first one is cut out (default: six of
#               ~/.cache/lumora-corpus/photos, else a Tux Paint stamp that set-up installs)
# Needs root (apt in the root, chroot, mount) and the packages scripts/setup.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$(pwd)"

say() { echo "package: $*"; }
fail() { echo "package: FEHLER: $*" >&2; exit 1; }

with_root=1
if [ "${1:-}" = "--no-root" ]; then with_root=0; shift; fi
photos=("$@")

version="$(sed -n 's/^project(LumoraStudio VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$version" ] || fail "keine Version in CMakeLists.txt"
out="$repo/build-package"
model="${LUMORA_MODEL_PATH:-${XDG_CACHE_HOME:-$HOME/.cache}/lumora-studio/models/isnet-768-fp32.onnx}"
runtime="${XDG_CACHE_HOME:-$HOME/.cache}/lumora-studio/onnxruntime/libonnxruntime.so.1"

# 1. The packages, built from a copy of the tree's files (tracked, and new ones not ignored).
say "baue die Pakete $version"
# A run killed before its clean-up may have left the clean root's mounts (/dev among them).
if findmnt -rn -o TARGET | grep -q "^$out/"; then
  fail "unter build-package ist noch etwas eingehängt (findmnt | grep build-package; umount)"
fi
rm -rf --one-file-system "$out"
mkdir -p "$out/src"
git ls-files -z --cached --others --exclude-standard |
  tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$out/src"
build_only=(-b)
quantised="${model%.onnx}"
quantised="${quantised%-fp32}-int8.onnx"
if [ -f "$model" ] && [ -f "$model.sha256" ] && [ -f "$quantised" ] && [ -f "$quantised.sha256" ]; then
  say "mit dem Modell $model"
else
  say "kein Modell unter $model oder kein 8-Bit-Netz daneben (scripts/fetch-model.sh): nur lumora-studio"
  build_only=(-B)
fi
profiles=()
if [ -f "$runtime" ]; then
  say "mit ONNX Runtime $runtime"
else
  say "keine ONNX Runtime unter $runtime (scripts/fetch-onnxruntime.sh): ohne lumora-studio-onnxruntime"
  profiles=(-Ppkg.lumora-studio.noruntime)
fi
# The compiler cache the user's builds use (debhelper gives the build a home of its own).
ccache_dir="$(ccache -k cache_dir 2>/dev/null || true)"
(cd "$out/src" &&
  CCACHE_DIR="$ccache_dir" CCACHE_BASEDIR="$out/src" LUMORA_MODEL_FILE="$model" \
    DEB_BUILD_OPTIONS="noautodbgsym ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage "${build_only[@]}" "${profiles[@]}" -us -uc -j"$(nproc)" >"$out/build.log" 2>&1) ||
  { tail -n 40 "$out/build.log" >&2; fail "dpkg-buildpackage fehlgeschlagen (build-package/build.log)"; }
debs=("$out"/lumora-studio_"$version"_*.deb)
[ -f "${debs[0]}" ] || fail "kein lumora-studio-Paket gebaut"
[ "${build_only[0]}" = "-B" ] || debs+=("$out/lumora-studio-model_${version}_all.deb")
[ ${#profiles[@]} -gt 0 ] || debs+=("$out"/lumora-studio-onnxruntime_"$version"_*.deb)
for deb in "${debs[@]}"; do say "gebaut: $(basename "$deb") ($(du -h "$deb" | cut -f1))"; done

# 2. lintian over everything built; the validators over the installed tree.
say "lintian"
changes=("$out"/lumora-studio_"$version"_*.changes)
lintian --fail-on error --tag-display-limit 0 "${changes[0]}" | tee "$out/lintian.txt" ||
  fail "lintian meldet Fehler (build-package/lintian.txt)"
tree="$out/tree"
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$tree"; done
say "appstreamcli validate, desktop-file-validate"
appstreamcli validate --no-net --pedantic "$tree"/usr/share/metainfo/*.metainfo.xml
appstreamcli validate-tree --no-net "$tree"
desktop-file-validate "$tree"/usr/share/applications/*.desktop
say "desktop-file-validate: keine Meldung"
[ "$with_root" = 1 ] || exit 0

# 3. A clean Debian 12 root. The base (mmdebstrap's apt variant and, for starting the app and
#    photographing it, Xvfb and the X tools) is cached as a tarball; a week old, it is made anew.
[ "$(id -u)" -eq 0 ] || fail "die Prüfung in einer sauberen Wurzel braucht root (oder --no-root)"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/lumora-studio/chroot"
harness="xvfb,xauth,x11-utils,x11-apps,netpbm"
base="$cache/bookworm-base.tar"
mkdir -p "$cache/archives/partial"
if [ ! -f "$base" ] || [ "$(cat "$base.recipe" 2>/dev/null)" != "$harness" ] ||
   [ -n "$(find "$base" -mtime +7)" ]; then
  say "mmdebstrap bookworm (einmal je Woche)"
  mmdebstrap --variant=apt --format=tar --include="$harness" bookworm "$base.tmp" >"$out/mmdebstrap.log" 2>&1 ||
    { tail -n 20 "$out/mmdebstrap.log" >&2; fail "mmdebstrap fehlgeschlagen"; }
  mv -f "$base.tmp" "$base"
  echo "$harness" >"$base.recipe"
fi

root="$out/root"
mounts=()
cleanup() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount "${mounts[$i]}" 2>/dev/null || umount -l "${mounts[$i]}"; done
  mounts=()
  # Only once nothing is mounted inside any more; never across into another file system.
  if [ -d "$root" ] && ! findmnt -rn -o TARGET | grep -q "^$root/"; then rm -rf --one-file-system "$root"; fi
}
trap cleanup EXIT
mkdir -p "$root"
tar -xf "$base" -C "$root"
for point in proc sys dev var/cache/apt/archives; do mkdir -p "$root/$point"; done
mount -t proc proc "$root/proc" && mounts+=("$root/proc")
mount -t sysfs sysfs "$root/sys" && mounts+=("$root/sys")
mount --bind /dev "$root/dev" && mounts+=("$root/dev")
mount --bind "$cache/archives" "$root/var/cache/apt/archives" && mounts+=("$root/var/cache/apt/archives")
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
# The user of the app: a system installed in English (so German is the app's own doing).
as_user() {
  chroot --userspec=fotograf:fotograf "$root" env -i PATH=/usr/bin:/bin HOME=/home/fotograf LANG=en_US.UTF-8 \
    XDG_RUNTIME_DIR=/tmp/lumora/laufzeit "$@"
}

say "Wurzel auf den neuesten Stand"
in_root apt-get update -qq >"$out/apt.log" 2>&1 || { cat "$out/apt.log" >&2; fail "apt-get update"; }
in_root apt-get -y -qq upgrade >>"$out/apt.log" 2>&1 || fail "apt-get upgrade (build-package/apt.log)"
in_root useradd --create-home fotograf
mkdir -p "$root/tmp/lumora" && cp "${debs[@]}" "$root/tmp/lumora/"
mkdir -m 0700 "$root/tmp/lumora/laufzeit"
in_root chown fotograf:fotograf /tmp/lumora/laufzeit
if [ ${#photos[@]} -eq 0 ]; then
  shopt -s nullglob
  photos=("$HOME"/.cache/lumora-corpus/photos/*.jpg)
  shopt -u nullglob
  photos=("${photos[@]:0:6}")
  # Without the corpus: a photographed subject with transparency that set-up installs.
  bear=/usr/share/tuxpaint/stamps/animals/mammals/bears/european-bear.png
  [ ${#photos[@]} -gt 0 ] || [ ! -f "$bear" ] || photos=("$bear")
fi
mkdir -p "$root/tmp/fotos"
[ ${#photos[@]} -eq 0 ] || cp "${photos[@]}" "$root/tmp/fotos/"
chmod -R a+rX "$root/tmp/fotos"

# Every file of the root outside the places that change by themselves (apt's lists and
# downloads, logs, the temporary folder, the users' homes, which removing a package never touches).
snapshot() {
  (cd "$root" && find . -xdev \( -path ./proc -o -path ./sys -o -path ./dev -o -path ./tmp -o -path ./home \
    -o -path ./root -o -path ./var/cache/apt -o -path ./var/lib/apt/lists -o -path ./var/log \) -prune -o -print) |
    LC_ALL=C sort
}
# The caches that ldconfig and man-db keep for every package are made first, so that only files
# of the packages themselves can differ.
in_root ldconfig
in_root sh -c 'if command -v mandb >/dev/null; then mandb -q; fi'
snapshot >"$out/root-before.txt"

say "apt install ${debs[*]##*/}"
in_root sh -c 'apt-get install -y --no-install-recommends /tmp/lumora/*.deb' >>"$out/apt.log" 2>&1 ||
  { tail -n 30 "$out/apt.log" >&2; fail "apt-get install (build-package/apt.log)"; }

answer="$(as_user lumora-cli --version)"
[ "$answer" = "lumora-cli $version" ] || fail "lumora-cli --version antwortet „$answer“"
say "lumora-cli --version: $answer"
answer="$(as_user lumora-studio --version)"
[ "$answer" = "Lumora Studio $version" ] || fail "lumora-studio --version antwortet „$answer“"
say "lumora-studio --version: $answer"
if in_root sh -c 'command -v man' >/dev/null; then
  for page in lumora-cli lumora-studio; do
    as_user man -P cat "$page" >/dev/null 2>&1 || fail "man $page findet keine Seite"
  done
  say "man lumora-cli, man lumora-studio: gefunden"
fi

if [ "${build_only[0]}" = "-b" ] && [ ${#photos[@]} -gt 0 ]; then
  first="/tmp/fotos/$(basename "${photos[0]}")"
  cutout="$(as_user lumora-cli cutout "$first" /home/fotograf/freigestellt.png --color "#FFFFFF")" ||
    fail "lumora-cli cutout mit dem Modell des Pakets fehlgeschlagen"
  if [ ${#profiles[@]} -eq 0 ]; then
    grep -q "ONNX Runtime.*8-Bit-Netz" <<<"$cutout" ||
      fail "lumora-cli cutout lief nicht mit der ONNX Runtime und dem 8-Bit-Netz des Pakets: $cutout"
  fi
  say "lumora-cli cutout mit dem Modell aus /usr/share/lumora-studio/models: $cutout"
fi

# The app under Xvfb: wait for its window, let the photos arrive, photograph the screen.
say "lumora-studio unter Xvfb"
cat >"$root/tmp/lumora/start.sh" <<'EOF'
set -u
lumora-studio /tmp/fotos/* >/tmp/lumora/app.log 2>&1 &
app=$!
for _ in $(seq 1 300); do
  xwininfo -root -tree 2>/dev/null | grep -q '"Lumora Studio"' && break
  kill -0 "$app" 2>/dev/null || { echo "lumora-studio hat sich beendet" >&2; exit 1; }
  sleep 0.1
done
xwininfo -root -tree | grep -q '"Lumora Studio"' || { echo "kein Fenster von lumora-studio" >&2; exit 1; }
sleep 3 # the cards of the photos load in the background
kill -0 "$app" 2>/dev/null || { echo "lumora-studio hat sich beendet" >&2; exit 1; }
xwd -silent -name "Lumora Studio" | xwdtopnm 2>/dev/null | pnmtopng >/tmp/lumora/lumora-studio.png
kill "$app"
wait "$app" 2>/dev/null
exit 0
EOF
chmod a+rwx "$root/tmp/lumora"
chmod a+r "$root/tmp/lumora/start.sh"
as_user xvfb-run -a -s "-screen 0 1440x900x24" sh /tmp/lumora/start.sh ||
  { cat "$root/tmp/lumora/app.log" >&2; fail "lumora-studio ließ sich nicht starten"; }
cp "$root/tmp/lumora/lumora-studio.png" "$out/lumora-studio.png"
say "Bildschirmfoto: build-package/lumora-studio.png"

say "apt purge"
in_root apt-get purge -y $(for deb in "${debs[@]}"; do dpkg-deb -f "$deb" Package; done) >>"$out/apt.log" 2>&1 ||
  fail "apt-get purge"
in_root apt-get autoremove --purge -y >>"$out/apt.log" 2>&1 || fail "apt-get autoremove"
if in_root dpkg-query -W 'lumora-studio*' >/dev/null 2>&1; then fail "ein lumora-Paket ist noch installiert"; fi
snapshot >"$out/root-after.txt"
if ! diff -u "$out/root-before.txt" "$out/root-after.txt" >"$out/root-left.diff"; then
  cat "$out/root-left.diff" >&2
  fail "nach dem Entfernen ist die Wurzel nicht wie vorher (build-package/root-left.diff)"
fi
say "entfernt: die Wurzel hält genau die Dateien von vorher"
