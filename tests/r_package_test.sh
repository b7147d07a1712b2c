#!/usr/bin/env bash
# The R package r/rova: installed into a temporary library and its testthat
# suite run against the built program. Skipped (status 77), saying why,
# when R or one of the R packages it needs is not installed.
set -euo pipefail
program="$1"; source_dir="$2"
if ! command -v Rscript > /dev/null; then
  echo "SKIPPED: R is not installed (Debian package r-base-core; scripts/ensure-tools --tests installs it)"
  exit 77
fi
for package in jsonlite testthat; do
  if ! Rscript -e "quit(status = !requireNamespace('$package', quietly = TRUE))" > /dev/null 2>&1; then
    echo "SKIPPED: the R package $package is not installed (Debian package r-cran-$package;" \
         "scripts/ensure-tools --tests installs it)"
    exit 77
  fi
done
library="$(mktemp -d "${TMPDIR:-/tmp}/rova-r-library-XXXXXX")"
trap 'rm -rf "$library"' EXIT
R CMD INSTALL --no-html -l "$library" "$source_dir/r/rova" > "$library/install.log" 2>&1 ||
  { echo "FAIL: R CMD INSTALL r/rova"; cat "$library/install.log"; exit 1; }
cd "$source_dir/r/rova/tests/testthat"
ROVA_PROGRAM="$program" R_LIBS="$library" Rscript -e '
  library(testthat); library(rova)
  test_dir(".", package = "rova", load_package = "installed", reporter = "summary",
           stop_on_failure = TRUE)'
