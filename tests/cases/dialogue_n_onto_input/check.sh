cmp SMALL.FHX "$(dirname "$0")/../../data/SMALL.FHX"
[ "$(cat ZZRVA.OUT)" = "old report" ]
grep -q "EFFECT OF SAMPLE SIZE" ZZNEW.OUT
