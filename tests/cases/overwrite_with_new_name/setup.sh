echo old report > NEWRVA.OUT
echo old > NEWRVADF.XL1
