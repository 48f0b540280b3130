#!/usr/bin/env bash
# Checks the package's metadata: the version of CMakeLists.txt is the newest of debian/changelog
# and of the AppStream releases; the AppStream file validates; the manual
# pages format without a warning.
# Usage: tests/packaging.sh SOURCE_DIR PROJECT_VERSION BUILT_PACKAGING_DIR
set -euo pipefail
source_dir="$1" version="$2" built="$3"
failures=0
fail() { echo "FEHLER: $*" >&2; failures=$((failures + 1)); }

changelog="$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)"
[ "$changelog" = "$version" ] || fail "debian/changelog nennt $changelog, CMakeLists.txt $version"

metainfo=("$source_dir"/packaging/*.metainfo.xml)
[ ${#metainfo[@]} -eq 1 ] || fail "genau eine AppStream-Datei erwartet: ${metainfo[*]}"
release="$(grep -o '<release version="[^"]*"' "${metainfo[0]}" | head -n1 | cut -d'"' -f2)"
[ "$release" = "$version" ] || fail "die neueste AppStream-Ausgabe ist $release, CMakeLists.txt sagt $version"
appstreamcli validate --no-net --pedantic "${metainfo[0]}" || fail "appstreamcli validate"

for page in lumora-studio.1 lumora-cli.1; do
  [ -f "$built/$page" ] || { fail "$page wurde nicht gebaut (scdoc fehlt?)"; continue; }
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$built/$page" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "$page: $warnings"
done
exit $((failures > 0))
