# Reading the tidy outputs of rova runs: the tidy table (<stem>.csv), the
# adequacy table (<stem>-adequacy.csv, when the run wrote one), the
# multi-site table and the metadata (<stem>.json), where <stem> is
# <job>RVA<D|R><F|I>.

# The type of every column the program writes, by name. read.csv would guess
# most of them, but not a column that is NA throughout (read as logical), a
# site named by digits (read as a number) or the one-letter codes "F" and
# "T" (read as logicals). A column not named here (one of a later version)
# is left to read.csv's guess.
.rova_column_types <- c(
  site = "character", file = "character", method = "character",
  injuries = "character", frame = "character", statistic = "character",
  cautions = "character", filter = "character",
  span_first_year = "integer", span_last_year = "integer", years = "integer",
  trees = "integer", threshold = "integer", simulations = "integer",
  series = "integer", frame_trees = "integer", subsamples = "integer",
  q1 = "integer", q2 = "integer", observed_years = "integer",
  trees_needed_simulated_1 = "integer", trees_needed_exact_1 = "integer",
  trees_needed_simulated_2 = "integer", trees_needed_exact_2 = "integer",
  trees_for_share_1 = "integer", trees_for_mean_1 = "integer",
  trees_for_share_2 = "integer", trees_for_mean_2 = "integer",
  adequacy_subsamples = "integer",
  seed = "numeric",
  observed = "logical", injuries_counted = "logical", share_exact = "logical",
  chao2_capped = "logical", chao2_complete = "logical",
  mean = "numeric", sd = "numeric", mean_double = "numeric",
  sd_double = "numeric", lower_95 = "numeric", upper_95 = "numeric",
  lower_99 = "numeric", upper_99 = "numeric", lower_99_9 = "numeric",
  upper_99_9 = "numeric", p2_5 = "numeric", p50 = "numeric", p97_5 = "numeric",
  p0_5 = "numeric", p99_5 = "numeric", exact_mean = "numeric",
  exact_sd = "numeric", observed_1 = "numeric", observed_2 = "numeric",
  chao2_estimate = "numeric", chao2_lower_95 = "numeric",
  chao2_upper_95 = "numeric", within_percent = "numeric",
  of_simulations_percent = "numeric", share_percent = "numeric",
  all_trees_value = "numeric", share_within = "numeric",
  share_within_se = "numeric", undefined_share = "numeric")

# The multi-site table's columns of a composite filter (--intervals) are
# named with the filter, e.g. mean_interval_25_2_1: typed by their stem.
.rova_filter_column_types <- c(
  "^trees_for_share_" = "integer", "^composite_frequency_" = "numeric",
  "^mean_interval_" = "numeric", "^weibull_median_interval_" = "numeric")

# One CSV of the program, each known column with its type.
.read_rova_csv <- function(path) {
  header <- names(utils::read.csv(path, nrows = 0L, check.names = FALSE,
                                  encoding = "UTF-8"))
  classes <- unname(.rova_column_types[header])
  for (stem in names(.rova_filter_column_types)) {
    classes[is.na(classes) & grepl(stem, header)] <- .rova_filter_column_types[[stem]]
  }
  utils::read.csv(path, colClasses = classes, na.strings = "NA",
                  check.names = FALSE, stringsAsFactors = FALSE,
                  encoding = "UTF-8")
}

# Data frames one above the other; a column missing from some of them (a
# table of another version) is NA there.
.stack <- function(frames) {
  frames <- Filter(Negate(is.null), frames)
  if (length(frames) == 0L) return(NULL)
  columns <- unique(unlist(lapply(frames, names)))
  filled <- lapply(frames, function(frame) {
    for (column in setdiff(columns, names(frame))) frame[[column]] <- NA
    frame[columns]
  })
  stacked <- do.call(rbind, filled)
  rownames(stacked) <- NULL
  stacked
}

# A JSON value that may be null, as one element of a data frame's row.
.scalar <- function(value, missing = NA) {
  if (is.null(value) || length(value) != 1L) missing else value
}

# The site of a run: the metadata's own, else the input file's name without
# folder and extension, as the tidy table names it.
.site_of <- function(json) {
  if (!is.null(json$site)) return(json$site)
  input <- .scalar(json$input_file, NA_character_)
  if (is.na(input)) return(NA_character_)
  sub("\\.[^.]*$", "", basename(input))
}

