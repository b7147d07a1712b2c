// The run's results as a tidy table for R, Python and spreadsheets, and the
// run's metadata as a small JSON file written beside it.
//
// The table is CSV with one header row of snake_case names and one row for
// every span, sample size and threshold (1 and 2), so that R's read.csv and
// pandas' read_csv read it as it is:
// - `site` first, the input file's name without folder and extension, so
//   that the tables of many sites can be stacked; written by csvField
//   (below): quoted when it holds a comma, a quote or a line end, defused
//   with a single quote when it begins like a formula, and percent-encoded
//   when it is not UTF-8;
// - `observed` is TRUE for the value of all trees (method D) and FALSE
//   otherwise, which both read as logicals;
// - NA where a value does not apply: the observed row's simulations, sd,
//   limits and percentiles (one value, no spread), and every value of a
//   threshold that a sample size has no result for (threshold 2 of one
//   tree, or a sample size when no simulations were asked for);
// - reals in full single precision: the shortest decimal text that reads
//   back to the very same float, so nothing of the analysis is lost to the
//   report's rounding; integers plain; lines end with "\n"; nothing depends
//   on the locale. A value that is not finite (it should not occur) is
//   written NaN, Inf or -Inf, which statistics packages read.
//
// - exact_mean and exact_sd are the exact expected value and standard
//   deviation of the sample size (sample_adequacy.h) drawn as the
//   simulations draw, from every series of the file, in double precision,
//   written with the shortest decimal text that reads back to the same
//   double; NA where the row is NA today;
// - mean_double and sd_double: the same simulations' mean and sd in double
//   precision; then the run's method, injuries_counted (TRUE/FALSE) and
//   seed, so that the tables of several runs stack.
//
// The meaning and unit of every column is in tidyCsvColumns().
//
// Reading a column as single precision (32-bit floats) gives the
// program's values exactly; rounding those to 3 decimals gives the
// spreadsheet's figures. A reader that rounds the decimal text itself as a
// double may differ in the last decimal where the float lies within a hair
// of a rounding tie.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/result_row.h"
#include "analysis/sample_adequacy.h"
#include "analysis/simulation_result.h"

