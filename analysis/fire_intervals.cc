#include "analysis/fire_intervals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

std::string compositeText(const CompositeFilter& filter) {
  char percent[32];
  std::snprintf(percent, sizeof percent, "%g", filter.percent);
  return std::string(percent) + "," + std::to_string(filter.minRecorders) + "," +
         std::to_string(filter.minScarred);
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

std::vector<YearTrees> yearTrees(const FireHistory& data, const std::vector<int>& trees, int first,
                                 int last, InjuryMode injuryMode) {
  std::vector<YearTrees> years;
  for (int y = std::max(first, kFirstYearSlot); y <= std::min(last, kLastYearSlot); ++y) {
    YearTrees year;
    year.year = y;
    for (int t : trees) {
      if (!recordsInYear(data, t, y, injuryMode)) continue;
      year.recording.push_back(t);
      if (isFireEvent(data.code(y, t), injuryMode)) year.scarred.push_back(t);
    }
    years.push_back(std::move(year));
  }
  return years;
}

std::vector<int> compositeYears(const std::vector<YearTrees>& years, const std::vector<char>& inSample,
                                const CompositeFilter& filter) {
  std::vector<int> found;
  auto counted = [&](const std::vector<int>& trees) {
    int n = 0;
    for (int t : trees) n += t < static_cast<int>(inSample.size()) && inSample[t];
    return n;
  };
  for (const YearTrees& year : years) {
    const int scarred = counted(year.scarred);
    if (scarred == 0 && filter.minScarred > 0) continue;
    if (compositePasses(filter, scarred, counted(year.recording))) found.push_back(year.year);
  }
  return found;
}

std::vector<SiteYear> siteYears(const FireHistory& data, int first, int last, InjuryMode injuryMode,
                                const std::vector<CompositeFilter>& filters) {
  const std::vector<int> trees = frameTrees(data, first, last, FrameRule::kData, injuryMode);
  std::vector<SiteYear> out;
  for (const YearTrees& y : yearTrees(data, trees, first, last, injuryMode)) {
    SiteYear year;
    year.year = y.year;
    year.recording = static_cast<int>(y.recording.size());
    year.scarred = static_cast<int>(y.scarred.size());
    for (int t : trees) {
      const char code = data.code(y.year, t);
      year.injured += code >= 'a' && code <= 'z';
    }
    for (const CompositeFilter& filter : filters)
      year.composite.push_back(compositePasses(filter, year.scarred, year.recording));
    out.push_back(std::move(year));
  }
  return out;
}

std::optional<double> weibullShape(const std::vector<double>& x) {
  if (x.size() < 3) return std::nullopt;
  std::vector<double> logs;
  for (double v : x) logs.push_back(std::log(v));
  const double top = *std::max_element(logs.begin(), logs.end());
  const double bottom = *std::min_element(logs.begin(), logs.end());
  if (top == bottom) return std::nullopt;
  double meanLog = 0;
  for (double l : logs) meanLog += l;
  meanLog /= static_cast<double>(logs.size());
  // g(c) = E_w[ln x] - 1/c - mean(ln x) with weights x^c (scaled by the
  // largest, so nothing overflows); g' = Var_w[ln x] + 1/c^2 > 0, so g
  // rises through its one root. Newton's steps, kept inside a bracket.
  auto g = [&](double c, double& slope) {
    double sum = 0, first = 0, second = 0;
    for (double l : logs) {
      const double w = std::exp(c * (l - top));
      sum += w;
      first += w * l;
      second += w * l * l;
    }
    const double mean = first / sum;
    slope = second / sum - mean * mean + 1 / (c * c);
    return mean - 1 / c - meanLog;
  };
  double lo = 0, hi = 1, slope = 0;
  while (g(hi, slope) < 0) {
    lo = hi;
    hi *= 2;
    if (hi > 1e12) return std::nullopt;
  }
  double c = (lo + hi) / 2;
  for (int step = 0; step < 200; ++step) {
    const double value = g(c, slope);
    if (value == 0) break;
    if (value < 0) lo = c; else hi = c;
    double next = c - value / slope;
    if (!(next > lo && next < hi)) next = (lo + hi) / 2;
    if (std::fabs(next - c) <= 1e-15 * c) {
      c = next;
      break;
    }
    c = next;
  }
  return c;
}

IntervalStatistics intervalStatistics(const std::vector<int>& years) {
  IntervalStatistics s;
  std::vector<double> x;
  for (std::size_t i = 1; i < years.size(); ++i) x.push_back(years[i] - years[i - 1]);
  s.intervals = static_cast<int>(x.size());
  if (x.size() < 2) return s;
  double sum = 0;
  for (double v : x) sum += v;
  s.mean = sum / static_cast<double>(x.size());
  std::vector<double> sorted = x;
  std::sort(sorted.begin(), sorted.end());
  const std::size_t m = sorted.size() / 2;
  s.median = sorted.size() % 2 ? sorted[m] : (sorted[m - 1] + sorted[m]) / 2;
  const std::optional<double> c = weibullShape(x);
  if (!c) return s;
  double power = 0;
  for (double v : x) power += std::pow(v, *c);
  const double b = std::pow(power / static_cast<double>(x.size()), 1 / *c);
  s.weibullShape = c;
  s.weibullScale = b;
  s.weibullMedian = b * std::pow(std::log(2.0), 1 / *c);
  s.weibullLowerExceedance = b * std::pow(-std::log(0.875), 1 / *c);
  s.weibullUpperExceedance = b * std::pow(-std::log(0.125), 1 / *c);
  return s;
}

double compositePassProbability(const CompositeFilter& filter, int k, int r, int F, int s) {
  const double all = logChoose(F, s);
  double p = 0;
  for (int x = 0; x <= std::min(k, s); ++x) {
    for (int w = 0; w <= std::min(r - k, s - x); ++w) {
      const int rest = s - x - w;
      if (rest > F - r || !compositePasses(filter, x, x + w)) continue;
      p += std::exp(logChoose(k, x) + logChoose(r - k, w) + logChoose(F - r, rest) - all);
    }
  }
  return std::min(p, 1.0);
}

}  // namespace rova
