# The tests run the program named by ROVA_PROGRAM (the build's, when CTest
# runs them), else rova on the PATH; without either they are skipped.
skip_without_program <- function() {
  program <- Sys.getenv("ROVA_PROGRAM")
  if (!nzchar(program)) program <- unname(Sys.which("rova"))
  skip_if(!nzchar(program) || !file.exists(program),
          "no rova program: set ROVA_PROGRAM or put rova on the PATH")
  program
}

example_file <- function(name) system.file("extdata", name, package = "rova", mustWork = TRUE)

