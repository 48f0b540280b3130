# Sourced by the fetch scripts (they define say and fail).
# npm_pack_checked FOLDER PACKAGE VERSION INTEGRITY: fetches PACKAGE@VERSION into FOLDER with
# `npm pack`, checks the tarball against the pinned INTEGRITY (npm's "sha512-<base64>") and
# prints its path.
npm_pack_checked() {
  local folder="$1" package="$2" version="$3" integrity="$4" tgz actual
  say "lade $package@$version" >&2
  (cd "$folder" && npm pack "$package@$version" --silent >/dev/null) || fail "npm pack $package@$version fehlgeschlagen"
  tgz="$(ls "$folder"/*.tgz 2>/dev/null | head -n1)"
  [ -n "$tgz" ] || fail "npm pack hat kein Archiv geliefert"
  actual="$(node -e '
    const hash = require("crypto").createHash("sha512");
    hash.update(require("fs").readFileSync(process.argv[1]));
    console.log("sha512-" + hash.digest("base64"));
  ' "$tgz")"
  [ "$actual" = "$integrity" ] || fail "Prüfsumme des Pakets stimmt nicht ($actual)"
  echo "$tgz"
}
