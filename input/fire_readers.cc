#include "input/fire_readers.h"

#include <algorithm>

#include "console/text.h"
#include "format/fields.h"
#include "format/free_format.h"

namespace rova {
namespace {

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

void writeSummary(Console& console, const char* label, const FireHistory& data,
                  const char* seriesWord) {
  console.write(fmt::Line(label)
                    .i(data.firstYear, 6)
                    .i(data.lastYear, 6)
                    .i(static_cast<long long>(data.lastYear) - data.firstYear + 1, 6)
                    .a(" years")
                    .i(data.seriesCount, 6)
                    .a(seriesWord));
}

}  // namespace

Fire2Result RFIRE2(InputText& file, FireHistory& data, Console& console, FileDialogue& dialogue) {
  data.reset(' ');
  file.rewind();
  if (file.lines().empty()) return {};
  if (!findFormatLine(file)) {
    dialogue.showFileHead(file, 12);
    return {};
  }
  Fire2Result refused{Fire2Outcome::kRefused, ""};

  auto counts = file.nextLine();
  auto values = counts ? readIntegers(counts->substr(0, std::min<std::size_t>(counts->size(), 16)), 3)
                       : std::nullopt;
  if (!values) {
    refused.problem = lineLabel(file.lineNumber()) +
                      "the line after the format line must hold the first year, the number of "
                      "series and the number of identifier lines";
    return refused;
  }
  const int firstYear = (*values)[0];
  const int seriesInFile = (*values)[1];
  const int idLines = (*values)[2];
  if (seriesInFile < 1 || idLines < 0) {
    refused.problem = lineLabel(file.lineNumber()) + "the number of series must be 1 or more and " +
                      "the number of identifier lines 0 or more";
    return refused;
  }
  const int n = std::min(seriesInFile, kMaxSeries);
  if (seriesInFile > kMaxSeries) {
    console.write(fmt::Line(" >> FIRE2:").i(seriesInFile, 6).a(" series in the file; only the first")
                      .i(kMaxSeries, 4).a(" are read"));
  }
  if (idLines > kSeriesIdLength) {
    console.write(" >> FIRE2: identifiers are cut to their first 8 characters");
  }
  data.seriesCount = n;

  for (int k = 1; k <= idLines; ++k) {
    auto line = file.nextLine();
    if (!line) {
      refused.problem = "the file ends within the identifier lines";
      return refused;
    }
    if (k > kSeriesIdLength) continue;
    for (int s = 1; s <= n && s <= static_cast<int>(line->size()); ++s) {
      data.seriesIds[s][k - 1] = (*line)[s - 1];
    }
  }
  if (!file.nextLine()) {
    refused.problem = "the file ends before its data lines";
    return refused;
  }

  const std::size_t lastLine = lastNonBlankLine(file);
  long long year = firstYear;
  bool stored = false;
  bool skippedEarly = false;
  while (file.lineNumber() < lastLine) {
    const std::string line = *file.nextLine();
    if (year > kLastYearSlot) {
      console.write(" >> FIRE2: data lines after 2030 are not read");
      break;
    }
    if (year < kFirstYearSlot) {
      skippedEarly = true;
      ++year;
      continue;
    }
    const int y = static_cast<int>(year);
    for (int s = 1; s <= n; ++s) {
      const char c = s <= static_cast<int>(line.size()) ? line[s - 1] : ' ';
      data.code(y, s) = c;
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
  if (skippedEarly) console.write(" >> FIRE2: data lines before -2065 are not read");
  if (!stored) {
    data.seriesCount = 0;
    refused.problem = "no data line falls in the years -2065 to 2030";
    return refused;
  }
  writeSummary(console, " FIRE2:", data, " series");
  return {Fire2Outcome::kRead, ""};
}

namespace {

// The year field of a Fire Events line: blanks inside it are ignored and
// an all-blank field is 0, as a fixed-width integer field reads.
std::optional<long long> yearField(const std::string& line) {
  std::string field = packName(line.substr(0, 5));
  if (field.empty()) return 0;
  std::size_t i = (field[0] == '+' || field[0] == '-') ? 1 : 0;
  if (i == field.size()) return std::nullopt;
  for (std::size_t j = i; j < field.size(); ++j)
    if (field[j] < '0' || field[j] > '9') return std::nullopt;
  return std::stoll(field);
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

}  // namespace

void RFIREB(InputText& file, FireHistory& data, Console& console) {
  data.reset('.');
  data.firstYear = kLastYearSlot;
  data.lastYear = kFirstYearSlot;
  file.rewind();
  while (auto next = file.nextLine()) {
    const std::string& line = *next;
    if (isBlankLine(line)) continue;
    const auto year = yearField(line);
    if (!year) {
      throw ProgramStop{1, " >> Fire Events file, line " + std::to_string(file.lineNumber()) +
                               ": the year in columns 1-5, \"" + screenSafe(line.substr(0, 5)) +
                               "\", is not a whole number"};
    }
    if (!yearInTable(*year)) {
      console.write(fmt::Line(" >> Sbr RFIREB: Year").i(*year, 6));
      continue;
    }
    const int y = static_cast<int>(*year);
    data.firstYear = std::min(data.firstYear, y);
    data.lastYear = std::max(data.lastYear, y);
    std::string codes = packName(line.size() > 5 ? line.substr(5, 512) : "");
    if (codes.size() > static_cast<std::size_t>(kMaxSeries)) {
      console.write(fmt::Line(" >> Fire Events file, line ").a(std::to_string(file.lineNumber()))
                        .a(": ").a(std::to_string(codes.size()))
                        .a(" codes; only the first 200 trees are read"));
      codes.resize(kMaxSeries);
    }
    data.seriesCount = static_cast<int>(codes.size());
    for (int k = 1; k <= data.seriesCount; ++k) data.code(y, k) = translateFireEventsCode(codes[k - 1]);
  }

  console.write(" ");
  writeSummary(console, " Fire events:", data, " Series");

  for (int s = 1; s <= data.seriesCount; ++s) {
    for (int y = data.firstYear; y <= data.lastYear; ++y) {
      if (data.code(y, s) == '.') continue;
      if (data.seriesFirstYear[s] == kLastYearSlot) data.seriesFirstYear[s] = y;
      data.seriesLastYear[s] = y;
    }
    data.seriesIds[s] = fmt::Line("Tree").i(s, 4).str();
    for (int y = data.seriesFirstYear[s]; y <= data.seriesLastYear[s]; ++y) {
      if (data.code(y, s) == '.') data.code(y, s) = '|';
    }
  }
}

}  // namespace rova
