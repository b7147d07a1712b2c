#include "cli/command_line.h"

#include <functional>

namespace rova {
namespace {

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

struct ValueOption {
  const char* name;
  char shortName;
  std::function<bool(BatchOptions&, const std::string&)> apply;  // false: not a usable value
};

struct FlagOption {
  const char* name;
  char shortName;
  bool BatchOptions::*flag;
};

ValueOption integerOption(const char* name, char shortName, std::optional<int> BatchOptions::*field) {
  return {name, shortName, [field](BatchOptions& o, const std::string& v) {
            auto value = strictInteger(v);
            if (!value) return false;
            o.*field = value;
            return true;
          }};
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
       [](BatchOptions& o, const std::string& v) { o.outputDirectory = v; return !v.empty(); }},
  };
  return options;
}

const std::vector<FlagOption>& flagOptions() {
  static const std::vector<FlagOption> options = {
      {"with-replacement", 'R', &BatchOptions::withReplacement},
      {"injuries", 'I', &BatchOptions::injuries},
      {"no-spreadsheets", 0, &BatchOptions::noSpreadsheets},
      {"force", 'f', &BatchOptions::force},
      {"full-names", 0, &BatchOptions::fullNames},
      {"csv", 0, &BatchOptions::csv},
      {"plot", 0, &BatchOptions::plot},
      {"quiet", 'q', &BatchOptions::quiet},
      {"help", 'h', &BatchOptions::help},
      {"version", 'V', &BatchOptions::version},
  };
  return options;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine result;
  BatchOptions& o = result.options;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      o.files.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name, value;
    bool hasValue = false;
    const bool isLong = argument.compare(0, 2, "--") == 0;
    if (isLong) {
      name = argument.substr(2);
      const auto equals = name.find('=');
      if (equals != std::string::npos) {
        value = name.substr(equals + 1);
        name = name.substr(0, equals);
        hasValue = true;
      }
    } else if (argument.size() == 2) {
      name = argument.substr(1);
    } else {
      result.error = "unknown option " + argument;
      return result;
    }
    const std::string shown = isLong ? "--" + name : argument;
    bool known = false;
    for (const FlagOption& flag : flagOptions()) {
      if (isLong ? name == flag.name : name[0] == flag.shortName) {
        if (hasValue) {
          result.error = shown + " takes no value";
          return result;
        }
        o.*flag.flag = true;
        known = true;
      }
    }
    for (const ValueOption& option : valueOptions()) {
      if (known || !(isLong ? name == option.name : (option.shortName && name[0] == option.shortName)))
        continue;
      known = true;
      if (!hasValue) {
        if (i + 1 >= arguments.size()) {
          result.error = shown + " needs a value";
          return result;
        }
        value = arguments[++i];
      }
      if (!option.apply(o, value)) {
        result.error = shown + ": '" + value + "' is not a usable value" +
                       (option.name == std::string("job") || option.name == std::string("output-dir")
                            ? ""
                            : " (a whole number is needed)");
        return result;
      }
    }
    if (!known) {
      result.error = "unknown option " + shown;
      return result;
    }
  }
  if (o.help || o.version) return result;
  if (o.files.empty()) {
    result.error = "no input FILE given";
  } else if (o.job && o.files.size() > 1) {
    result.error = "--job names the run of one FILE; with several FILEs each is named after its file";
  }
  return result;
}

std::string versionText() { return "rova 1.15\n"; }

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
      --segment-lag N      years between segment starts (default: half the length)
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
      --plot               also write an SVG chart of every span (.svg)
  -q, --quiet              print nothing but errors
  -h, --help               show this text
  -V, --version            show the version

Files written, for job ID with method D|R and injuries F|I:
  IDRVA.OUT                the report (132 columns)
  IDRVA<D|R><F|I>.XL1/.XL2 spreadsheet rows for thresholds 1 and 2
  IDRVA<D|R><F|I>.csv/.json  with --csv;  IDRVA<D|R><F|I>.svg  with --plot

Every output name is checked before the first analysis: two FILEs that would
write one file, or an output that would replace an input FILE, are usage
errors. Outputs are written under temporary names and put in place only when
all of a FILE's outputs are complete.

Exit status: 0 success; 1 a data or file error (the other FILEs still run);
2 a usage error.
)";
}

}  // namespace rova
