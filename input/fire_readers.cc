#include "input/fire_readers.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "format/text.h"
#include "format/fields.h"
#include "format/free_format.h"

namespace rova {
namespace {

// A Fire Events file that cannot be used, found deep in its reading.
struct Refusal {
  std::string problem;
};

bool isFormatLine(const std::string& line) {
  return line.compare(0, 12, "FIRE2 FORMAT") == 0 || line.compare(0, 11, "FHX2 FORMAT") == 0;
}

bool isBlankLine(const std::string& line) {
  return line.find_first_not_of(" \t\r\x1a") == std::string::npos;
}

// Lines after the last non-blank one are not data: an empty last line or
// blanks left by an editor would otherwise read as a year of every tree.
std::size_t lastNonBlankLine(const InputText& file) {
  const auto& lines = file.lines();
  std::size_t n = lines.size();
  while (n > 0 && isBlankLine(lines[n - 1])) --n;
  return n;
}

std::string lineLabel(std::size_t number) { return "line " + std::to_string(number) + ": "; }

// Moves the text to the line after the format line: line 1, or the first
// line that begins with a format marker when a descriptive header comes
// first. False when there is no format line.
bool findFormatLine(InputText& file) {
  auto first = file.nextLine();
  if (!first) return false;
  if (isFormatLine(*first)) return true;
  while (auto line = file.nextLine()) {
    if (isFormatLine(*line)) return true;
  }
  return false;
}

void writeSummary(ReadingReporter& reporter, const char* label, const FireHistory& data,
                  const char* seriesWord) {
  reporter.summary(fmt::Line(label)
                    .i(data.firstYear, 6)
                    .i(data.lastYear, 6)
                    .i(static_cast<long long>(data.lastYear) - data.firstYear + 1, 6)
                    .a(" years")
                    .i(data.seriesCount, 6)
                    .a(seriesWord));
}

// The year written after the codes of a data line: the first word after
// column `codeColumns`, when that word is a whole number of at most nine
// digits. A comment that begins with a word is no year.
std::optional<long long> writtenYear(const std::string& line, long long codeColumns) {
  if (static_cast<long long>(line.size()) <= codeColumns) return std::nullopt;
  const std::size_t from = line.find_first_not_of(" \t", static_cast<std::size_t>(codeColumns));
  if (from == std::string::npos) return std::nullopt;
  const std::size_t to = std::min(line.find_first_of(" \t", from), line.size());
  const std::string word = line.substr(from, to - from);
  const std::size_t sign = (word[0] == '+' || word[0] == '-') ? 1 : 0;
  if (word.size() == sign || word.size() - sign > 9) return std::nullopt;
  for (std::size_t i = sign; i < word.size(); ++i)
    if (word[i] < '0' || word[i] > '9') return std::nullopt;
  return std::stoll(word);
}

struct Fire2Counts {
  int firstYear = 0;
  int seriesInFile = 0;
  int idLines = 0;
  std::size_t lineNumber = 0;
};

std::string threeNumbers(const std::vector<std::int32_t>& v) {
  return std::to_string(v[0]) + " " + std::to_string(v[1]) + " " + std::to_string(v[2]);
}

// The counts line: three numbers within its first 16 columns. A number
// that runs on past column 16 would be read cut short, or not at all, and
// every later line would be taken for something else: such a line is
// refused rather than read differently from what it shows.
std::optional<Fire2Counts> readCounts(InputText& file, std::string& problem) {
  auto line = file.nextLine();
  const std::string where = lineLabel(file.lineNumber());
  auto values = line ? readIntegers(line->substr(0, std::min<std::size_t>(line->size(), 16)), 3)
                     : std::nullopt;
  auto whole = line ? readIntegers(*line, 3) : std::nullopt;
  if (whole && whole != values) {
    problem = where + "the first year, the number of series and the number of identifier lines "
                      "must stand in columns 1-16: the whole line reads " + threeNumbers(*whole) +
              ", columns 1-16 " + (values ? "read " + threeNumbers(*values) : "hold fewer numbers");
    return std::nullopt;
  }
  if (!values) {
    problem = where + "the line after the format line must hold the first year, the number of "
                      "series and the number of identifier lines";
    return std::nullopt;
  }
  if ((*values)[1] < 1 || (*values)[2] < 0) {
    problem = where + "the number of series must be 1 or more and the number of identifier "
                      "lines 0 or more";
    return std::nullopt;
  }
  return Fire2Counts{(*values)[0], (*values)[1], (*values)[2], file.lineNumber()};
}

// Reads the identifier lines and the line after them. False, with the
// problem, when the file ends first.
bool readIdentifiers(InputText& file, const Fire2Counts& counts, int n, FireHistory& data,
                     std::string& problem) {
  for (int k = 1; k <= counts.idLines; ++k) {
    auto line = file.nextLine();
    if (!line) {
      problem = "the file ends within the identifier lines";
      return false;
    }
    if (k > kSeriesIdLength) continue;
    for (int s = 1; s <= n && s <= static_cast<int>(line->size()); ++s) {
      data.seriesIds[s][k - 1] = (*line)[s - 1];
    }
  }
  if (!file.nextLine()) {
    problem = "the file ends before its data lines";
    return false;
  }
  return true;
}

// When the file holds fewer lines between its counts line and its data
// than the counts line says, the first data line is taken for an
// identifier line or for the line before the data, and every year is read
// into the year before it. It shows when years are written: a line before
// the data carries the first year, and the first data line carries the
// year as many lines later. Returns the problem, or "" when the lines
// stand where the counts line puts them.
std::string dataLineAmongHeaderLines(const InputText& file, const Fire2Counts& counts) {
  const auto& lines = file.lines();
  const std::size_t firstData = file.lineNumber() + 1;  // 1-based
  if (firstData > lines.size()) return "";
  const auto firstWritten = writtenYear(lines[firstData - 1], counts.seriesInFile);
  if (!firstWritten) return "";
  // Lines that the first data line lies beyond its place, when the years
  // are right; the lines before the data are the identifier lines and one.
  const long long m = *firstWritten - counts.firstYear;
  if (m < 1 || m > static_cast<long long>(counts.idLines) + 1) return "";
  const std::size_t number = firstData - static_cast<std::size_t>(m);
  if (writtenYear(lines[number - 1], counts.seriesInFile) != counts.firstYear) return "";
  return lineLabel(number) + "this line holds the data of the first year, " +
         std::to_string(counts.firstYear) + ", where line " + std::to_string(counts.lineNumber) +
         " puts an identifier line or the line before the data: the file has " + std::to_string(m) +
         (m == 1 ? " line" : " lines") + " fewer before its data than the " +
         std::to_string(counts.idLines) + " identifier lines and one more that line " +
         std::to_string(counts.lineNumber) + " calls for";
}

// Compares the years written on the data lines with the years that their
// places give. The years are never taken from the lines; a disagreement is
// reported once, and only in a file that writes years on most of its data
// lines, so that comments after the codes do not count.
class WrittenYears {
 public:
  explicit WrittenYears(long long codeColumns) : codeColumns_(codeColumns) {}
  void check(const std::string& line, std::size_t number, long long year) {
    if (isBlankLine(line)) return;
    ++lines_;
    const auto written = writtenYear(line, codeColumns_);
    if (!written) return;
    ++withYear_;
    if (*written == year) return;
    if (disagreeing_++ == 0) first_ = {number, year, *written};
  }
  void report(ReadingReporter& reporter) const {
    if (disagreeing_ == 0 || 2 * withYear_ < lines_) return;
    reporter.notice(" >> FIRE2: line " + std::to_string(first_.number) + " holds the year " +
                  std::to_string(first_.year) + " by its place but has " +
                  std::to_string(first_.written) + " written on it;");
    reporter.notice(" >> " + std::to_string(disagreeing_) +
                  (disagreeing_ == 1 ? " data line disagrees" : " data lines disagree") +
                  " so; the years are taken from the order of the lines");
  }

