#include "input/fire_readers.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "format/text.h"
#include "format/fields.h"
#include "format/free_format.h"

namespace rova {
namespace {

// Why a file cannot be used: the line where it shows (0 for the whole
// file) and what is wrong. Each check of either reader returns one, or
// nothing when the file passes, and the reader returns the first.
struct Refusal {
  std::size_t line = 0;
  std::string problem;
};

bool isFormatLine(const std::string& line) {
  return line.compare(0, 12, "FIRE2 FORMAT") == 0 || line.compare(0, 11, "FHX2 FORMAT") == 0;
}

bool isBlankLine(const std::string& line) {
  return line.find_first_not_of(" \t\r\x1a") == std::string::npos;
}

// A line of blanks and control bytes: what a file padded with NULs (or
// other bytes that are no text) ends in.
bool holdsNothing(const std::string& line) {
  for (char c : line) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u > 32 && u != 127) return false;
  }
  return true;
}

// Lines after the last one that holds something are not data: an empty
// last line, blanks left by an editor or the NUL bytes that pad a file
// would otherwise read as a year of every tree.
std::size_t lastNonBlankLine(const InputText& file) {
  const auto& lines = file.lines();
  std::size_t n = lines.size();
  while (n > 0 && holdsNothing(lines[n - 1])) --n;
  return n;
}

// A count and the word that goes with it: "1 line", "2 lines".
std::string plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + (count == 1 ? one : many);
}

// Says what follows the data and is not read: NUL or other control bytes
// after the last line that holds text, and lines after a DOS end-of-file mark
// (Ctrl-Z) in the middle of the file. `where` begins each notice and is
// followed by "line N".
void reportTextEnd(const InputText& file, const std::string& where, ReadingReporter& reporter) {
  const auto& lines = file.lines();
  for (std::size_t n = lastNonBlankLine(file); n < lines.size(); ++n) {
    if (isBlankLine(lines[n])) continue;
    const bool nul = lines[n].find_first_not_of(std::string(" \t\r\x1a\0", 5)) == std::string::npos;
    reporter.notice(where + "line " + std::to_string(n + 1) +
                    (nul ? ": NUL bytes" : ": control bytes") + " after the data are not read");
    break;
  }
  const InputText::EndMark& mark = file.endMark();
  if (mark.linesAfter == 0) return;
  reporter.notice(where + "line " + std::to_string(mark.line) +
                  " holds a DOS end-of-file mark (Ctrl-Z), which ends the text: the " +
                  plural(mark.linesAfter, " line after it is not read", " lines after it are not read"));
}

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

// A line that would be a format line in capitals from column 1: the first
// such line, 0 when there is none.
std::size_t nearFormatLine(const InputText& file) {
  const auto& lines = file.lines();
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::size_t from = lines[n].find_first_not_of(" \t");
    if (from == std::string::npos) continue;
    std::string start = lines[n].substr(from, 12);
    toUpperCase(start);
    if (start.compare(0, 12, "FIRE2 FORMAT") == 0 || start.compare(0, 11, "FHX2 FORMAT") == 0)
      return n + 1;
  }
  return 0;
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
std::optional<Refusal> readCounts(InputText& file, Fire2Counts& counts) {
  auto line = file.nextLine();
  const std::size_t where = file.lineNumber();
  auto values = line ? readIntegers(line->substr(0, std::min<std::size_t>(line->size(), 16)), 3)
                     : std::nullopt;
  auto whole = line ? readIntegers(*line, 3) : std::nullopt;
  if (whole && whole != values) {
    return Refusal{where, "the first year, the number of series and the number of identifier "
                          "lines must stand in columns 1-16: the whole line reads " +
                              threeNumbers(*whole) + ", columns 1-16 " +
                              (values ? "read " + threeNumbers(*values) : "hold fewer numbers")};
  }
  if (!values) {
    return Refusal{where, "the line after the format line must hold the first year, the number "
                          "of series and the number of identifier lines"};
  }
  if ((*values)[1] < 1 || (*values)[2] < 0) {
    return Refusal{where, "the number of series must be 1 or more and the number of identifier "
                          "lines 0 or more"};
  }
  counts = Fire2Counts{(*values)[0], (*values)[1], (*values)[2], file.lineNumber()};
  return std::nullopt;
}

