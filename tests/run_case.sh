#!/usr/bin/env bash
# Runs one end-to-end case: the real binary in a new temporary directory,
# the case's answers piped into its keyboard. Then compares the files it
# wrote with the case's expected files (a unified diff on failure), checks
# the exit status and the lines the screen and the error stream must show.
#
# A case folder holds:
#   answers.txt      the keyboard input (none: an empty input)
#   args.txt         command-line arguments, one a line (batch mode)
#   env.txt          environment settings for the run, VAR=value a line
#   no-escapes       present: the screen must hold no escape sequence
#   inputs.txt       files to copy into the directory: "SOURCE [NAME]",
#                    SOURCE relative to the source tree (optional)
#   setup.sh         commands run in the directory before the program (optional)
#   status           the expected exit status (default 0)
#   expected/        files that must be written, compared line by line with
#                    trailing blanks ignored; the date and day number of a
#                    report's page heading are not compared
#   screen.txt       lines that must appear on the screen (optional)
#   stderr.txt       lines that must appear on the error stream (optional)
#   not-shown.txt    lines that must not appear on the screen (optional)
#   absent.txt       names of files that must not exist afterwards (optional)
#   file-size-limit  the largest file, in 1024-byte blocks, that the program
#                    may write (ulimit -f; a larger write fails, as on a full
#                    disk) (optional)
#   check.sh         commands run in the directory after the program; a
#                    non-zero exit fails the case (optional)
#   Every case fails when the directory holds a temporary output file.
#
# A fourth argument names a build of the simulations' inner loop
# (portable, avx2, avx512): the case runs with ROVA_KERNEL set to it, and
# is skipped, saying why, when the program refuses it on this processor.
set -uo pipefail
binary="$1"; case_dir="$2"; source_dir="$3"; kernel="${4:-}"
if [ -n "$kernel" ]; then
  if ! refusal="$(ROVA_KERNEL="$kernel" "$binary" --version 2>&1 >/dev/null)"; then
    echo "SKIPPED: $refusal"
    exit 77
  fi
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/rova-e2e-XXXXXX")"
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

if [ -f "$case_dir/inputs.txt" ]; then
  while read -r src name; do
    [ -n "$src" ] || continue
    cp "$source_dir/$src" "$work/${name:-$(basename "$src")}"
  done < "$case_dir/inputs.txt"
fi
if [ -f "$case_dir/setup.sh" ]; then (cd "$work" && bash "$case_dir/setup.sh"); fi

# The user's settings and sayings are kept out of the run: a case sees only
# what its own folder and setup give it.
mkdir -p "$work/.home"
args=()
if [ -f "$case_dir/args.txt" ]; then mapfile -t args < "$case_dir/args.txt"; fi
envs=()
if [ -f "$case_dir/env.txt" ]; then mapfile -t envs < "$case_dir/env.txt"; fi
[ -n "$kernel" ] && envs+=("ROVA_KERNEL=$kernel")
input=/dev/null
[ -f "$case_dir/answers.txt" ] && input="$case_dir/answers.txt"
limit=unlimited
[ -f "$case_dir/file-size-limit" ] && limit="$(cat "$case_dir/file-size-limit")"
# Past the limit a write fails with "File too large" instead of the signal
# that would end the program.
# The screen goes through a pipe, which the limit does not cut.
(cd "$work" && ulimit -f "$limit" && trap '' XFSZ && \
   exec env HOME="$work/.home" XDG_CONFIG_HOME="$work/.home/config" "${envs[@]}" \
   "$binary" "${args[@]}" < "$input" 2> stderr.out) | cat > "$work/screen.out"
status=${PIPESTATUS[0]}
expected_status=0
[ -f "$case_dir/status" ] && expected_status="$(cat "$case_dir/status")"
[ "$status" = "$expected_status" ] || fail "exit status $status, expected $expected_status"

normalise() {
  # Trailing blanks are not compared; nor are the clock fields of a report's
  # page heading.
  sed -e 's/[ \t]*$//' \
      -e '/^ \[\]  /{s/\(Program ...\).*\(Page\)/\1 <clock> \2/;s/\(Version .....\).*/\1 <day>/}' "$1"
}

if [ -d "$case_dir/expected" ]; then
  for expected in "$case_dir/expected/"*; do
    name="$(basename "$expected")"
    if [ ! -f "$work/$name" ]; then fail "$name was not written"; continue; fi
    if ! diff -u --label "expected/$name" --label "written/$name" \
         <(normalise "$expected") <(normalise "$work/$name"); then
      fail "$name differs"
    fi
  done
fi
check_lines() {
  local list="$1" file="$2" what="$3"
  [ -f "$list" ] || return 0
  while IFS= read -r line; do
    [ -n "$line" ] || continue
    grep -qF -- "$line" "$file" || fail "$what does not show: $line"
  done < "$list"
}
check_lines "$case_dir/screen.txt" "$work/screen.out" "the screen"
check_lines "$case_dir/stderr.txt" "$work/stderr.out" "the error stream"
if [ -f "$case_dir/not-shown.txt" ]; then
  while IFS= read -r line; do
    [ -n "$line" ] && grep -qF -- "$line" "$work/screen.out" && fail "the screen shows: $line"
  done < "$case_dir/not-shown.txt"
fi
if [ -f "$case_dir/no-escapes" ] && grep -q $'\x1b' "$work/screen.out"; then
  fail "the screen holds escape sequences"
fi
if [ -f "$case_dir/absent.txt" ]; then
  while read -r name; do
    [ -n "$name" ] && [ -e "$work/$name" ] && fail "$name exists but must not"
  done < "$case_dir/absent.txt"
fi
if [ -f "$case_dir/check.sh" ]; then
  (cd "$work" && bash "$case_dir/check.sh") || fail "check.sh failed"
fi
leftovers="$(find "$work" -name '.rova-*' -print)"
[ -z "$leftovers" ] || fail "temporary files were left: $leftovers"
if [ "$failed" != 0 ]; then
  echo "--- screen (last 30 lines)"; tail -n 30 "$work/screen.out"
  echo "--- error stream"; cat "$work/stderr.out"
  if [ -n "${ROVA_UPDATE_EXPECTED:-}" ] && [ -d "$case_dir/expected" ]; then
    for expected in "$case_dir/expected/"*; do
      [ -f "$work/$(basename "$expected")" ] && cp "$work/$(basename "$expected")" "$expected"
    done
    echo "expected files updated from this run"
  fi
  exit 1
fi
echo "PASS"