 private:
  struct Disagreement {
    std::size_t number = 0;
    long long year = 0;
    long long written = 0;
  };
  long long codeColumns_;
  std::size_t lines_ = 0, withYear_ = 0, disagreeing_ = 0;
  Disagreement first_;
};

}  // namespace

Fire2Result RFIRE2(InputText& file, FireHistory& data, ReadingReporter& reporter) {
  data.reset(' ');
  file.rewind();
  if (file.lines().empty()) return {};
  if (!findFormatLine(file)) {
    file.rewind();
    return {};
  }
  Fire2Result refused{Fire2Outcome::kRefused, ""};

  const auto counts = readCounts(file, refused.problem);
  if (!counts) return refused;
  const int n = std::min(counts->seriesInFile, kMaxSeries);
  if (counts->seriesInFile > kMaxSeries) {
    reporter.notice(fmt::Line(" >> FIRE2:").i(counts->seriesInFile, 6).a(" series in the file; only the first")
                      .i(kMaxSeries, 4).a(" are read"));
  }
  if (counts->idLines > kSeriesIdLength) {
    reporter.notice(" >> FIRE2: identifiers are cut to their first 8 characters");
  }
  data.seriesCount = n;
  if (!readIdentifiers(file, *counts, n, data, refused.problem)) return refused;
  refused.problem = dataLineAmongHeaderLines(file, *counts);
  if (!refused.problem.empty()) return refused;

  const std::size_t lastLine = lastNonBlankLine(file);
  WrittenYears writtenYears(counts->seriesInFile);
  long long year = counts->firstYear;
  bool stored = false;
  bool skippedEarly = false;
  while (file.lineNumber() < lastLine) {
    const std::string line = *file.nextLine();
    if (year > kLastYearSlot) {
      reporter.notice(" >> FIRE2: data lines after 2030 are not read");
      break;
    }
    writtenYears.check(line, file.lineNumber(), year);
    if (year < kFirstYearSlot) {
      skippedEarly = true;
      ++year;
      continue;
    }
    const int y = static_cast<int>(year);
    for (int s = 1; s <= n; ++s) {
      const char c = s <= static_cast<int>(line.size()) ? line[s - 1] : ' ';
      data.setCode(y, s, c);
      if (c != '.') {
        if (data.seriesFirstYear[s] == kLastYearSlot) data.seriesFirstYear[s] = y;
        data.seriesLastYear[s] = y;
      }
    }
    if (!stored) data.firstYear = y;
    data.lastYear = y;
    stored = true;
    ++year;
  }
  if (skippedEarly) reporter.notice(" >> FIRE2: data lines before -2065 are not read");
  if (!stored) {
    data.seriesCount = 0;
    refused.problem = "no data line falls in the years -2065 to 2030";
    return refused;
  }
  writtenYears.report(reporter);
  writeSummary(reporter, " FIRE2:", data, " series");
  return {Fire2Outcome::kRead, ""};
}

namespace {

// The year field of a Fire Events line: blanks inside it are ignored.
std::optional<long long> yearField(const std::string& line) {
  std::string field = packName(line.substr(0, 5));
  std::size_t i = (!field.empty() && (field[0] == '+' || field[0] == '-')) ? 1 : 0;
  if (i == field.size()) return std::nullopt;
  for (std::size_t j = i; j < field.size(); ++j)
    if (field[j] < '0' || field[j] > '9') return std::nullopt;
  return std::stoll(field);
}

// Columns 1-5 of a Fire Events line hold the year, the 512 after them the
// codes; what follows is not read.
constexpr std::size_t kYearColumns = 5;
constexpr std::size_t kCodeColumns = 512;
constexpr std::size_t kLastCodeColumn = kYearColumns + kCodeColumns;

std::string fireEventsLine(std::size_t number) {
  return " >> Fire Events file, line " + std::to_string(number);
}

char translateFireEventsCode(char c) {
  switch (c) {
    case '1': return 'U';
    case '0': return '|';
    case '*':
    case '9': return '.';
    default: return c;
  }
}

// Where the lines of a Fire Events file disagree in a way that the
// reading would pass over: codes past the line buffer, and lines whose
// numbers of codes differ (the last line's number stands).
class FireEventsChecks {
 public:
  void line(std::size_t number, int codes, std::size_t beyondBuffer) {
    codesPerLine_.push_back({number, codes});
    if (beyondBuffer > 0 && linesBeyond_++ == 0) firstBeyond_ = number;
  }
  // The number of trees read stands on the last line; when that line holds
  // no code, the trees of every line before it would be lost.
  void refuseEmptyLastLine() const {
    if (codesPerLine_.empty() || codesPerLine_.back().codes > 0) return;
    int most = 0;
    for (const auto& l : codesPerLine_) most = std::max(most, l.codes);
    if (most == 0) return;
    throw Refusal{fireEventsLine(codesPerLine_.back().number) + ": the last line holds a year but no code, and the number of trees "
                             "is taken from the last line; the lines before it hold codes of up "
                             "to " + std::to_string(most) + " trees"};
  }
  void report(ReadingReporter& reporter) const {
    if (linesBeyond_ > 0) {
      reporter.notice(fireEventsLine(firstBeyond_) + ": codes after column " +
                    std::to_string(kLastCodeColumn) + " are not read (" +
                    std::to_string(linesBeyond_) + (linesBeyond_ == 1 ? " line)" : " lines)"));
    }
    if (codesPerLine_.empty()) return;
    const Count& last = codesPerLine_.back();
    const Count* first = nullptr;
    std::size_t differing = 0;
    for (const Count& l : codesPerLine_) {
      if (l.codes == last.codes) continue;
      if (differing++ == 0) first = &l;
    }
    if (first == nullptr) return;
    reporter.notice(fireEventsLine(first->number) + " holds " + std::to_string(first->codes) +
                  " codes and the last line " + std::to_string(last.codes) + "; " +
                  std::to_string(last.codes) + " trees are read, as the last line says (" +
                  std::to_string(differing) + (differing == 1 ? " line differs)" : " lines differ)"));
  }

