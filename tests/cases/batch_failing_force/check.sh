[ "$(cat ALDERRVA.OUT)" = "old report" ]
[ "$(cat ALDERRVADF.json)" = "old metadata" ]
[ -d ALDERRVADF.csv ]
[ ! -e ALDERRVADF.XL1 ]
