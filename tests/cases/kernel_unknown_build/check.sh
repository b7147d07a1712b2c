# Refused before the dialogue starts: nothing on the screen, one line on
# the error stream, no file written.
[ ! -s screen.out ] || { echo "the screen shows something"; exit 1; }
[ "$(wc -l < stderr.out)" = 1 ] || { echo "the error stream has $(wc -l < stderr.out) lines"; exit 1; }
written="$(ls | grep -v -x -e screen.out -e stderr.out)"
[ -z "$written" ] || { echo "files were written: $written"; exit 1; }
