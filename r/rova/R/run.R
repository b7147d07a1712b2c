# Running the rova program in batch mode and reading what it wrote.

#' The rova program that rova_run starts
#'
#' The option \code{rova.program} when set, else the environment variable
#' \code{ROVA_PROGRAM} when set, else \code{rova} found on the PATH.
#'
#' @return the program's path; an error when none is found.
#' @export
rova_program <- function() {
  program <- getOption("rova.program")
  if (is.null(program) || !nzchar(program)) program <- Sys.getenv("ROVA_PROGRAM")
  if (!nzchar(program)) program <- unname(Sys.which("rova"))
  if (!nzchar(program))
    stop("the rova program was not found: install it, or give its path with ",
         "options(rova.program = ...) or the environment variable ROVA_PROGRAM",
         call. = FALSE)
  .existing_program(program)
}

# The program itself: a path that exists, or a name found on the PATH.
.existing_program <- function(program) {
  if (!is.character(program) || length(program) != 1L || !nzchar(program))
    stop("the rova program must be named by one path", call. = FALSE)
  if (file.exists(program)) return(program)
  found <- unname(Sys.which(program))
  if (!nzchar(found)) stop("the rova program ", program, " does not exist", call. = FALSE)
  found
}

# The command-line arguments of rova_run's further arguments: a name
# becomes its long option (underscores as hyphens), TRUE a flag alone,
# FALSE or NULL nothing, any other value the option's value; an unnamed
# argument is passed as it is.
.option_arguments <- function(options) {
  if (length(options) == 0L) return(character())
  names <- names(options)
  if (is.null(names)) names <- rep("", length(options))
  unlist(Map(function(name, value) {
    if (!nzchar(name)) return(as.character(value))
    if (is.null(value) || identical(value, FALSE)) return(character())
    option <- paste0("--", gsub("_", "-", name))
    if (identical(value, TRUE)) return(option)
    if (length(value) != 1L || is.na(value))
      stop("rova_run: ", name, " needs one value", call. = FALSE)
    c(option, format(value, scientific = FALSE, trim = TRUE))
  }, names, options), use.names = FALSE)
}

#' Run rova on fire-history files and read its results
#'
#' Runs the rova program in batch mode on \code{files} (FIRE2/FHX2 or Fire
#' Events files) with its tidy outputs (\code{--csv}) and a multi-site table,
#' in a temporary folder that is removed afterwards (or in
#' \code{output_dir}, which is kept), and reads them with
#' \code{\link{read_rova}}. Outputs are named after the whole file names
#' (\code{--full-names}), so sites whose names begin alike do not clash.
#'
#' @param files the fire-history files.
#' @param simulations simulations per sample size (\code{-n}).
#' @param seed the random seed (\code{-s}); \code{NULL} for the program's
#'   default, the day number of today.
#' @param method \code{"D"}, trees drawn without replacement, or \code{"R"},
#'   with replacement.
#' @param injuries \code{TRUE} to count injuries of all types as well as
#'   fire scars.
#' @param ... further options of the program: \code{segment_length = 100}
#'   gives \code{--segment-length 100}, \code{plot = TRUE} gives
#'   \code{--plot}; unnamed strings are passed as they are.
#' @param output_dir a folder to write the outputs to and keep them, or
#'   \code{NULL} for a temporary folder.
#' @param program the program to run; see \code{\link{rova_program}}.
#' @return what \code{\link{read_rova}} returns.
#' @export
rova_run <- function(files, simulations = 1000, seed = NULL, method = "D",
                     injuries = FALSE, ..., output_dir = NULL,
                     program = rova_program()) {
  if (!is.character(files) || length(files) == 0L)
    stop("rova_run: files must name at least one fire-history file", call. = FALSE)
  program <- .existing_program(program)
  method <- match.arg(method, c("D", "R"))
  if (!is.logical(injuries) || length(injuries) != 1L || is.na(injuries))
    stop("rova_run: injuries must be TRUE or FALSE", call. = FALSE)
  if (is.null(output_dir)) {
    output_dir <- tempfile("rova-")
    dir.create(output_dir)
    on.exit(unlink(output_dir, recursive = TRUE), add = TRUE)
  } else if (!dir.exists(output_dir)) {
    stop("rova_run: no folder ", output_dir, call. = FALSE)
  }
  arguments <- c("--quiet", "--csv", "--full-names",
                 "--output-dir", output_dir,
                 "--multi-site", "rova-sites.csv",
                 "--simulations", format(simulations, scientific = FALSE),
                 if (!is.null(seed)) c("--seed", format(seed, scientific = FALSE)),
                 if (method == "R") "--with-replacement",
                 if (injuries) "--injuries",
                 .option_arguments(list(...)),
                 "--", files)
  errors <- tempfile("rova-stderr-")
  on.exit(unlink(errors), add = TRUE)
  status <- suppressWarnings(
    system2(program, shQuote(arguments), stdout = FALSE, stderr = errors))
  if (!identical(as.integer(status), 0L)) {
    said <- if (file.exists(errors)) readLines(errors, warn = FALSE) else character()
    said <- said[nzchar(said)]
    if (length(said) == 0L) said <- paste("rova ended with exit status", status)
    stop(paste(said, collapse = "\n"), call. = FALSE)
  }
  read_rova(output_dir)
}
