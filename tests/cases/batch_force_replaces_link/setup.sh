echo "not ROVA's" > precious.txt
ln -s precious.txt ALDERRVA.OUT
