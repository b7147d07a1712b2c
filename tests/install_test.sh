#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed program:
# a batch run on the example data, one that draws the chart with the
# installed chart module, one whose program has no module beside it, and a
# piped dialogue that must end with a saying from the installed sayings
# file.
set -euo pipefail
build="$1"; source_dir="$2"
prefix="$(mktemp -d "${TMPDIR:-/tmp}/rova-install-XXXXXX")"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
for f in bin/rova share/rova/DICHOS.TXT share/man/man1/rova.1.gz share/doc/rova/copyright \
         share/doc/rova/changelog.gz lib/rova/modules/rova-chart.so; do
  [ -f "$prefix/$f" ] || { echo "FAIL: $f was not installed"; exit 1; }
done
cd "$prefix"
cp "$source_dir/examples/ALDER.FHX" .
export HOME="$prefix" XDG_CONFIG_HOME="$prefix/config"
"$prefix/bin/rova" --version | grep -q '^rova 1.15$' || { echo "FAIL: --version"; exit 1; }
"$prefix/bin/rova" -q -n 20 -s 3 ALDER.FHX
[ -s ALDERRVA.OUT ] || { echo "FAIL: the batch run wrote no report"; exit 1; }
# Only the chart module brings cairo and pango: the program starts without.
if readelf -d "$prefix/bin/rova" | grep -E 'NEEDED.*(cairo|pango)'; then
  echo "FAIL: the program itself needs the chart's libraries"; exit 1
fi
"$prefix/bin/rova" -q -f -n 20 -s 3 --plot-format svg,png ALDER.FHX
[ -s ALDERRVADF.svg ] && [ -s ALDERRVADF.png ] || { echo "FAIL: no chart drawn"; exit 1; }
# A program copied away from its module: a clear refusal, no output.
mkdir -p elsewhere/alone && cd elsewhere && cp "$prefix/bin/rova" ../ALDER.FHX alone/
status=0
(cd alone && ./rova -q -n 20 -s 3 --plot ALDER.FHX 2> err.txt) || status=$?
[ "$status" -eq 1 ] || { echo "FAIL: without its module the run ended with $status"; exit 1; }
grep -q 'cannot draw the chart: the program.s module rova-chart.so is not installed beside' alone/err.txt ||
  { echo "FAIL: the missing module was not said"; cat alone/err.txt; exit 1; }
[ "$(cd alone && ls)" = "$(printf 'ALDER.FHX\nerr.txt\nrova')" ] ||
  { echo "FAIL: a run that could not draw its chart left files"; ls alone; exit 1; }
cd "$prefix"
printf 'INS\nALDER.FHX\n\n3\n10\n3\n6\nN\n\n' | "$prefix/bin/rova" > screen.out
grep -qE -- '- (Proverb|ROVA)$' screen.out || { echo "FAIL: no saying shown"; tail -20 screen.out; exit 1; }
echo PASS
