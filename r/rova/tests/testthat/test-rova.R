test_that("a run gives the tidy table as read.csv reads it, with the right types", {
  program <- skip_without_program()
  out <- tempfile("rova-test-")
  dir.create(out)
  on.exit(unlink(out, recursive = TRUE), add = TRUE)
  x <- rova_run(example_file("ALDER.FHX"), simulations = 50, seed = 12345,
                output_dir = out, program = program)
  expect_s3_class(x, "rova")
  written <- file.path(out, "ALDERRVADF.csv")
  expect_true(file.exists(written))
  expect_equal(x$tidy, read.csv(written))
  tidy <- x$tidy
  expect_type(tidy$observed, "logical")
  expect_type(tidy$trees, "integer")
  expect_type(tidy$threshold, "integer")
  expect_type(tidy$simulations, "integer")
  expect_type(tidy$sd, "double")
  expect_type(tidy$site, "character")
  expect_equal(unique(tidy$site), "ALDER")
  # The value of all trees has no spread: NA, not 0 or an empty string.
  expect_true(all(is.na(tidy$sd[tidy$observed])))
  expect_true(all(!is.na(tidy$sd[!tidy$observed & tidy$threshold == 1L])))
  expect_equal(sort(unique(tidy$trees)), 1:30)

  expect_equal(nrow(x$meta), 1L)
  expect_equal(x$meta$site, "ALDER")
  expect_equal(x$meta$seed, 12345)
  expect_equal(x$meta$simulations, 50L)
  expect_equal(x$meta$method, "D")
  expect_false(x$meta$injuries_counted)
  expect_match(x$meta$input_sha256, "^[0-9a-f]{64}$")

  expect_equal(x$sites$site, "ALDER")
  # The tree counts (trees, or series and frame_trees as later versions
  # name them) are integers.
  counts <- intersect(c("trees", "series", "frame_trees", "q1", "q2"), names(x$sites))
  expect_gte(length(counts), 3L)
  for (column in counts) expect_type(x$sites[[column]], "integer")
  expect_type(x$sites$observed_1, "double")
  if ("injuries" %in% names(x$sites)) expect_equal(x$sites$injuries, "F")
  if ("injuries_counted" %in% names(x$sites)) expect_false(x$sites$injuries_counted)
  # The temporary folder of a run without output_dir is removed.
  before <- list.files(tempdir(), pattern = "^rova-")
  rova_run(example_file("ALDER.FHX"), simulations = 5, seed = 3, program = program)
  expect_equal(list.files(tempdir(), pattern = "^rova-"), before)
})

test_that("the run's settings reach the program", {
  program <- skip_without_program()
  x <- rova_run(example_file("ALDER.FHX"), simulations = 20, seed = 7, method = "R",
                injuries = TRUE, segment_length = 100, segment_lag = 100,
                program = program)
  expect_equal(x$meta$method, "R")
  expect_true(x$meta$injuries_counted)
  expect_equal(x$meta$segment_length, 100L)
  spans <- unique(x$tidy[c("span_first_year", "span_last_year")])
  expect_gt(nrow(spans), 1L)
  expect_true(all(spans$span_last_year - spans$span_first_year == 99L))
  expect_false(any(x$tidy$observed))  # method R has no row of all trees
})

