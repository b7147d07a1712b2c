echo "the old report" > FULLRVA.OUT
