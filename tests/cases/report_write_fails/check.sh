[ "$(cat FULLRVA.OUT)" = "the old report" ]
