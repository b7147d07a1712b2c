#include "records/option_rules.h"

#include <cstdlib>

#include <algorithm>
#include <utility>

namespace rova {
namespace {

using Rule = OptionChange::Rule;

void spanRules(RunOptions& o, const FireHistory& data, std::vector<OptionChange>& changes) {
  const std::pair<int*, int> years[] = {{&o.processFirstYear, data.firstYear},
                                        {&o.processLastYear, data.lastYear}};
  for (auto [year, dataYear] : years) {
    if (*year != 0 || dataYear == 0) continue;
    changes.push_back({Rule::kYearFromData, 0, dataYear});
    *year = dataYear;
  }
  for (auto [year, dataYear] : years) {
    const int limited = std::clamp(*year, kFirstYearSlot, kLastYearSlot);
    if (limited == *year) continue;
    changes.push_back({Rule::kYearIntoTable, *year, limited});
    *year = limited;
  }
  if (o.processFirstYear > o.processLastYear) {
    changes.push_back({Rule::kSpanTurned, o.processFirstYear, o.processLastYear});
    std::swap(o.processFirstYear, o.processLastYear);
  }
}

void segmentRules(RunOptions& o, std::vector<OptionChange>& changes) {
  if (o.segmentLength < 0) {
    changes.push_back({Rule::kNoSegments, o.segmentLength, 0});
    o.segmentLength = 0;
  }
  const int lag = segmentLagFor(o.segmentLength, o.segmentLag);
  if (lag != o.segmentLag) changes.push_back({Rule::kLagHalfLength, o.segmentLag, lag});
  o.segmentLag = lag;
}

void seedRule(RunOptions& o, int defaultSeed, bool given, std::vector<OptionChange>& changes) {
  const int seed = given ? oddSeed(o.randomSeed, defaultSeed)
                         : (o.randomSeed == 0 ? defaultSeed : o.randomSeed);
  if (seed != o.randomSeed) changes.push_back({Rule::kSeed, o.randomSeed, seed});
  o.randomSeed = seed;
}

}  // namespace

std::vector<OptionChange> applyOptionRules(RunOptions& options, const FireHistory& data,
                                           int defaultSeed, JustGiven given) {
  std::vector<OptionChange> changes;
  if (given.span) spanRules(options, data, changes);
  segmentRules(options, changes);
  if (options.simulationCount > kMaxSimulations) {
    changes.push_back({Rule::kSimulationsCut, options.simulationCount, kMaxSimulations});
    options.simulationCount = kMaxSimulations;
  }
  seedRule(options, defaultSeed, given.seed, changes);
  if (data.formatKind == FormatKind::kFireEvents &&
      options.injuryMode == InjuryMode::kAllInjuries) {
    changes.push_back({Rule::kInjuriesIgnored, letterOf(InjuryMode::kAllInjuries),
                       letterOf(InjuryMode::kFireScarsOnly)});
    options.injuryMode = InjuryMode::kFireScarsOnly;
  }
  return changes;
}

std::optional<double> plainDecimal(const std::string& text, std::size_t longest) {
  if (text.empty() || text.size() > longest) return std::nullopt;
  bool digit = false;
  bool point = false;
  for (char c : text) {
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      digit = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digit) return std::nullopt;
  return std::strtod(text.c_str(), nullptr);
}

}  // namespace rova
