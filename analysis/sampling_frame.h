// The sampling frame of a span: the trees that were there to be sampled.
//
// A sample-size curve asks what a sample of s trees would show; the trees
// it may draw from are those with data in the span, not every series of
// the file. Two rules:
//   data       the series whose record (first to last year read, as the
//              sample depth counts it) covers at least one year of the span;
//   recorders  the series with at least one recording year in the span.
// A tree records in a year when its code there is "|" or a fire scar (or
// an injury when injuries are fire events); a pith, bark or innermost or
// outermost ring mark ("[", "]", "{", "}") or an injury that is no fire
// event records when it stands next to a recording year of the same tree.
// Every fire event of a tree lies in a recording year within its record,
// so a tree outside either frame has no event in the span.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "records/fire_history.h"
#include "records/output_request.h"

namespace rova {

// A set of a frame's trees, one bit per tree by its place in the frame.
constexpr int kFrameWords = (kMaxSeries + 63) / 64;
using FrameBits = std::array<std::uint64_t, kFrameWords>;

// "data" or "recorders", as the tables write the rule.
const char* frameRuleName(FrameRule rule);

// Whether tree `series` records in `year` by the rule above.
// REQUIRES: 1 <= series <= kMaxSeries; yearInTable(year).
bool recordsInYear(const FireHistory& data, int series, int year, InjuryMode injuryMode);

// The trees of the frame of first..last, in series order (1-based
// numbers). Years outside the table are not looked at.
std::vector<int> frameTrees(const FireHistory& data, int first, int last, FrameRule rule,
                            InjuryMode injuryMode);

// The series that hold no data at all (only "."): no frame counts them.
std::vector<int> seriesWithoutData(const FireHistory& data);

}  // namespace rova
