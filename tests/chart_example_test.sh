#!/usr/bin/env bash
# Draws the example's chart in every format, whole span and by segments,
# and checks it as a reader would meet it: the SVG is well-formed XML, the
# PDF reads as text with the title, the input's name and the thresholds in
# words and renders as a page, the PNG is a 1400-pixel-wide picture, and a
# second run gives the same bytes.
#
# Usage: chart_example_test.sh ROVA SOURCE_DIR [KEEP_DIR]
# With KEEP_DIR the charts and the PDF's rendered pages stay there, to be
# looked at. Exit 77 (skipped) when xmllint, pdftotext or pdftoppm is
# missing.
set -euo pipefail

rova=$1
source_dir=$2
keep=${3:-}
for tool in xmllint pdftotext pdftoppm; do
  command -v "$tool" >/dev/null 2>&1 || { echo "skipped: no $tool"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$source_dir/examples/ALDER.FHX" "$work/"
fail() { echo "FAIL: $*" >&2; exit 1; }

# The width of a PNG, from its header.
png_width() { od -An -tu1 -j16 -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }'; }

check() {  # name, options...
  local name=$1; shift
  local out="$work/$name"
  mkdir -p "$out/again"
  for dir in "$out" "$out/again"; do
    (cd "$work" && "$rova" -q -f --no-spreadsheets -n 200 -s 12345 --title "Alder Creek example" \
      --plot-format svg,pdf,png -o "$dir" "$@" "$work/ALDER.FHX")
  done
  xmllint --noout "$out/ALDERRVADF.svg" || fail "$name: the SVG is not well-formed"
  local text
  text=$(pdftotext -enc UTF-8 "$out/ALDERRVADF.pdf" -)
  for words in "Alder Creek example" "ALDER.FHX" "Fire years found by the sample" \
               "confirmed by ≥ 2 trees of the site" "2.5–97.5 percentiles" "all frame trees" \
               "Trees in the sample" "Fire events per century" "not a confidence interval"; do
    grep -qF "$words" <<<"$text" || fail "$name: the PDF does not say '$words'"
  done
  grep -qF "$work" <<<"$text" && fail "$name: the PDF shows the input's folder"
  pdftoppm -r 100 -png -singlefile "$out/ALDERRVADF.pdf" "$out/pdf-page" || fail "$name: pdftoppm"
  [ "$(png_width "$out/pdf-page.png")" -eq 700 ] || fail "$name: the PDF page is not 7 inches wide"
  [ "$(head -c 8 "$out/ALDERRVADF.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "$name: the PNG has no PNG signature"
  [ "$(png_width "$out/ALDERRVADF.png")" -eq 1400 ] || fail "$name: the PNG is not 1400 pixels wide"
  for ext in svg pdf png; do
    cmp -s "$out/ALDERRVADF.$ext" "$out/again/ALDERRVADF.$ext" || fail "$name: two runs, two $ext files"
  done
  if [ -n "$keep" ]; then
    mkdir -p "$keep"
    for ext in svg pdf png; do cp "$out/ALDERRVADF.$ext" "$keep/$name.$ext"; done
    cp "$out/pdf-page.png" "$keep/$name-pdf-page.png"
  fi
  echo "$name: SVG, PDF and PNG checked"
}

check whole
check segments --segment-length 100 --segment-lag 50

# The compact figure through the command line: 3.5 inches wide as a PDF
# page (350 pixels at 100 per inch) and 1050 pixels wide as a PNG at 300
# per inch, the legend's words there and no caption.
compact() {  # name, options...
  local name=$1; shift
  local out="$work/$name"
  mkdir -p "$out"
  (cd "$work" && "$rova" -q -f --no-spreadsheets -n 200 -s 12345 --title "Alder Creek example" \
    --plot-style compact --plot-format svg,pdf,png --plot-dpi 300 -o "$out" "$@" "$work/ALDER.FHX")
  xmllint --noout "$out/ALDERRVADF.svg" || fail "$name: the SVG is not well-formed"
  grep -q 'width="252pt"' "$out/ALDERRVADF.svg" || fail "$name: the SVG is not 252 points wide"
  local text
  text=$(pdftotext -enc UTF-8 "$out/ALDERRVADF.pdf" -)
  grep -qF "confirmed by ≥ 2 trees" <<<"$text" || fail "$name: the PDF has no legend"
  grep -qF "Alder Creek example" <<<"$text" && fail "$name: the compact PDF shows the title"
  pdftoppm -r 100 -png -singlefile "$out/ALDERRVADF.pdf" "$out/pdf-page" || fail "$name: pdftoppm"
  [ "$(png_width "$out/pdf-page.png")" -eq 350 ] || fail "$name: the PDF page is not 3.5 inches wide"
  [ "$(png_width "$out/ALDERRVADF.png")" -eq 1050 ] || fail "$name: the PNG is not 1050 pixels wide"
  if [ -n "$keep" ]; then
    mkdir -p "$keep"
    for ext in svg pdf png; do cp "$out/ALDERRVADF.$ext" "$keep/$name.$ext"; done
  fi
  echo "$name: the compact SVG, PDF and PNG checked"
}

compact compact-whole
compact compact-segments --segment-length 100 --segment-lag 50
