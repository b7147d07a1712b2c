#!/usr/bin/env python3
"""The tidy table as R and Python read it, untouched.

Runs the real program on the example data (whole span, and segments with
method R, where no row is observed), then reads each table with Python's
csv module and with R's read.csv, and checks the types and the NAs:
observed is logical, every value column numeric, NA exactly where a value
does not apply, a row for every span, sample size and threshold, and a
site column that lets the tables of two sites be stacked.

Usage: csv_readers_test.py ROVA_BINARY SOURCE_DIR
"""
import csv
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROVA = SOURCE = None
VALUES = ["mean", "sd", "lower_95", "upper_95", "lower_99", "upper_99", "lower_99_9",
          "upper_99_9", "p2_5", "p97_5", "p0_5", "p99_5"]
SPREAD = VALUES[1:]


def run_rova(folder, *arguments):
    env = dict(os.environ, HOME=folder, XDG_CONFIG_HOME=os.path.join(folder, "config"))
    subprocess.run([ROVA, "-q", "--csv", "--no-spreadsheets", "-o", folder, *arguments], check=True,
                   env=env, timeout=120)


class TidyTable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        data = os.path.join(cls.folder, "ALDER.FHX")
        shutil.copy(os.path.join(SOURCE, "examples", "ALDER.FHX"), data)
        shutil.copy(os.path.join(SOURCE, "examples", "ALDER.FHX"), os.path.join(cls.folder, "BIRCH.FHX"))
        run_rova(cls.folder, "-n", "20", "-s", "5", "--intervals", data)
        run_rova(cls.folder, "-n", "20", "-s", "5", "-R", "--segment-length", "200",
                 "--segment-lag", "100", os.path.join(cls.folder, "BIRCH.FHX"))
        cls.tables = [os.path.join(cls.folder, "ALDERRVADF.csv"), os.path.join(cls.folder, "BIRCHRVARF.csv")]
        cls.adequacy = [os.path.join(cls.folder, "ALDERRVADF-adequacy.csv"),
                        os.path.join(cls.folder, "BIRCHRVARF-adequacy.csv")]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def rows(self, path):
        with open(path, newline="") as f:
            return list(csv.DictReader(f))

    def test_python_reads_logicals_numbers_and_na(self):
        for path in self.tables:
            rows = self.rows(path)
            spans = {(r["span_first_year"], r["span_last_year"]) for r in rows}
            trees = {int(r["trees"]) for r in rows}
            # Every span, sample size and threshold has its row.
            self.assertEqual(len(rows), len(spans) * len(trees) * 2, path)
            for r in rows:
                self.assertIn(r["observed"], ("TRUE", "FALSE"))
                observed = r["observed"] == "TRUE"
                lonely = r["trees"] == "1" and r["threshold"] == "2"
                if observed:
                    self.assertEqual(r["simulations"], "NA")
                    self.assertNotEqual(r["mean"], "NA")
                    self.assertTrue(all(r[c] == "NA" for c in SPREAD), r)
                elif lonely:
                    self.assertTrue(all(r[c] == "NA" for c in VALUES), r)
                else:
                    for c in VALUES:
                        float(r[c])
            self.assertEqual(any(r["observed"] == "TRUE" for r in rows), "ALDER" in path)

    def test_r_reads_logicals_numbers_na_and_stacks_sites(self):
        rscript = shutil.which("Rscript")
        if rscript is None:
            self.skipTest("Rscript is not installed")
        program = r"""
files <- commandArgs(trailingOnly = TRUE)
tables <- lapply(files, read.csv)
d <- do.call(rbind, tables)
stopifnot(is.logical(d$observed), is.character(d$site))
for (column in c("mean", "sd", "lower_95", "upper_99_9", "p2_5", "p99_5", "simulations"))
  stopifnot(is.numeric(d[[column]]))
stopifnot(setequal(unique(d$site), c("ALDER", "BIRCH")))
stopifnot(all(is.na(d$sd[d$observed])), all(!is.na(d$mean[d$observed])))
lonely <- d$trees == 1 & d$threshold == 2
stopifnot(any(lonely), all(is.na(d$mean[lonely])))
stopifnot(all(!is.na(d$sd[!d$observed & !lonely])))
cat(nrow(d), "rows\n")
"""
        result = subprocess.run([rscript, "-e", program, *self.tables], capture_output=True, text=True,
                                timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("rows", result.stdout)

    def test_metadata_names_the_sum_of_every_file_written(self):
        for job in ("ALDERRVADF", "BIRCHRVARF"):
            with open(os.path.join(self.folder, job + ".json")) as f:
                meta = json.load(f)
            self.assertEqual(len(meta["files"]), len(meta["files_sha256"]))
            for name, sum_ in zip(meta["files"], meta["files_sha256"]):
                if name.endswith(".json"):
                    self.assertIsNone(sum_)  # a file cannot hold its own sum
                    continue
                with open(name, "rb") as f:
                    self.assertEqual(hashlib.sha256(f.read()).hexdigest(), sum_, name)
            self.assertEqual(meta["site"], job[:5])
            self.assertEqual(set(meta["columns"]), {"tidy", "adequacy", "years"} if job == "ALDERRVADF"
                             else {"tidy", "adequacy"})

    def test_r_reads_the_adequacy_table_with_its_types(self):
        rscript = shutil.which("Rscript")
        if rscript is None:
            self.skipTest("Rscript is not installed")
        program = r"""
files <- commandArgs(trailingOnly = TRUE)
d <- do.call(rbind, lapply(files, read.csv))
stopifnot(is.logical(d$share_exact), is.character(d$frame), is.character(d$statistic))
for (column in c("trees", "frame_trees", "subsamples"))
  stopifnot(is.integer(d[[column]]))
for (column in c("all_trees_value", "exact_mean", "mean", "sd", "p2_5", "p50", "p97_5",
                 "share_within", "undefined_share"))
  stopifnot(is.numeric(d[[column]]))
stopifnot(all(d$trees >= 1 & d$trees <= d$frame_trees))
frequencies <- c("fire_frequency", "fire_frequency_confirmed")
# With --intervals (the first run), per filter the composite and interval
# statistics; without (the second), the frequencies alone.
stopifnot(setequal(unique(d$statistic), c(frequencies, "composite_frequency", "mean_interval",
                                          "median_interval", "weibull_median_interval",
                                          "weibull_lower_exceedance", "weibull_upper_exceedance",
                                          "weibull_shape", "weibull_scale")))
second <- read.csv(files[2])
stopifnot(setequal(unique(second$statistic), frequencies), all(is.na(second$filter)))
stopifnot(is.character(d$filter), all(is.na(d$filter) == (d$statistic %in% frequencies)))
stopifnot(setequal(unique(d$filter[!is.na(d$filter)]), c("25,2,1", "0,1,1")))
stopifnot(all(d$undefined_share[d$statistic %in% frequencies] == 0))
stopifnot(all(d$undefined_share >= 0 & d$undefined_share <= 1))
stopifnot(all(d$share_within_se[d$share_exact] == 0, na.rm = TRUE))
stopifnot(all(d$p2_5 <= d$p50 & d$p50 <= d$p97_5, na.rm = TRUE))
# The frame's Weibull median lies between its exceedance intervals.
value <- function(statistic, filter) d$all_trees_value[d$statistic == statistic & d$filter %in% filter][1]
for (f in c("25,2,1", "0,1,1"))
  stopifnot(value("weibull_lower_exceedance", f) <= value("weibull_median_interval", f),
            value("weibull_median_interval", f) <= value("weibull_upper_exceedance", f))
y <- read.csv(sub("adequacy", "years", files[1]))
stopifnot(is.logical(y$composite_25_2_1), is.logical(y$composite_0_1_1), is.integer(y$year))
stopifnot(all(y$scarred_trees <= y$recording_trees), all(y$composite_0_1_1 == (y$scarred_trees > 0)))
cat(nrow(d), "rows\n")
"""
        result = subprocess.run([rscript, "-e", program, *self.adequacy], capture_output=True,
                                text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("rows", result.stdout)


if __name__ == "__main__":
    ROVA = os.path.abspath(sys.argv.pop(1))
    SOURCE = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
