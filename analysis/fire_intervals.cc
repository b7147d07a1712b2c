#include "analysis/fire_intervals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>

#include "analysis/sampling_frame.h"
#include "records/option_rules.h"

namespace rova {
namespace {

std::optional<int> countOfTrees(const std::string& text) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int value = std::atoi(text.c_str());
  if (value < 1 || value > kMaxSeries) return std::nullopt;
  return value;
}

double logChoose(int n, int k) {
  return std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0);
}

}  // namespace

std::optional<CompositeFilter> parseCompositeFilter(const std::string& text) {
  const std::size_t first = text.find(',');
  const std::size_t second = first == std::string::npos ? first : text.find(',', first + 1);
  if (second == std::string::npos || text.find(',', second + 1) != std::string::npos)
    return std::nullopt;
  const auto percent = plainDecimal(text.substr(0, first), 12);
  const auto recorders = countOfTrees(text.substr(first + 1, second - first - 1));
  const auto scarred = countOfTrees(text.substr(second + 1));
  if (!percent || *percent > 100 || !recorders || !scarred) return std::nullopt;
  return CompositeFilter{*percent, *recorders, *scarred};
}

std::string compositeName(const CompositeFilter& filter) {
  std::string name = "composite_" + compositeText(filter);
  std::replace(name.begin(), name.end(), ',', '_');
  return name;
}

bool compositePasses(const CompositeFilter& filter, int scarred, int recording) {
  return scarred >= filter.minScarred && recording >= filter.minRecorders &&
         scarred * 100.0 >= filter.percent * recording;
}

FrameYears frameYears(const FireHistory& data, const std::vector<int>& trees, int first, int last,
                      InjuryMode injuryMode) {
  FrameYears out;
  out.trees = trees;
  out.words = static_cast<int>((trees.size() + 63) / 64);
  for (int y = std::max(first, kFirstYearSlot); y <= std::min(last, kLastYearSlot); ++y) {
    FrameYear year;
    year.year = y;
    bool any = false;
    for (std::size_t place = 0; place < trees.size(); ++place) {
      const int t = trees[place];
      if (!recordsInYear(data, t, y, injuryMode)) continue;
      const std::uint64_t bit = std::uint64_t{1} << (place % 64);
      year.recording[place / 64] |= bit;
      if (isFireEvent(data.code(y, t), injuryMode)) {
        year.scarred[place / 64] |= bit;
        any = true;
      }
    }
    if (any) out.fireYears.push_back(static_cast<int>(out.years.size()));
    out.years.push_back(year);
  }
  return out;
}

FrameBits allPlaces(int n) {
  FrameBits bits{};
  for (int place = 0; place < n; ++place) bits[place / 64] |= std::uint64_t{1} << (place % 64);
  return bits;
}

// The samplers call this once per sample and year: on x86-64 it is built
// twice, for processors with a popcount instruction and without, and the
// loader picks one (the same source, the same counts).
#if defined(__x86_64__) && defined(__GNUC__) && defined(__ELF__)
#define ROVA_POPCOUNT_BUILDS __attribute__((target_clones("popcnt", "default")))
#else
#define ROVA_POPCOUNT_BUILDS
#endif

ROVA_POPCOUNT_BUILDS
void compositeYears(const FrameYears& years, const FrameBits& sample,
                    const std::vector<CompositeFilter>& filters, std::vector<std::vector<int>>& found) {
  found.resize(filters.size());
  for (std::vector<int>& list : found) list.clear();
  for (int i : years.fireYears) {
    const FrameYear& year = years.years[i];
    int scarred = 0, recording = 0;
    for (int w = 0; w < years.words; ++w) scarred += __builtin_popcountll(year.scarred[w] & sample[w]);
    if (scarred == 0) continue;
    for (int w = 0; w < years.words; ++w) recording += __builtin_popcountll(year.recording[w] & sample[w]);
    for (std::size_t f = 0; f < filters.size(); ++f)
      if (compositePasses(filters[f], scarred, recording)) found[f].push_back(year.year);
  }
}

std::vector<int> compositeYears(const FrameYears& years, const FrameBits& sample,
                                const CompositeFilter& filter) {
  std::vector<std::vector<int>> found;
  compositeYears(years, sample, {filter}, found);
  return found[0];
}

