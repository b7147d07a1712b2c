ln -s /dev/full FULLRVA.OUT