 private:
  struct Count {
    std::size_t number;
    int codes;
  };
  std::vector<Count> codesPerLine_;
  std::size_t linesBeyond_ = 0;
  std::size_t firstBeyond_ = 0;
};

// The year of a line. A blank year field would read as the year 0, which
// lies in the table, and stretch the data back to it: such a line is
// refused, as is a year field that is no whole number.
long long fireEventsYear(const std::string& line, std::size_t number) {
  if (packName(line.substr(0, 5)).empty()) {
    throw Refusal{fireEventsLine(number) + ": the year in columns 1-5 is blank"};
  }
  const auto year = yearField(line);
  if (!year) {
    throw Refusal{fireEventsLine(number) + ": the year in columns 1-5, \"" +
                             screenSafe(line.substr(0, 5)) + "\", is not a whole number"};
  }
  return *year;
}

// A tab, another control character or a byte outside plain ASCII among the
// codes would be read as the code of one more tree: the line is refused.
void refuseNonCodeCharacters(const std::string& codes, std::size_t number) {
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(codes[i]);
    if (c >= 32 && c < 127) continue;
    if (c == '\0') continue;  // ignored like a blank
    const std::string what = c == '\t' ? "a tab" : "the byte " + std::to_string(c) + ", no code,";
    throw Refusal{fireEventsLine(number) + ": column " +
                             std::to_string(kYearColumns + i + 1) + " holds " + what +
                             " which would be read as the code of a tree: separate codes with blanks"};
  }
}

}  // namespace