std::vector<SiteYear> siteYears(const FireHistory& data, int first, int last, InjuryMode injuryMode,
                                const std::vector<CompositeFilter>& filters) {
  const std::vector<int> trees = frameTrees(data, first, last, FrameRule::kData, injuryMode);
  const FrameYears frame = frameYears(data, trees, first, last, injuryMode);
  std::vector<std::vector<int>> composites;
  compositeYears(frame, allPlaces(static_cast<int>(trees.size())), filters, composites);
  std::vector<SiteYear> out;
  std::vector<std::size_t> next(filters.size(), 0);
  for (const FrameYear& y : frame.years) {
    SiteYear year;
    year.year = y.year;
    for (int w = 0; w < kFrameWords; ++w) {
      year.recording += __builtin_popcountll(y.recording[w]);
      year.scarred += __builtin_popcountll(y.scarred[w]);
    }
    for (int t : trees) {
      const char code = data.code(y.year, t);
      year.injured += code >= 'a' && code <= 'z';
    }
    for (std::size_t f = 0; f < filters.size(); ++f) {
      const bool in = next[f] < composites[f].size() && composites[f][next[f]] == y.year;
      next[f] += in;
      year.composite.push_back(in);
    }
    out.push_back(std::move(year));
  }
  return out;
}

namespace {

// ln k for the whole intervals most spans have, computed once.
double logOfInterval(double x) {
  static const std::vector<double> table = [] {
    std::vector<double> logs(4096);
    for (std::size_t k = 1; k < logs.size(); ++k) logs[k] = std::log(static_cast<double>(k));
    return logs;
  }();
  const double k = std::floor(x);
  if (k == x && x >= 1 && x < static_cast<double>(table.size()))
    return table[static_cast<std::size_t>(k)];
  return std::log(x);
}

// The Weibull shape by maximum likelihood from distinct values v (ascending),
// their counts m and logs l: the root of
//   g(c) = sum m x^c ln x / sum m x^c - 1/c - mean(ln x),
// with the weights x^c scaled by the largest (nothing overflows). g rises
// through its one root (g' = the weighted variance of ln x + 1/c^2 > 0).
// Newton's steps from the closed-form estimate pi / (sqrt 6 sd(ln x)),
// kept inside a bracket of the root. Also gives sum m (x / max)^c / n at
// the root, for the scale. Undefined with fewer than three values or all
// equal.
std::optional<double> shapeOfGrouped(const std::vector<double>& m, const std::vector<double>& l,
                                     double& weightShare) {
  double n = 0, meanLog = 0;
  for (std::size_t i = 0; i < m.size(); ++i) {
    n += m[i];
    meanLog += m[i] * l[i];
  }
  if (n < 3 || m.size() < 2) return std::nullopt;
  meanLog /= n;
  const double top = l.back();
  double spread = 0;
  for (std::size_t i = 0; i < m.size(); ++i) spread += m[i] * (l[i] - meanLog) * (l[i] - meanLog);
  const double sdLog = std::sqrt(spread / (n - 1));
  auto g = [&](double c, double& slope, double& sum) {
    double first = 0, second = 0;
    sum = 0;
    for (std::size_t i = 0; i < m.size(); ++i) {
      const double w = m[i] * std::exp(c * (l[i] - top));
      sum += w;
      first += w * l[i];
      second += w * l[i] * l[i];
    }
    const double mean = first / sum;
    slope = second / sum - mean * mean + 1 / (c * c);
    return mean - 1 / c - meanLog;
  };
  const double pi = 3.14159265358979323846;
  double c = pi / (std::sqrt(6.0) * sdLog);
  double lo = 0, hi = std::numeric_limits<double>::infinity(), slope = 0, sum = 0;
  for (int step = 0; step < 200; ++step) {
    const double value = g(c, slope, sum);
    if (value == 0) break;
    if (value < 0) lo = c; else hi = c;
    double next = c - value / slope;
    if (!(next > lo && next < hi)) next = std::isinf(hi) ? 2 * c : (lo + hi) / 2;
    if (std::fabs(next - c) <= 1e-15 * c) {
      c = next;
      g(c, slope, sum);
      break;
    }
    c = next;
  }
  weightShare = sum / n;
  return c;
}

}  // namespace

std::optional<double> weibullShape(const std::vector<double>& x) {
  std::vector<double> sorted = x;
  std::sort(sorted.begin(), sorted.end());
  std::vector<double> m, l;
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    if (i > 0 && sorted[i] == sorted[i - 1]) {
      m.back() += 1;
      continue;
    }
    m.push_back(1);
    l.push_back(logOfInterval(sorted[i]));
  }
  double share = 0;
  return shapeOfGrouped(m, l, share);
}

