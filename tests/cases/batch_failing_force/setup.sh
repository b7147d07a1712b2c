echo "old report" > ALDERRVA.OUT
echo "old metadata" > ALDERRVADF.json
mkdir ALDERRVADF.csv
