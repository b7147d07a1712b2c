#include "cli/command_line.h"

#include <getopt.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "analysis/fire_intervals.h"
#include "export/chart_render.h"
#include "records/option_rules.h"
#include "records/version.h"
#include <utility>

namespace rova {
namespace {

constexpr int kMostAdequacySubsamples = 100000;

// A whole number that fits in 32 signed bits, with nothing else around it.
std::optional<int> strictInteger(const std::string& text) {
  std::size_t i = text[0] == '+' || text[0] == '-' ? 1 : 0;
  if (text.empty() || i == text.size() || text.size() > 12) return std::nullopt;
  for (std::size_t j = i; j < text.size(); ++j)
    if (text[j] < '0' || text[j] > '9') return std::nullopt;
  const long long value = std::stoll(text);
  if (value < -2147483648LL || value > 2147483647LL) return std::nullopt;
  return static_cast<int>(value);
}

// Digits with an optional sign: a whole number, whether it fits or not.
bool wholeNumberText(const std::string& text) {
  const std::size_t from = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  return text.size() > from && text.find_first_not_of("0123456789", from) == std::string::npos;
}

// A percentage: a plain decimal number from 0 to `most`, nothing else
// around it.
std::optional<double> strictPercent(const std::string& text, double most) {
  const std::optional<double> value = plainDecimal(text);
  if (!value || *value > most) return std::nullopt;
  return value;
}

struct ValueOption {
  const char* name;
  char shortName;
  std::function<bool(BatchOptions&, const std::string&)> apply;  // false: not a usable value
};

struct FlagOption {
  const char* name;
  char shortName;
  bool& (*flag)(BatchOptions&);
};

ValueOption integerOption(const char* name, char shortName, std::optional<int> BatchOptions::*field) {
  return {name, shortName, [field](BatchOptions& o, const std::string& v) {
            auto value = strictInteger(v);
            if (!value) return false;
            o.*field = value;
            return true;
          }};
}

// A list of chart formats; asking for a format asks for the chart.
bool applyPlotFormats(BatchOptions& o, const std::string& list) {
  const std::optional<std::vector<ChartFormat>> formats = parseChartFormats(list);
  if (!formats) return false;
  o.outputs.plotFormats = *formats;
  o.outputs.plot = true;
  return true;
}

// The chart's style, "compact" or "full" (in any case); asking for a style
// asks for the chart.
bool applyPlotStyle(BatchOptions& o, const std::string& value) {
  std::string word = value;
  for (char& c : word) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (word != "compact" && word != "full") return false;
  o.outputs.plotStyle = word == "compact" ? ChartStyle::kCompact : ChartStyle::kFull;
  o.outputs.plot = true;
  return true;
}

// The PNG's pixels per inch, a whole number from kChartMinDpi to
// kChartMaxDpi.
bool applyPlotDpi(BatchOptions& o, const std::string& value) {
  const std::optional<int> dpi = strictInteger(value);
  if (!dpi || *dpi < kChartMinDpi || *dpi > kChartMaxDpi) return false;
  o.outputs.plotDpi = *dpi;
  return true;
}

const std::vector<ValueOption>& valueOptions() {
  static const std::vector<ValueOption> options = {
      {"job", 'j', [](BatchOptions& o, const std::string& v) { o.job = v; return !v.empty(); }},
      {"title", 't', [](BatchOptions& o, const std::string& v) { o.title = v; return true; }},
      integerOption("first-year", 0, &BatchOptions::firstYear),
      integerOption("last-year", 0, &BatchOptions::lastYear),
      integerOption("segment-length", 0, &BatchOptions::segmentLength),
      integerOption("segment-lag", 0, &BatchOptions::segmentLag),
      integerOption("simulations", 'n', &BatchOptions::simulations),
      integerOption("seed", 's', &BatchOptions::seed),
      {"output-dir", 'o',
       [](BatchOptions& o, const std::string& v) { o.outputs.outputDirectory = v; return !v.empty(); }},
      {"plot-format", 0, applyPlotFormats},
      {"plot-style", 0, applyPlotStyle},
      {"plot-dpi", 0, applyPlotDpi},
      {"multi-site", 0,
       [](BatchOptions& o, const std::string& v) { o.summary = v; return !v.empty(); }},
      {"adequacy-within", 0,
       [](BatchOptions& o, const std::string& v) {
         const auto value = strictPercent(v, 1e9);
         if (value) o.outputs.adequacyWithin = *value;
         return value.has_value();
       }},
      {"adequacy-share", 0,
       [](BatchOptions& o, const std::string& v) {
         const auto value = strictPercent(v, 100);
         if (value) o.outputs.adequacyShare = *value;
         return value.has_value();
       }},
      {"adequacy-subsamples", 0,
       [](BatchOptions& o, const std::string& v) {
         const auto value = strictInteger(v);
         if (!value || *value < 0 || *value > kMostAdequacySubsamples) return false;
         o.outputs.adequacySubsamples = value;
         return true;
       }},
      {"composite", 0,
       [](BatchOptions& o, const std::string& v) {
         const auto filter = parseCompositeFilter(v);
         if (!filter) return false;
         o.outputs.composites.push_back(*filter);
         o.outputs.intervals = true;
         return true;
       }},
      {"frame", 0,
       [](BatchOptions& o, const std::string& v) {
         if (v != "data" && v != "recorders") return false;
         o.outputs.frame = v == "data" ? FrameRule::kData : FrameRule::kRecorders;
         return true;
       }},
  };
  return options;
}

const std::vector<FlagOption>& flagOptions() {
  static const std::vector<FlagOption> options = {
      {"with-replacement", 'R', [](BatchOptions& o) -> bool& { return o.withReplacement; }},
      {"injuries", 'I', [](BatchOptions& o) -> bool& { return o.injuries; }},
      {"no-spreadsheets", 0, [](BatchOptions& o) -> bool& { return o.noSpreadsheets; }},
      {"force", 'f', [](BatchOptions& o) -> bool& { return o.force; }},
      {"full-names", 0, [](BatchOptions& o) -> bool& { return o.fullNames; }},
      {"csv", 0, [](BatchOptions& o) -> bool& { return o.outputs.csv; }},
      {"plot", 0, [](BatchOptions& o) -> bool& { return o.outputs.plot; }},
      {"extrapolate", 0, [](BatchOptions& o) -> bool& { return o.outputs.extrapolate; }},
      {"intervals", 0, [](BatchOptions& o) -> bool& { return o.outputs.intervals; }},
      {"quiet", 'q', [](BatchOptions& o) -> bool& { return o.quiet; }},
      {"help", 'h', [](BatchOptions& o) -> bool& { return o.help; }},
      {"version", 'V', [](BatchOptions& o) -> bool& { return o.version; }},
  };
  return options;
}

// One entry of getopt_long's table for every option. Options without a
// short letter get a code above the range of characters.
struct OptionTable {
  std::vector<struct option> longOptions;
  std::string shortOptions = ":";  // ':' first: a missing value is told apart
  std::vector<std::string> names;  // by code - kFirstCode for long-only options
};

constexpr int kFirstCode = 256;

int codeOf(char shortName, int index) { return shortName != 0 ? shortName : kFirstCode + index; }

const OptionTable& optionTable() {
  static const OptionTable table = [] {
    OptionTable t;
    int index = 0;
    for (const ValueOption& o : valueOptions()) {
      t.longOptions.push_back({o.name, required_argument, nullptr, codeOf(o.shortName, index++)});
      if (o.shortName != 0) t.shortOptions += std::string{o.shortName, ':'};
    }
    for (const FlagOption& o : flagOptions()) {
      t.longOptions.push_back({o.name, no_argument, nullptr, codeOf(o.shortName, index++)});
      if (o.shortName != 0) t.shortOptions += o.shortName;
    }
    t.longOptions.push_back({nullptr, 0, nullptr, 0});
    return t;
  }();
  return table;
}

// The long options that begin with `prefix` (all of them for an exact name).
std::vector<std::string> longOptionsFor(const std::string& prefix) {
  std::vector<std::string> found;
  for (const struct option& o : optionTable().longOptions) {
    if (o.name == nullptr) continue;
    if (prefix == o.name) return {o.name};
    if (std::string(o.name).rfind(prefix, 0) == 0) found.push_back(o.name);
  }
  return found;
}

// Why getopt_long refused an option ('?' returned). `shortOption` is
// getopt's optopt: 0 for an unknown long option, the option's code for a
// long option given a value it does not take, else the unknown letter;
// `argument` is the argument of a long option.
std::string refusal(const std::string& argument, int shortOption) {
  const bool knownCode = shortOption >= kFirstCode ||
                         (shortOption != 0 && optionTable().shortOptions.find(static_cast<char>(shortOption)) !=
                                                  std::string::npos);
  if (shortOption != 0 && !knownCode) {
    return "unknown option -" + std::string(1, static_cast<char>(shortOption));
  }
  const std::string name = argument.substr(2, argument.find('=') - 2);
  const std::vector<std::string> matches = longOptionsFor(name);
  if (matches.empty()) return "unknown option --" + name;
  if (matches.size() > 1) {
    std::string list;
    for (const std::string& m : matches) list += (list.empty() ? "--" : ", --") + m;
    return "ambiguous option --" + name + " (" + list + ")";
  }
  return "--" + matches[0] + " takes no value";
}

// Applies option `code`; "" or the reason it is unusable.
std::string applyOption(BatchOptions& o, int code, const std::string& shown, const char* value) {
  int index = 0;
  for (const ValueOption& option : valueOptions()) {
    if (codeOf(option.shortName, index++) != code) continue;
    if (option.apply(o, value)) return "";
    const std::string name = option.name;
    const std::string need = name == "job" || name == "output-dir" || name == "multi-site" ? ""
                             : name == "plot-format" ? " (svg, pdf or png, several separated by commas)"
                             : name == "plot-style" ? " (compact or full)"
                             : name == "plot-dpi" ? " (a whole number from " + std::to_string(kChartMinDpi) +
                                                        " to " + std::to_string(kChartMaxDpi) + " is needed)"
                             : name == "adequacy-within" ? " (a percentage, 0 or more, is needed)"
                             : name == "adequacy-share" ? " (a percentage from 0 to 100 is needed)"
                             : name == "adequacy-subsamples" ? " (a whole number from 0 to 100000 is needed)"
                             : name == "frame" ? " (data or recorders)"
                             : name == "composite"
                                 ? " (PERCENT,MINREC,MINSCAR is needed: a percentage from 0 to 100, "
                                   "then two whole numbers from 1 to 200, e.g. 25,2,1)"
                                                     : " (a whole number is needed)";
    // A whole number too large for 32 bits is told the range.
    const bool outOfRange = need == " (a whole number is needed)" && wholeNumberText(value);
    return shown + ": '" + value + "' is not a usable value" +
           (outOfRange ? " (a whole number from -2147483648 to 2147483647 is needed)" : need);
  }
  for (const FlagOption& option : flagOptions()) {
    if (codeOf(option.shortName, index++) == code) option.flag(o) = true;
  }
  return "";
}

// The option as the user knows it: its long name when given long (even as
// an abbreviation), its letter when given short.
std::string shownName(int code, int longIndex) {
  if (longIndex >= 0) return std::string("--") + optionTable().longOptions[longIndex].name;
  return "-" + std::string(1, static_cast<char>(code));
}

}  // namespace

// GNU conventions through getopt_long: bundled short options (-qf),
// attached values (-s3, --seed=3), unambiguous prefixes of long options
// (--simul), FILEs anywhere, and "--" ending the options.
CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine result;
  BatchOptions& o = result.options;
  o.outputs.commandLine = arguments;
  std::vector<std::string> storage{"rova"};
  storage.insert(storage.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : storage) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(storage.size());
  const OptionTable& table = optionTable();
  opterr = 0;
  optind = 0;  // a new scan, for every call
  for (;;) {
    int longIndex = -1;
    const int code = getopt_long(argc, argv.data(), table.shortOptions.c_str(), table.longOptions.data(),
                                 &longIndex);
    if (code == -1) break;
    // getopt_long moves the FILEs behind the options in argv as it goes.
    const std::string argument = argv[static_cast<std::size_t>(optind - 1)];
    if (code == '?') {
      result.error = refusal(argument, optopt);
      return result;
    }
    if (code == ':') {
      const bool isLong = argument.rfind("--", 0) == 0;
      const std::vector<std::string> names = isLong ? longOptionsFor(argument.substr(2)) : std::vector<std::string>{};
      result.error = (isLong && names.size() == 1 ? "--" + names[0] : "-" + std::string(1, static_cast<char>(optopt))) +
                     " needs a value";
      return result;
    }
    result.error = applyOption(o, code, shownName(code, longIndex), optarg);
    if (!result.error.empty()) return result;
  }
  for (int i = optind; i < argc; ++i) o.files.push_back(argv[static_cast<std::size_t>(i)]);
  o.outputs.siteRows = o.summary.has_value();
  if (o.help || o.version) return result;
  if (o.files.empty()) {
    result.error = "no input FILE given";
  } else if (o.job && o.files.size() > 1) {
    result.error = "--job names the run of one FILE; with several FILEs each is named after its file";
  } else if (const std::vector<ChartFormat>& formats = o.outputs.plotFormats;
             o.outputs.plotDpi &&
             std::find(formats.begin(), formats.end(), ChartFormat::kPng) == formats.end()) {
    result.error = "--plot-dpi sets the resolution of the PNG chart: ask for it with --plot-format png";
  } else if (o.segmentLag && !o.segmentLength) {
    // Without a length there are no segments, and the lag would be lost.
    result.error = "--segment-lag needs --segment-length: without a length there are no segments";
  }
  return result;
}