// Reads the identifier lines and the line after them; refused when the
// file ends first.
std::optional<Refusal> readIdentifiers(InputText& file, const Fire2Counts& counts, int n,
                                       FireHistory& data) {
  for (int k = 1; k <= counts.idLines; ++k) {
    auto line = file.nextLine();
    if (!line) return Refusal{0, "the file ends within the identifier lines"};
    if (k > kSeriesIdLength) continue;
    for (int s = 1; s <= n && s <= static_cast<int>(line->size()); ++s) {
      data.seriesIds[s][k - 1] = (*line)[s - 1];
    }
  }
  if (!file.nextLine()) return Refusal{0, "the file ends before its data lines"};
  return std::nullopt;
}

// When the file holds fewer lines between its counts line and its data
// than the counts line says, the first data line is taken for an
// identifier line or for the line before the data, and every year is read
// into the year before it. It shows when years are written: a line before
// the data carries the first year, and the first data line carries the
// year as many lines later. Refused then; nothing when the lines stand
// where the counts line puts them.
std::optional<Refusal> dataLineAmongHeaderLines(const InputText& file, const Fire2Counts& counts) {
  const auto& lines = file.lines();
  const std::size_t firstData = file.lineNumber() + 1;  // 1-based
  if (firstData > lines.size()) return std::nullopt;
  const auto firstWritten = writtenYear(lines[firstData - 1], counts.seriesInFile);
  if (!firstWritten) return std::nullopt;
  // Lines that the first data line lies beyond its place, when the years
  // are right; the lines before the data are the identifier lines and one.
  const long long m = *firstWritten - counts.firstYear;
  if (m < 1 || m > static_cast<long long>(counts.idLines) + 1) return std::nullopt;
  const std::size_t number = firstData - static_cast<std::size_t>(m);
  if (writtenYear(lines[number - 1], counts.seriesInFile) != counts.firstYear) return std::nullopt;
  return Refusal{number, "this line holds the data of the first year, " +
                             std::to_string(counts.firstYear) + ", where line " +
                             std::to_string(counts.lineNumber) +
                             " puts an identifier line or the line before the data: the file has " +
                             std::to_string(m) + (m == 1 ? " line" : " lines") +
                             " fewer before its data than the " + std::to_string(counts.idLines) +
                             " identifier lines and one more that line " +
                             std::to_string(counts.lineNumber) + " calls for"};
}

// A character of a data line that can only be a code: not a blank, a tab,
// a NUL, a digit, nor the sign of a number (the year written after the
// codes may follow them directly).
bool isCodeAt(const std::string& line, std::size_t i) {
  const char c = line[i];
  if (c == ' ' || c == '\t' || c == '\0' || (c >= '0' && c <= '9')) return false;
  const bool sign = c == '-' || c == '+';
  return !(sign && i + 1 < line.size() && line[i + 1] >= '0' && line[i + 1] <= '9');
}

