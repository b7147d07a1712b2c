mkfifo pipe.fhx