# One row of metadata from one JSON file.
.meta_row <- function(json, path) {
  adequacy <- json$adequacy
  data.frame(
    site = .site_of(json),
    input_file = .scalar(json$input_file, NA_character_),
    input_sha256 = .scalar(json$input_sha256, NA_character_),
    job = .scalar(json$job, NA_character_),
    title = .scalar(json$title, NA_character_),
    version = .scalar(json$version, NA_character_),
    seed = as.numeric(.scalar(json$seed)),
    seed_effective = as.numeric(.scalar(json$seed_effective)),
    simulations = as.integer(.scalar(json$simulations)),
    method = .scalar(json$method$code, NA_character_),
    injuries_counted = identical(json$injuries$code, "I"),
    first_year = as.integer(.scalar(json$first_year)),
    last_year = as.integer(.scalar(json$last_year)),
    segment_length = as.integer(.scalar(json$segment_length)),
    segment_lag = as.integer(.scalar(json$segment_lag)),
    within_percent = as.numeric(.scalar(adequacy$within_percent)),
    of_simulations_percent = as.numeric(.scalar(adequacy$of_simulations_percent)),
    created = .scalar(json$created, NA_character_),
    metadata_file = basename(path),
    stringsAsFactors = FALSE)
}

# The names of the tidy table's metadata files in a folder: <stem>.json
# with <stem> ending in RVA and the method and injuries letters.
.metadata_files <- function(folder) {
  sort(list.files(folder, pattern = "RVA[DR][FI]\\.json$", full.names = TRUE))
}

# Is this CSV file a multi-site table? Told by its first columns, whatever
# name the run gave it.
.is_site_table <- function(path) {
  header <- tryCatch(names(utils::read.csv(path, nrows = 0L, check.names = FALSE)),
                     error = function(e) character())
  length(header) >= 2L && identical(header[1:2], c("site", "file"))
}

#' Read the tidy outputs of earlier rova runs
#'
#' Reads every run's tidy table, adequacy table (when the run wrote one) and
#' metadata found in a folder, and every multi-site table there, into data
#' frames with the program's column types. Runs of several sites stack:
#' each table has a \code{site} column.
#'
#' @param folder the folder the runs wrote their outputs to (their
#'   \code{--output-dir}), holding the \code{.json} metadata beside each
#'   tidy table (\code{--csv}).
#' @return a list of class \code{"rova"} with the data frames \code{tidy}
#'   (one row per site, span, sample size and threshold), \code{adequacy}
#'   (\code{NULL} when no run wrote one), \code{sites} (the multi-site
#'   tables, \code{NULL} when there is none) and \code{meta} (one row per
#'   run: site, input file and its SHA-256, seed, simulations, method,
#'   injuries, span, segments, criteria), and \code{folder}.
#' @examples
#' \dontrun{
#' x <- read_rova("results")
#' str(x$tidy)
#' }
#' @export
read_rova <- function(folder) {
  if (!dir.exists(folder)) stop("read_rova: no folder ", folder, call. = FALSE)
  metadata <- .metadata_files(folder)
  if (length(metadata) == 0L)
    stop("read_rova: ", folder, " holds no rova metadata (<job>RVA<D|R><F|I>.json);",
         " were the runs made with --csv?", call. = FALSE)
  tidy <- list()
  adequacy <- list()
  meta <- list()
  for (path in metadata) {
    json <- jsonlite::fromJSON(path, simplifyVector = FALSE)
    stem <- sub("\\.json$", "", path)
    table <- paste0(stem, ".csv")
    if (!file.exists(table))
      stop("read_rova: ", basename(path), " has no tidy table ", basename(table),
           " beside it", call. = FALSE)
    tidy[[path]] <- .read_rova_csv(table)
    adequate <- paste0(stem, "-adequacy.csv")
    if (file.exists(adequate)) adequacy[[path]] <- .read_rova_csv(adequate)
    meta[[path]] <- .meta_row(json, path)
  }
  outputs <- c(paste0(sub("\\.json$", "", metadata), ".csv"),
               paste0(sub("\\.json$", "", metadata), "-adequacy.csv"))
  others <- setdiff(list.files(folder, pattern = "\\.csv$", full.names = TRUE), outputs)
  sites <- lapply(Filter(.is_site_table, others), .read_rova_csv)
  structure(list(tidy = .stack(tidy), adequacy = .stack(adequacy),
                 sites = .stack(sites), meta = .stack(meta),
                 folder = normalizePath(folder)),
            class = "rova")
}

#' @export
print.rova <- function(x, ...) {
  sites <- unique(x$meta$site)
  cat("rova results of ", length(sites), " site", if (length(sites) != 1L) "s",
      ": ", paste(sites, collapse = ", "), "\n", sep = "")
  for (name in c("tidy", "adequacy", "sites", "meta")) {
    frame <- x[[name]]
    cat(sprintf("  $%-9s %s\n", name,
                if (is.null(frame)) "NULL"
                else sprintf("%d rows, %d columns", nrow(frame), ncol(frame))))
  }
  invisible(x)
}
