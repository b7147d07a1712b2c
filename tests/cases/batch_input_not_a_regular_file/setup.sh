mkdir adir
mkfifo pipe.fhx
