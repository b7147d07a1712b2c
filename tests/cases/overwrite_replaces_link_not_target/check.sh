[ "$(cat TARGET.TXT)" = "not ROVA's" ]
[ ! -L FULLRVA.OUT ] && [ -f FULLRVA.OUT ]
grep -q "EFFECT OF SAMPLE SIZE" FULLRVA.OUT
