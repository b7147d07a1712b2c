#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed program:
# a batch run on the example data, and a piped dialogue that must end with
# a saying from the installed sayings file.
set -euo pipefail
build="$1"; source_dir="$2"
prefix="$(mktemp -d "${TMPDIR:-/tmp}/rova-install-XXXXXX")"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
for f in bin/rova share/rova/DICHOS.TXT share/man/man1/rova.1.gz share/doc/rova/copyright \
         share/doc/rova/changelog.gz; do
  [ -f "$prefix/$f" ] || { echo "FAIL: $f was not installed"; exit 1; }
done
cd "$prefix"
cp "$source_dir/examples/ALDER.FHX" .
export HOME="$prefix" XDG_CONFIG_HOME="$prefix/config"
"$prefix/bin/rova" --version | grep -q '^rova 1.15$' || { echo "FAIL: --version"; exit 1; }
"$prefix/bin/rova" -q -n 20 -s 3 ALDER.FHX
[ -s ALDERRVA.OUT ] || { echo "FAIL: the batch run wrote no report"; exit 1; }
printf 'INS\nALDER.FHX\n\n3\n10\n3\n6\nN\n\n' | "$prefix/bin/rova" > screen.out
grep -qE -- '- (Proverb|ROVA)$' screen.out || { echo "FAIL: no saying shown"; tail -20 screen.out; exit 1; }
echo PASS