std::string versionText() {
  return std::string("rova ") + kProgramVersion +
         "\n"
         "Copyright (c) 2026 The ROVA developers\n"
         "MIT licence: you may use, copy, modify and redistribute this program, keeping\n"
         "this notice; it comes with no warranty. The full text is in the file LICENSE\n"
         "of the source and in share/doc/rova/copyright where it is installed.\n"
         "To cite it and the methods it uses: CITATION.cff, or REFERENCES in man rova.\n";
}

std::string usageText() {
  return R"(Usage: rova                      the dialogue (asks for everything)
       rova [options] FILE...     batch runs, one per FILE, asking nothing

Estimates fire frequency (fire events per century) from a fire-history file
(FIRE2/FHX2 text or binary Fire Events) with all trees and with random
reduced samples of trees, for every sample size down to one tree.

Options (the same rules as the option menu make unusable values usable; what
was changed is said on standard error):
  -j, --job ID             job identifier, up to 5 characters (default: from
                           the FILE's name); names the output files
  -t, --title TEXT         title of the run (up to 60 bytes; a longer one is
                           cut before the character that does not fit)
      --first-year Y       first year to process (default and 0: the data's)
      --last-year Y        last year to process (default and 0: the data's)
      --segment-length N   process by segments of N years (default: whole span)
      --segment-lag N      years between segment starts (default: half the length;
                           needs --segment-length)
  -n, --simulations N      simulations per sample size (default 1000, at most 4096)
  -s, --seed S             random seed (default: today's day number; made odd)
  -R, --with-replacement   select reduced samples with replacement (method R;
                           default D, without replacement)
  -I, --injuries           use injuries of all types (default: fire scars only)
      --no-spreadsheets    do not write the two .XL1/.XL2 spreadsheet files
  -o, --output-dir DIR     write the output files into DIR (default: .)
  -f, --force              replace existing output files (default: an
                           existing file is an error)
      --full-names         name each FILE's outputs after its whole name
                           without extension (ALDERCREEK.FHX gives
                           ALDERCREEKRVA.OUT), not after its job identifier;
                           for FILEs whose first five characters agree
      --csv                also write a tidy table (.csv) and its metadata (.json)
      --plot               also write a chart of every span (.svg); a run of
                           more than 48 spans is refused before its analysis
      --plot-format LIST   the chart's formats, separated by commas: svg, pdf,
                           png (default svg); implies --plot
      --plot-style STYLE   full (default: a 7-inch page with title, options,
                           legend table and notes) or compact (one journal
                           column, 3.5 inches wide, the legend a line under
                           the panels, no caption); implies --plot
      --plot-dpi N         pixels per inch of the PNG chart, 72 to 1200
                           (default 200); needs --plot-format png
      --adequacy-within PERCENT
                           with --csv or --plot: trees needed are those from
                           which on the estimate stays within PERCENT % of
                           the value of all trees (default 10)
      --adequacy-share PERCENT
                           ... for at least PERCENT % of the simulations
                           (default 95)
      --adequacy-subsamples N
                           random samples per sample size in the adequacy
                           table where the samples cannot be counted whole
                           (0 to 100000; default 1000, 0 with -n 0)
      --frame RULE         the trees an adequacy figure counts in a span:
                           data (default: series whose record covers a year
                           of it) or recorders (series recording in it)
      --extrapolate        the chart extends the curves to twice the trees
      --intervals          with --csv: also the per-year table of recording,
                           scarred and injured trees and composite fire years;
                           the adequacy figures gain the composite frequency
                           and fire intervals (MFI, WMPI, ...) by sample size
      --composite P,R,S    a composite filter (repeatable; implies --intervals):
                           a year is a composite fire year when at least S
                           trees are scarred, at least R record, and the
                           scarred are at least P % of the recording
                           (default 25,2,1 and 0,1,1)
      --multi-site NAME    also write NAME, one table of every FILE and span:
                           site, frame, observed frequency at both
                           thresholds, Chao2 asymptote with its interval,
                           trees needed and the run's settings
  -q, --quiet              print nothing but errors
  -h, --help               show this text
  -V, --version            show the version

Files written, for job ID with method D|R and injuries F|I:
  IDRVA.OUT                the report (132 columns)
  IDRVA<D|R><F|I>.XL1/.XL2 spreadsheet rows for thresholds 1 and 2
  IDRVA<D|R><F|I>.csv/.json  with --csv
  IDRVA<D|R><F|I>-adequacy.csv  with --csv: sample adequacy on each span's frame
  IDRVA<D|R><F|I>-years.csv  with --csv and --intervals: the per-year table
  IDRVA<D|R><F|I>.svg/.pdf/.png  with --plot (--plot-format)

Every output name is checked before the first analysis: two FILEs that would
write one file, or an output that would replace an input FILE, are usage
errors. Outputs are written under temporary names and put in place only when
all of a FILE's outputs are complete.

Exit status: 0 success; 1 a data or file error (the other FILEs still run);
2 a usage error.
)";
}

}  // namespace rova
