[ "$(cat precious.txt)" = "not ROVA's" ]
[ ! -L ALDERRVA.OUT ]
grep -q "EFFECT OF SAMPLE SIZE" ALDERRVA.OUT