const IntervalStatistics& IntervalFitter::of(const std::vector<int>& years) {
  IntervalStatistics& s = result_;
  s = IntervalStatistics{};
  const std::size_t n = years.size() < 2 ? 0 : years.size() - 1;
  s.intervals = static_cast<int>(n);
  if (n < 2) return s;
  // The intervals counted by length (they are whole years, at most the
  // span): their distinct lengths in order without sorting them.
  int longest = 0;
  long long sum = 0;
  for (std::size_t i = 1; i < years.size(); ++i) {
    const int x = years[i] - years[i - 1];
    longest = std::max(longest, x);
    sum += x;
  }
  intervals_.assign(static_cast<std::size_t>(longest) + 1, 0);
  for (std::size_t i = 1; i < years.size(); ++i) ++intervals_[years[i] - years[i - 1]];
  values_.clear();
  counts_.clear();
  logs_.clear();
  for (int x = 1; x <= longest; ++x) {
    if (intervals_[x] == 0) continue;
    values_.push_back(x);
    counts_.push_back(intervals_[x]);
    logs_.push_back(logOfInterval(x));
  }
  s.mean = static_cast<double>(sum) / static_cast<double>(n);
  // The median: the middle interval, or the mean of the middle two.
  auto nth = [&](std::size_t k) {  // the k-th smallest, from 0
    std::size_t seen = 0;
    for (std::size_t i = 0; i < values_.size(); ++i) {
      seen += static_cast<std::size_t>(counts_[i]);
      if (k < seen) return values_[i];
    }
    return values_.back();
  };
  const std::size_t half = n / 2;
  s.median = n % 2 ? nth(half) : (nth(half - 1) + nth(half)) / 2.0;
  double share = 0;
  const std::optional<double> c = shapeOfGrouped(counts_, logs_, share);
  if (!c) return s;
  // b = (mean x^c)^(1/c) = max x (mean (x / max x)^c)^(1/c).
  const double b = values_.back() * std::pow(share, 1 / *c);
  s.weibullShape = c;
  s.weibullScale = b;
  s.weibullMedian = b * std::pow(std::log(2.0), 1 / *c);
  s.weibullLowerExceedance = b * std::pow(-std::log(0.875), 1 / *c);
  s.weibullUpperExceedance = b * std::pow(-std::log(0.125), 1 / *c);
  return s;
}

IntervalStatistics intervalStatistics(const std::vector<int>& years) {
  IntervalFitter fitter;
  return fitter.of(years);
}

CompositeStatistics::CompositeStatistics(const FrameYears& years,
                                         const std::vector<CompositeFilter>& filters)
    : years_(years), filters_(filters), result_(filters.size()) {}

const std::vector<SampleComposite>& CompositeStatistics::of(const FrameBits& sample) {
  compositeYears(years_, sample, filters_, found_);
  for (std::size_t f = 0; f < filters_.size(); ++f) {
    result_[f].years = static_cast<int>(found_[f].size());
    result_[f].intervals = fitter_.of(found_[f]);
  }
  return result_;
}

double compositePassProbability(const CompositeFilter& filter, int k, int r, int F, int s) {
  const double all = logChoose(F, s);
  const int others = r - k;      // recording trees without a scar
  const int silent = F - r;      // trees not recording
  double p = 0;
  for (int x = std::max(filter.minScarred, 0); x <= std::min(k, s); ++x) {
    // w other recording trees, s - x - w silent ones: every term with
    // w from lo to hi is positive, at least 1 / C(F, s) (no underflow),
    // and each follows from the last by the ratio of the binomials.
    const int lo = std::max(0, s - x - silent);
    const int hi = std::min(others, s - x);
    if (lo > hi) continue;
    double term = std::exp(logChoose(k, x) + logChoose(others, lo) + logChoose(silent, s - x - lo) - all);
    for (int w = lo; w <= hi; ++w) {
      if (compositePasses(filter, x, x + w)) {
        p += term;
      } else if (x + w >= filter.minRecorders) {
        break;  // too few scarred: more recording trees only lower the share
      }
      const int rest = s - x - w;  // silent trees for this w
      term *= static_cast<double>(others - w) / (w + 1) * rest / (silent - rest + 1);
    }
  }
  return std::min(p, 1.0);
}

std::vector<double> exactCompositeYears(const FrameYears& years, const CompositeFilter& filter) {
  const int F = static_cast<int>(years.trees.size());
  // The years by their scarred and recording trees, k and r: the chance
  // depends on nothing else.
  std::vector<std::pair<int, int>> pairs;
  for (int i : years.fireYears) {
    const FrameYear& y = years.years[i];
    int k = 0, r = 0;
    for (int w = 0; w < kFrameWords; ++w) {
      k += __builtin_popcountll(y.scarred[w]);
      r += __builtin_popcountll(y.recording[w]);
    }
    pairs.emplace_back(k, r);
  }
  std::sort(pairs.begin(), pairs.end());
  std::vector<double> expected(static_cast<std::size_t>(F), 0.0);
  for (std::size_t i = 0; i < pairs.size();) {
    std::size_t j = i;
    while (j < pairs.size() && pairs[j] == pairs[i]) ++j;
    for (int s = 1; s <= F; ++s)
      expected[s - 1] += static_cast<double>(j - i) *
                         compositePassProbability(filter, pairs[i].first, pairs[i].second, F, s);
    i = j;
  }
  return expected;
}

}  // namespace rova