test_that("read_rova stacks the sites of a folder and leaves other tables alone", {
  program <- skip_without_program()
  out <- tempfile("rova-test-")
  dir.create(out)
  on.exit(unlink(out, recursive = TRUE), add = TRUE)
  status <- system2(program, c("-q", "--csv", "-n", "20", "-s", "5", "-o", shQuote(out),
                               "--multi-site", "all-sites.csv",
                               shQuote(example_file("ALDER.FHX")),
                               shQuote(example_file("CEDAR_EVENTS.TXT"))))
  expect_equal(status, 0L)
  writeLines(c("site,notes", "ALDER,not a table of the program"), file.path(out, "notes.csv"))
  x <- read_rova(out)
  expect_setequal(unique(x$tidy$site), c("ALDER", "CEDAR_EVENTS"))
  expect_equal(sort(x$meta$site), c("ALDER", "CEDAR_EVENTS"))
  expect_equal(sort(x$sites$site), c("ALDER", "CEDAR_EVENTS"))  # notes.csv is no site table
  expect_equal(max(x$tidy$trees[x$tidy$site == "CEDAR_EVENTS"]), 25L)
  # The program's adequacy tables, where it writes them, stack as well.
  adequacy <- file.path(out, c("ALDERRVADF-adequacy.csv", "CEDARRVADF-adequacy.csv"))
  if (all(file.exists(adequacy))) {
    expect_setequal(unique(x$adequacy$site), c("ALDER", "CEDAR_EVENTS"))
  } else {
    expect_null(x$adequacy)
  }
  expect_output(print(x), "2 sites: ALDER, CEDAR")

  # An adequacy table beside a tidy table is read with its types.
  alone <- file.path(out, "alone")
  dir.create(alone)
  file.copy(file.path(out, c("ALDERRVADF.csv", "ALDERRVADF.json")), alone)
  # The filter of the frequencies is NA throughout (read.csv alone would
  # take it for a logical), and a filter holds commas.
  writeLines(c("site,span_first_year,statistic,filter,trees,undefined_share,p50,share_within,share_exact",
               "ALDER,1600,fire_frequency,NA,1,0,12.5,0.25,TRUE",
               "ALDER,1600,fire_frequency,NA,2,NA,NA,NA,FALSE"),
             file.path(alone, "ALDERRVADF-adequacy.csv"))
  y <- read_rova(alone)
  expect_equal(nrow(y$adequacy), 2L)
  expect_type(y$adequacy$share_exact, "logical")
  expect_type(y$adequacy$trees, "integer")
  expect_type(y$adequacy$share_within, "double")
  expect_type(y$adequacy$filter, "character")
  expect_type(y$adequacy$p50, "double")
  expect_type(y$adequacy$undefined_share, "double")
  writeLines(c("site,statistic,filter,trees,p50",
               "ALDER,mean_interval,\"25,2,1\",3,11.5"),
             file.path(alone, "ALDERRVADF-adequacy.csv"))
  z <- read_rova(alone)
  expect_equal(z$adequacy$filter, "25,2,1")
  expect_equal(z$adequacy$p50, 11.5)
  # The multi-site columns of a filter are typed by their stem, even NA
  # throughout.
  writeLines(c("site,file,composite_frequency_25_2_1,mean_interval_25_2_1,trees_for_share_mean_interval_25_2_1",
               "ALDER,ALDER.FHX,NA,NA,NA"), file.path(alone, "sites.csv"))
  w <- read_rova(alone)
  expect_type(w$sites$composite_frequency_25_2_1, "double")
  expect_type(w$sites$mean_interval_25_2_1, "double")
  expect_type(w$sites$trees_for_share_mean_interval_25_2_1, "integer")
  expect_null(y$sites)
})

test_that("an error of the program is an R error with its message", {
  program <- skip_without_program()
  missing <- file.path(tempdir(), "no-such-site.fhx")
  expect_error(rova_run(missing, simulations = 5, program = program), "no-such-site.fhx")
  expect_error(rova_run(example_file("ALDER.FHX"), simulations = 5, program = program,
                        segment_length = "long"), "segment-length")
  expect_error(rova_run(example_file("ALDER.FHX"), program = file.path(tempdir(), "none")),
               "does not exist")
  expect_error(read_rova(file.path(tempdir(), "no-such-folder")), "no folder")
})

test_that("the program is found by option, then environment, then PATH", {
  withr_options <- options(rova.program = "/opt/a/rova")
  on.exit(options(withr_options), add = TRUE)
  expect_error(rova_program(), "/opt/a/rova does not exist")
  options(rova.program = NULL)
  old <- Sys.getenv("ROVA_PROGRAM", unset = NA)
  on.exit(if (is.na(old)) Sys.unsetenv("ROVA_PROGRAM") else Sys.setenv(ROVA_PROGRAM = old),
          add = TRUE)
  Sys.setenv(ROVA_PROGRAM = "/opt/b/rova")
  expect_error(rova_program(), "/opt/b/rova does not exist")
})

test_that("further arguments become the program's long options", {
  expect_equal(rova:::.option_arguments(list(segment_length = 100, plot = TRUE,
                                             force = FALSE, title = "A b", "--x")),
               c("--segment-length", "100", "--plot", "--title", "A b", "--x"))
  expect_equal(rova:::.option_arguments(list(simulations = 1e5)), c("--simulations", "100000"))
  expect_error(rova:::.option_arguments(list(seed = c(1, 2))), "seed needs one value")
})

test_that("plot_rova returns a ggplot of every site's curves", {
  program <- skip_without_program()
  skip_if_not_installed("ggplot2")
  x <- rova_run(c(example_file("ALDER.FHX"), example_file("CEDAR_EVENTS.TXT")),
                simulations = 20, seed = 9, program = program)
  p <- plot_rova(x)
  expect_s3_class(p, "ggplot")
  built <- ggplot2::ggplot_build(p)
  expect_equal(nrow(built$layout$layout), 2L)  # a panel per site
  expect_s3_class(plot_rova(x$tidy), "ggplot")
  expect_error(plot_rova(data.frame(a = 1)), "neither a rova result")
})