// Compares the number of series of the counts line with the columns that
// the data lines fill with codes. More series than columns would make the
// blank column before the written year, or its digits, trees that record
// every year; fewer would leave the last trees unread. Either way the
// file is refused with both numbers; nothing when they agree.
std::optional<Refusal> seriesAgainstDataColumns(const InputText& file, const Fire2Counts& counts,
                                     std::size_t lastLine) {
  const auto& lines = file.lines();
  const std::size_t declared = static_cast<std::size_t>(counts.seriesInFile);
  std::size_t widest = 0;        // last column up to `declared` that holds a code on some line
  std::size_t dataLines = 0;     // lines that hold something
  std::size_t runningOn = 0;     // lines with a code in the column after the declared ones
  std::size_t firstRunningOn = 0;
  std::size_t columnsFilled = declared;  // the most columns filled with codes on one line
  for (std::size_t n = file.lineNumber(); n < lastLine; ++n) {
    const std::string& line = lines[n];
    if (holdsNothing(line)) continue;
    ++dataLines;
    for (std::size_t c = std::min(line.size(), declared); c > widest; --c) {
      if (isCodeAt(line, c - 1)) {
        widest = c;
        break;
      }
    }
    if (line.size() > declared && isCodeAt(line, declared)) {
      if (runningOn++ == 0) firstRunningOn = n + 1;
      std::size_t end = declared;
      while (end < line.size() && isCodeAt(line, end)) ++end;
      columnsFilled = std::max(columnsFilled, end);
    }
  }
  if (dataLines == 0) return std::nullopt;
  const std::string declares =
      "the counts line declares " + std::to_string(declared) + " series, but ";
  if (widest < declared) {
    const bool one = declared - widest == 1;
    return Refusal{counts.lineNumber,
                   declares + "the data lines hold codes in " +
                       plural(widest, " column", " columns") + " only: " +
                       (one ? "column " : "columns ") + std::to_string(widest + 1) +
                       (one ? "" : " to " + std::to_string(declared)) + (one ? " holds" : " hold") +
                       " only blanks or the digits of the years written on the lines, which "
                       "would read as trees recording every year; the number of series must "
                       "agree with the data"};
  }
  if (2 * runningOn > dataLines) {
    const std::string unread =
        columnsFilled == declared + 1
            ? "column " + std::to_string(declared + 1)
            : "columns " + std::to_string(declared + 1) + " to " + std::to_string(columnsFilled);
    return Refusal{counts.lineNumber,
                   declares + "the data lines hold codes in " + std::to_string(columnsFilled) +
                       " columns (line " + std::to_string(firstRunningOn) +
                       " has a code in column " + std::to_string(declared + 1) + "): " + unread +
                       " would not be read; the number of series must agree with the data"};
  }
  return std::nullopt;
}

// Data lines with fewer codes than series: a code that is not there is read
// as a blank, a year in which the series records without fire, so a blank
// line in the data is a year that every tree records. Said with the first
// such line, since nothing in the file shows it.
class ShortDataLines {
 public:
  void check(const std::string& line, std::size_t number, int series) {
    if (line.size() >= static_cast<std::size_t>(series)) return;
    const bool blank = line.find_first_not_of(' ') == std::string::npos;
    if (blank && blankLines_++ == 0) firstBlank_ = number;
    if (!blank && shortLines_++ == 0) firstShort_ = {number, line.size()};
  }
  void report(ReadingReporter& reporter, int series) const {
    if (blankLines_ > 0) {
      reporter.notice(" >> FIRE2: line " + std::to_string(firstBlank_) +
                      " of the data is blank, read as a year in which every series records "
                      "without fire; " + plural(blankLines_, " data line is", " data lines are") +
                      " blank");
    }
    if (shortLines_ > 0) {
      reporter.notice(" >> FIRE2: line " + std::to_string(firstShort_.number) + " holds " +
                      std::to_string(firstShort_.codes) + " codes for " + std::to_string(series) +
                      " series; the missing codes are read as years without fire; " +
                      plural(shortLines_, " line is", " lines are") + " short");
    }
  }

 private:
  struct Where {
    std::size_t number = 0;
    std::size_t codes = 0;
  };
  int blankLines_ = 0;
  int shortLines_ = 0;
  std::size_t firstBlank_ = 0;
  Where firstShort_;
};

// Tabs among the codes of the data lines: each is read as the code of a
// series (a year without fire), and an editor shows it as several columns.
class TabsAmongCodes {
 public:
  void check(const std::string& line, std::size_t number, int series) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos || tab >= static_cast<std::size_t>(series)) return;
    if (lines_++ == 0) first_ = {number, tab + 1};
  }
  void report(ReadingReporter& reporter) const {
    if (lines_ == 0) return;
    reporter.notice(" >> FIRE2: line " + std::to_string(first_.number) + " holds a tab in column " +
                    std::to_string(first_.column) + ", read as the code of series " +
                    std::to_string(first_.column) + " (a year without fire); " +
                    plural(lines_, " line holds", " lines hold") + " tabs among the codes");
  }

 private:
  struct Where {
    std::size_t number = 0;
    std::size_t column = 0;
  };
  std::size_t lines_ = 0;
  Where first_;
};

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

