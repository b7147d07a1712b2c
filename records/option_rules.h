// The rules that turn the option values a user gives into usable ones,
// written once for the option menu, the settling of the options after the
// menu and the batch run's command line. The rules change values rather
// than refuse them, and say what they changed: each caller shows the
// changes it has words for, at the moment it applies the rules.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "records/fire_history.h"
#include "records/run_options.h"

namespace rova {

// One change that a rule made, with the value before and after it.
struct OptionChange {
  enum class Rule {
    kYearFromData,     // a year given as 0 became the data's first or last year
    kYearIntoTable,    // a year outside the year table became its nearest limit
    kSpanTurned,       // a first year after the last: the two were exchanged
                       // (from and to are the first year before and after)
    kNoSegments,       // a segment length below 0 became 0, no segments
    kLagHalfLength,    // a lag below 1 became half the segment length
    kSimulationsCut,   // more simulations than kMaxSimulations
    kSeed,             // seed 0 became the default seed, a given even seed odd
    kInjuriesIgnored,  // injuries of all types asked for on Fire Events data
  };
  Rule rule;
  long long from;
  long long to;
};

// The values that the user has just given: some rules hold for a value
// only at the moment it is given.
struct JustGiven {
  // The processing span: a year 0 means the data's, a year outside the
  // table is set to its nearest limit, a reversed span is turned round.
  bool span = false;
  // The seed: an even seed (a default seed too) is made odd.
  bool seed = false;
};

// Applies every rule to the options, in the order of the menu's options:
// span (when given), segments, simulations, seed, injuries. A rule that
// finds its value usable changes nothing and says nothing, so the rules
// may be applied again at any time. Returns the changes in that order.
std::vector<OptionChange> applyOptionRules(RunOptions& options, const FireHistory& data,
                                           int defaultSeed, JustGiven given = {});

// A percentage or other option value written as a plain decimal number:
// digits with at most one point, nothing else, at most `longest`
// characters; none otherwise.
std::optional<double> plainDecimal(const std::string& text, std::size_t longest = 20);

}  // namespace rova