namespace {

void readFireEvents(InputText& file, FireHistory& data, ReadingReporter& reporter) {
  data.reset('.');
  data.firstYear = kLastYearSlot;
  data.lastYear = kFirstYearSlot;
  file.rewind();
  FireEventsChecks checks;
  while (auto next = file.nextLine()) {
    const std::string& line = *next;
    const std::size_t number = file.lineNumber();
    if (isBlankLine(line)) continue;
    const long long year = fireEventsYear(line, number);
    if (!yearInTable(year)) {
      reporter.notice(fmt::Line(" >> Sbr RFIREB: Year").i(year, 6));
      continue;
    }
    const int y = static_cast<int>(year);
    data.firstYear = std::min(data.firstYear, y);
    data.lastYear = std::max(data.lastYear, y);
    const std::string part = line.size() > kYearColumns ? line.substr(kYearColumns, kCodeColumns) : "";
    refuseNonCodeCharacters(part, number);
    std::string codes = packName(part);
    if (codes.size() > static_cast<std::size_t>(kMaxSeries)) {
      reporter.notice(fireEventsLine(number) + ": " + std::to_string(codes.size()) +
                    " codes; only the first 200 trees are read");
      codes.resize(kMaxSeries);
    }
    data.seriesCount = static_cast<int>(codes.size());
    for (int k = 1; k <= data.seriesCount; ++k) data.setCode(y, k, translateFireEventsCode(codes[k - 1]));
    const std::string beyond = line.size() > kLastCodeColumn ? packName(line.substr(kLastCodeColumn)) : "";
    checks.line(number, data.seriesCount, beyond.size());
  }
  checks.refuseEmptyLastLine();
  checks.report(reporter);

  reporter.summary(" ");
  writeSummary(reporter, " Fire events:", data, " Series");

  for (int s = 1; s <= data.seriesCount; ++s) {
    for (int y = data.firstYear; y <= data.lastYear; ++y) {
      if (data.code(y, s) == '.') continue;
      if (data.seriesFirstYear[s] == kLastYearSlot) data.seriesFirstYear[s] = y;
      data.seriesLastYear[s] = y;
    }
    data.seriesIds[s] = fmt::Line("Tree").i(s, 4).str();
    for (int y = data.seriesFirstYear[s]; y <= data.seriesLastYear[s]; ++y) {
      if (data.code(y, s) == '.') data.setCode(y, s, '|');
    }
  }
}

}  // namespace

std::string RFIREB(InputText& file, FireHistory& data, ReadingReporter& reporter) {
  try {
    readFireEvents(file, data, reporter);
  } catch (const Refusal& refusal) {
    return refusal.problem;
  }
  return "";
}

}  // namespace rova
