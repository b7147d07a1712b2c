#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks it as Debian
# would: lintian reports no error and no warning, the program in it is
# stripped, and its version is the version the program itself gives.
set -euo pipefail
build="$1"
out="$(mktemp -d "${TMPDIR:-/tmp}/rova-package-XXXXXX")"
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" -D CPACK_PACKAGING_INSTALL_PREFIX=/usr > "$out/cpack.log") ||
  { cat "$out/cpack.log"; exit 1; }
deb="$(ls "$out"/rova_*.deb)"
version="$(dpkg-deb -f "$deb" Version)"
[ "rova $version" = "$("$build/rova" --version | head -n 1)" ] ||
  { echo "FAIL: package version $version, program $("$build/rova" --version | head -n 1)"; exit 1; }
mkdir "$out/tree"
dpkg-deb -x "$deb" "$out/tree"
grep -q '^License: Expat$' "$out/tree/usr/share/doc/rova/copyright" ||
  { echo "FAIL: the package's copyright file states no MIT (Expat) licence"; exit 1; }
if readelf -S "$out/tree/usr/bin/rova" | grep -q '\.debug_info\|\.symtab'; then
  echo "FAIL: the program in the package is not stripped"; exit 1
fi
if ! command -v lintian > /dev/null; then
  echo "lintian is not installed: skipped"; exit 77
fi
report="$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'root privileges' || true)"
if echo "$report" | grep -q '^[EW]:'; then echo "FAIL: lintian says"; echo "$report"; exit 1; fi
echo "PASS: $(basename "$deb")"
