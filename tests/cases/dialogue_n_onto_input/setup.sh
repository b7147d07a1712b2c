echo old report > ZZRVA.OUT