ReadResult refusedWith(FormatKind format, Refusal refusal) {
  return {ReadOutcome::kRefused, format, refusal.line, std::move(refusal.problem)};
}

}  // namespace

ReadResult RFIRE2(InputText& file, FireHistory& data, ReadingReporter& reporter) {
  data.reset(' ');
  file.rewind();
  if (file.lines().empty()) return {};
  if (!findFormatLine(file)) {
    file.rewind();
    if (const std::size_t near = nearFormatLine(file)) {
      const std::string& line = file.lines()[near - 1];
      reporter.notice(" >> FIRE2: line " + std::to_string(near) + ", \"" +
                      screenSafe(std::string(fmt::trimRight(line.substr(0, 40)))) +
                      "\", is no format line: the format line begins in column 1 with FHX2 FORMAT "
                      "or FIRE2 FORMAT in capitals");
    }
    return {};
  }
  const auto refused = [](Refusal refusal) {
    return refusedWith(FormatKind::kFire2, std::move(refusal));
  };

  Fire2Counts counts;
  if (auto refusal = readCounts(file, counts)) return refused(*refusal);
  const int n = std::min(counts.seriesInFile, kMaxSeries);
  if (counts.seriesInFile > kMaxSeries) {
    reporter.notice(fmt::Line(" >> FIRE2:").i(counts.seriesInFile, 6).a(" series in the file; only the first")
                      .i(kMaxSeries, 4).a(" are read"));
  }
  if (counts.idLines > kSeriesIdLength) {
    reporter.notice(" >> FIRE2: identifiers are cut to their first 8 characters");
  }
  data.seriesCount = n;
  if (auto refusal = readIdentifiers(file, counts, n, data)) return refused(*refusal);
  if (auto refusal = dataLineAmongHeaderLines(file, counts)) return refused(*refusal);

  const std::size_t lastLine = lastNonBlankLine(file);
  if (auto refusal = seriesAgainstDataColumns(file, counts, lastLine)) return refused(*refusal);
  WrittenYears writtenYears(counts.seriesInFile);
  TabsAmongCodes tabs;
  ShortDataLines shortLines;
  long long year = counts.firstYear;
  bool stored = false;
  bool skippedEarly = false;
  while (file.lineNumber() < lastLine) {
    const std::string line = *file.nextLine();
    if (year > kLastYearSlot) {
      reporter.notice(" >> FIRE2: data lines after 2030 are not read");
      break;
    }
    writtenYears.check(line, file.lineNumber(), year);
    tabs.check(line, file.lineNumber(), n);
    shortLines.check(line, file.lineNumber(), n);
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
    return refused({0, "no data line falls in the years -2065 to 2030"});
  }
  writtenYears.report(reporter);
  tabs.report(reporter);
  shortLines.report(reporter, n);
  reportTextEnd(file, " >> FIRE2: ", reporter);
  writeSummary(reporter, " FIRE2:", data, " series");
  return {ReadOutcome::kRead, FormatKind::kFire2, 0, ""};
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
  std::optional<Refusal> emptyLastLine() const {
    if (codesPerLine_.empty() || codesPerLine_.back().codes > 0) return std::nullopt;
    int most = 0;
    for (const auto& l : codesPerLine_) most = std::max(most, l.codes);
    if (most == 0) return std::nullopt;
    return Refusal{codesPerLine_.back().number,
                   "the last line holds a year but no code, and the number of trees is taken "
                   "from the last line; the lines before it hold codes of up to " +
                       std::to_string(most) + " trees"};
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
std::optional<Refusal> fireEventsYear(const std::string& line, std::size_t number,
                                      long long& year) {
  if (packName(line.substr(0, 5)).empty()) {
    return Refusal{number, "the year in columns 1-5 is blank"};
  }
  const auto field = yearField(line);
  if (!field) {
    return Refusal{number, "the year in columns 1-5, \"" + screenSafe(line.substr(0, 5)) +
                               "\", is not a whole number"};
  }
  year = *field;
  return std::nullopt;
}

// A tab, another control character or a byte outside plain ASCII among the
// codes would be read as the code of one more tree: the line is refused.
std::optional<Refusal> nonCodeCharacter(const std::string& codes, std::size_t number) {
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(codes[i]);
    if (c >= 32 && c < 127) continue;
    if (c == '\0') continue;  // ignored like a blank
    const std::string what = c == '\t' ? "a tab" : "the byte " + std::to_string(c) + ", no code,";
    return Refusal{number, "column " + std::to_string(kYearColumns + i + 1) + " holds " + what +
                               " which would be read as the code of a tree: separate codes with "
                               "blanks"};
  }
  return std::nullopt;
}

}  // namespace

