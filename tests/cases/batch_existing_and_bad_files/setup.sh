echo keep me > SMALLRVA.OUT