namespace rova {

// One column of the table: its name, what it holds, and its unit.
struct TidyColumn {
  const char* name;
  const char* meaning;
  const char* unit;  // "" when the column has none
};

// Every column in the order of the table.
const std::vector<TidyColumn>& tidyCsvColumns();

// The header row of a table with these columns, ending in "\n".
std::string csvHeader(const std::vector<TidyColumn>& columns);

// A text made at run time (a column name made from a composite filter, its
// meaning) kept for as long as the program runs, as TidyColumn's plain
// pointers need; the same text is kept once.
const char* lastingText(const std::string& text);

// The header row, ending in "\n".
std::string tidyCsvHeader();

// The run's settings that every row repeats, so that tables of several
// runs can be stacked and still told apart.
struct TidyRunFacts {
  std::string method = "D";  // "D" or "R"
  bool injuriesCounted = false;
  int seed = 0;
};

// The rows of one sample size's results, thresholds 1 and 2, each ending
// in "\n". The exact columns come from `adequacy`, the adequacy of the
// result's span; NA without it.
std::string tidyCsvRows(const std::string& site, const SampleSizeResult& result,
                        const TidyRunFacts& facts, const SpanAdequacy* adequacy = nullptr);

// One data row for `row`, ending in "\n", its exact columns from `exact`
// (NA without it).
std::string tidyCsvRow(const std::string& site, const ResultRow& row, const TidyRunFacts& facts,
                       const ExpectedValue* exact = nullptr);

// The text of one double-precision value as the table writes it.
std::string tidyCsvDouble(double value);

// A text from the data (a site or file name) as a CSV field, so that the
// tables are valid UTF-8 and no spreadsheet takes a name for a formula:
// - a text that is not valid UTF-8 (a file name in another encoding) is
//   written as its bytes percent-encoded, the text the JSON metadata gives
//   for such a name;
// - a text that begins with =, +, -, @, a tab or a carriage return, which a
//   spreadsheet would read as a formula, gets a single quote before it and
//   is quoted, as the common advice against CSV injection says (the quote
//   shows in the cell; R and pandas read it as part of the text);
// - a text that holds a comma, a double quote or a line end is quoted,
//   its double quotes doubled.
std::string csvField(const std::string& text);

// The site of an input file: its name without folder and last extension.
std::string siteOf(const std::string& inputFile);

// The text of one single-precision value as the table writes it.
std::string tidyCsvNumber(float value);

// What the metadata file records about a run.
struct RunMetadata {
  std::string programVersion;
  std::vector<std::string> commandLine;  // the arguments as given
  std::string inputFile;    // the input file name as the user gave it
  std::string inputSha256;  // lower-case hex of the file's bytes
  std::string job;
  std::string title;
  std::string method;    // "D" without replacement, "R" with replacement
  std::string injuries;  // "F" fire scars only, "I" injuries of all types
  std::string created;   // ISO 8601 local time with its UTC offset
  int seed = 0;
  int simulations = 0;
  int firstYear = 0;
  int lastYear = 0;
  int segmentLength = 0;
  int segmentLag = 0;
  std::string site;                // siteOf(inputFile)
  std::vector<std::string> files;  // the files the run wrote
  // The SHA-256 of each of `files` (lower-case hex), "" for the metadata
  // file itself; empty: not written.
  std::vector<std::string> filesSha256;
  // The column dictionaries of the tables the run wrote, by table name.
  std::vector<std::pair<std::string, const std::vector<TidyColumn>*>> columns;
  // How many trees are enough: written when the criterion is set.
  std::optional<AdequacyCriterion> adequacy;
  std::string frame = "data";  // the sampling frame's rule
  // The composite filters ("25,2,1") and the rule by which a tree records:
  // written when the run asks for composites and intervals.
  std::vector<std::string> composites;
  std::string recordingRule;
  std::vector<SpanAdequacy> spans;  // in run order
};

// The metadata as a pretty-printed JSON object (two-space indent, final
// newline), written with nlohmann-json, with the keys in this order:
// program, version, site, command_line (the arguments as given),
// input_file, input_sha256 (null when the input could not be summed as
// read), job, title, seed, seed_effective (the seed's
// low 16 bits, the part that takes effect), simulations, method, injuries,
// first_year, last_year, segment_length, segment_lag, created (local time
// with its UTC offset), files, files_sha256 (the SHA-256 of each file
// written, null for the metadata file itself: a set mixed by a later run
// shows as a file whose sum differs), columns (per table, "tidy",
// "adequacy", "sites": every column's meaning and unit), and, when the
// adequacy criterion is set, adequacy ({"within_percent": X,
// "share_percent": P, "subsamples": N, "frame": "data"|"recorders"}) and
// spans: one object per span in run order with first_year, last_year,
// series, frame, frame_trees, chao2 (estimate, lower_95, upper_95 in fire
// events per century, capped at 100, null without frame trees; capped,
// complete, q1, q2, observed_years in fire years, cautions), trees_needed
// (per statistic: all_trees_value, trees_for_share and trees_for_mean,
// null when not reached, with their _reached flags; with --intervals also
// per filter and composite statistic, with its "filter", all_trees_value
// null where undefined, and trees_for_mean_reached null where the exact
// mean is not computed) and extrapolation
// (trees F + 1 .. 2F and the mean there). `method` and `injuries` are objects holding the one-letter
// code and its meaning, e.g. {"code": "D", "name": "without replacement"}
// (a code the program does not know gets the name "unknown").
//
// Names (input_file, the entries of files and of command_line) are written
// as strings only when they are valid UTF-8, so a name always reads back as
// the very bytes it names. A name that is not valid UTF-8 (an old Latin-1
// name, say) is written as null, and its bytes, percent-encoded (see
// percentEncoded in utf8.h), go into an extra key: input_file_bytes after
// input_file, and after files or command_line a list of the same length,
// files_bytes or command_line_bytes, holding the encoded bytes where the
// list holds null and null elsewhere. Valid UTF-8 gives no extra key.
//
// In other texts (the title) a byte that is not part of a valid UTF-8
// sequence is read as Latin-1, so the output is always valid JSON.
std::string runMetadataJson(const RunMetadata& meta);

// `text` with every byte that is not part of a valid UTF-8 sequence read
// as a Latin-1 character: valid UTF-8 whatever the bytes.
std::string latin1Repaired(const std::string& text);

}  // namespace rova