namespace {

// The number that begins in columns 1-5 and runs on into column 6, when
// it does: what a year field shifted one column to the right by an
// indentation reads as.
std::optional<long long> yearRunningOn(const std::string& line) {
  if (line.size() < 6 || line[4] < '0' || line[4] > '9' || line[5] < '0' || line[5] > '9')
    return std::nullopt;
  const std::size_t from = line.find_first_not_of(' ');
  std::size_t to = from;
  while (to < line.size() && line[to] >= '0' && line[to] <= '9') ++to;
  // A field that starts with something other than a digit ("*9*99") holds
  // no number at all.
  if (to == from || to - from > 9) return std::nullopt;
  return std::stoll(line.substr(from, to - from));
}

// The line that gave each year, to say where a year stands twice and
// where years are missing between the first and the last.
class FireEventsYears {
 public:
  // Refuses a year read again whose number runs on past its columns.
  std::optional<Refusal> line(int year, std::size_t number, const std::string& text) {
    auto [it, fresh] = lineOf_.emplace(year, number);
    if (fresh) return std::nullopt;
    // Indented, "  1700 0 1" reads as the year 170 and the codes "0 1",
    // and ten lines share each year: the year with its next digit is the
    // number that runs on. A packed line (" 17000101") runs on further.
    if (const auto shifted = yearRunningOn(text); shifted && *shifted / 10 == year) {
      return Refusal{number, "the year " + std::to_string(year) + " stands on line " +
                                 std::to_string(it->second) +
                                 " too, and the number in the year's columns runs on into column 6 (" +
                                 std::to_string(*shifted) +
                                 "): the years seem to stand a column to the right of columns "
                                 "1-5, as in a file indented by a blank"};
    }
    if (repeats_++ == 0) firstRepeat_ = {number, it->second, year};
    it->second = number;
    return std::nullopt;
  }
  void report(ReadingReporter& reporter) const {
    if (repeats_ > 0) {
      reporter.notice(fireEventsLine(firstRepeat_.number) + ": the year " +
                      std::to_string(firstRepeat_.year) + " stands on line " +
                      std::to_string(firstRepeat_.earlier) +
                      " too; the later line's codes replace the earlier ones (" +
                      plural(repeats_, " line repeats a year)", " lines repeat a year)"));
    }
    // The widest run of years without a line, and how many there are.
    if (lineOf_.empty()) return;
    int missing = 0, widest = 0, gapFrom = 0, gapTo = 0;
    for (auto it = lineOf_.begin(), next = std::next(it); next != lineOf_.end(); it = next++) {
      const int gap = next->first - it->first - 1;
      missing += gap;
      if (gap <= widest) continue;
      widest = gap;
      gapFrom = it->first + 1;
      gapTo = next->first - 1;
    }
    if (missing == 0) return;
    const std::size_t before = lineOf_.at(gapFrom - 1), after = lineOf_.at(gapTo + 1);
    // The line named first is the one on the side with fewer years: a
    // mistyped year stands alone far from the others.
    const auto yearsBefore = std::distance(lineOf_.begin(), lineOf_.find(gapFrom - 1)) + 1;
    const auto yearsAfter = static_cast<long>(lineOf_.size()) - yearsBefore;
    reporter.notice(fireEventsLine(yearsBefore <= yearsAfter ? before : after) +
                    ": no line holds the years " +
                    std::to_string(gapFrom) + " to " + std::to_string(gapTo) + ", between " +
                    std::to_string(gapFrom - 1) + " on line " + std::to_string(before) + " and " +
                    std::to_string(gapTo + 1) + " on line " + std::to_string(after) +
                    "; years without a line are read as years without fire within each tree's "
                    "record (" + plural(static_cast<std::size_t>(missing), " year", " years") +
                    " in all)");
  }

