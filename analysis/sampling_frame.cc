#include "analysis/sampling_frame.h"

#include <algorithm>

namespace rova {
namespace {

bool recordsByItself(char code, InjuryMode injuryMode) {
  return code == '|' || isFireEvent(code, injuryMode);
}

// Codes that record only beside a recording year: ring marks, and
// injuries that are not fire events.
bool recordsBesideRecording(char code) {
  return code == '[' || code == ']' || code == '{' || code == '}' || (code >= 'a' && code <= 'z');
}

bool inRecord(const FireHistory& data, int series, int year) {
  return year >= data.seriesFirstYear[series] && year <= data.seriesLastYear[series];
}

}  // namespace

const char* frameRuleName(FrameRule rule) {
  return rule == FrameRule::kRecorders ? "recorders" : "data";
}

bool recordsInYear(const FireHistory& data, int series, int year, InjuryMode injuryMode) {
  if (!inRecord(data, series, year)) return false;
  const char code = data.code(year, series);
  if (recordsByItself(code, injuryMode)) return true;
  if (!recordsBesideRecording(code)) return false;
  for (int next : {year - 1, year + 1}) {
    if (yearInTable(next) && inRecord(data, series, next) &&
        recordsByItself(data.code(next, series), injuryMode))
      return true;
  }
  return false;
}

std::vector<int> frameTrees(const FireHistory& data, int first, int last, FrameRule rule,
                            InjuryMode injuryMode) {
  std::vector<int> trees;
  const int n = std::min(data.seriesCount, kMaxSeries);
  for (int t = 1; t <= n; ++t) {
    const int from = std::max({first, data.seriesFirstYear[t], kFirstYearSlot});
    const int to = std::min({last, data.seriesLastYear[t], kLastYearSlot});
    if (from > to) continue;
    bool in = rule == FrameRule::kData;
    for (int y = from; !in && y <= to; ++y) in = recordsInYear(data, t, y, injuryMode);
    if (in) trees.push_back(t);
  }
  return trees;
}

std::vector<int> seriesWithoutData(const FireHistory& data) {
  std::vector<int> empty;
  const int n = std::min(data.seriesCount, kMaxSeries);
  for (int t = 1; t <= n; ++t)
    if (data.seriesFirstYear[t] > data.seriesLastYear[t]) empty.push_back(t);
  return empty;
}

}  // namespace rova