 private:
  struct Repeat {
    std::size_t number = 0;
    std::size_t earlier = 0;
    int year = 0;
  };
  std::map<int, std::size_t> lineOf_;
  std::size_t repeats_ = 0;
  Repeat firstRepeat_;
};

std::optional<Refusal> readFireEvents(InputText& file, FireHistory& data,
                                      ReadingReporter& reporter) {
  data.reset('.');
  data.firstYear = kLastYearSlot;
  data.lastYear = kFirstYearSlot;
  file.rewind();
  FireEventsChecks checks;
  FireEventsYears years;
  std::size_t outside = 0;
  const std::size_t lastLine = lastNonBlankLine(file);
  while (file.lineNumber() < lastLine) {
    const std::string line = *file.nextLine();
    const std::size_t number = file.lineNumber();
    if (isBlankLine(line)) continue;
    long long year = 0;
    if (auto refusal = fireEventsYear(line, number, year)) return refusal;
    if (!yearInTable(year)) {
      reporter.notice(fmt::Line(" >> Sbr RFIREB: Year").i(year, 6));
      ++outside;
      continue;
    }
    const int y = static_cast<int>(year);
    if (auto refusal = years.line(y, number, line)) return refusal;
    data.firstYear = std::min(data.firstYear, y);
    data.lastYear = std::max(data.lastYear, y);
    const std::string part = line.size() > kYearColumns ? line.substr(kYearColumns, kCodeColumns) : "";
    if (auto refusal = nonCodeCharacter(part, number)) return refusal;
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
  if (auto refusal = checks.emptyLastLine()) return refusal;
  if (data.seriesCount == 0) {
    // Nothing to analyse: said plainly rather than as a span of -4094 years.
    const std::string why =
        outside > 0 && data.firstYear > data.lastYear
            ? "every year lies outside " + std::to_string(kFirstYearSlot) + " to " +
                  std::to_string(kLastYearSlot) + " (" + plural(outside, " line)", " lines)")
        : data.firstYear > data.lastYear ? "no line holds a year and codes"
                                         : "no line holds a code after its year";
    return Refusal{0, why + ": no tree was read"};
  }
  checks.report(reporter);
  years.report(reporter);
  reportTextEnd(file, " >> Fire Events file, ", reporter);

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
  return std::nullopt;
}

}  // namespace

ReadResult RFIREB(InputText& file, FireHistory& data, ReadingReporter& reporter) {
  if (auto refusal = readFireEvents(file, data, reporter))
    return refusedWith(FormatKind::kFireEvents, std::move(*refusal));
  return {ReadOutcome::kRead, FormatKind::kFireEvents, 0, ""};
}

std::string refusalLine(const ReadResult& refused, const std::string& fileName) {
  const std::string line = refused.line == 0 ? "" : "line " + std::to_string(refused.line);
  if (refused.format == FormatKind::kFireEvents)
    return " >> Fire Events file" + (line.empty() ? "" : ", " + line) + ": " + refused.problem;
  return " >> " + screenSafe(fileName) + " is a FIRE2/FHX2 file without usable data: " +
         (line.empty() ? "" : line + ": ") + refused.problem;
}

}  // namespace rova
