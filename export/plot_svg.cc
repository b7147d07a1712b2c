#include "export/plot_svg.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <optional>

#include "format/utf8.h"

namespace rova {
namespace {

// The page, from the top: the heading (title, options, note), then one
// panel per span. Inside a panel: its title, the plot area, the x tick
// labels and axis label; the legend stands right of the plot area.
constexpr int kHeaderHeight = 96;
constexpr int kPanelHeight = 400;
constexpr int kBottomMargin = 8;
constexpr double kAreaLeft = 80;
constexpr double kAreaTop = 40;  // within the panel
constexpr double kAreaWidth = 640;
constexpr double kAreaHeight = 290;
constexpr double kLegendLeft = kAreaLeft + kAreaWidth + 30;

constexpr const char* kAxisColour = "#333333";
constexpr const char* kGridColour = "#dddddd";
constexpr double k99Opacity = 0.13;
constexpr double k95Opacity = 0.22;

const char* thresholdColour(int threshold) {
  switch (threshold) {
    case 1:
      return "#1f5fa8";
    case 2:
      return "#d4541a";
    default:
      return "#666666";
  }
}

// A coordinate or a label value: at most `decimals` decimals, no trailing
// zeros, never "-0", independent of the locale.
std::string num(double value, int decimals = 2) {
  if (!std::isfinite(value)) value = 0;  // callers never pass one; a safe guard
  char buffer[64];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text(buffer, result.ptr);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

std::string integer(long long value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// Text for character data and attribute values. Markup characters become
// entities; tab and line ends become blanks; other control characters,
// which XML does not allow, are dropped; valid UTF-8 is copied, and any
// other byte is read as Latin-1 and written as a character reference.
std::string xmlText(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&apos;";
          break;
        case '\t':
        case '\n':
        case '\r':
          out += ' ';
          break;
        default:
          if (c >= 0x20) out += static_cast<char>(c);
      }
      ++i;
    } else if (std::size_t length = utf8SequenceLength(text, i)) {
      // U+FFFE and U+FFFF are valid UTF-8 but not XML characters.
      if (length == 3 && c == 0xEF && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
          static_cast<unsigned char>(text[i + 2]) >= 0xBE)
        out += "&#xFFFD;";
      else
        out.append(text, i, length);
      i += length;
    } else {
      out += "&#x";
      out += kHex[c >> 4];
      out += kHex[c & 0xf];
      out += ';';
      ++i;
    }
  }
  return out;
}

// A rounded scale from 0: the step between ticks and the top.
struct Scale {
  double top = 1;
  double step = 0.2;
  int decimals = 1;
};

Scale niceScale(double maximum) {
  Scale s;
  if (!(maximum > 0)) return s;
  const double raw = maximum / 5;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double fraction = raw / magnitude;
  const double factor = fraction <= 1     ? 1
                        : fraction <= 2   ? 2
                        : fraction <= 2.5 ? 2.5
                        : fraction <= 5   ? 5
                                          : 10;
  s.step = factor * magnitude;
  s.top = std::ceil(maximum / s.step - 1e-9) * s.step;
  if (s.top < maximum) s.top += s.step;
  s.decimals = 0;
  while (s.decimals < 8) {
    const double scaled = s.step * std::pow(10.0, s.decimals);
    if (std::fabs(scaled - std::round(scaled)) < 1e-6 * scaled) break;
    ++s.decimals;
  }
  return s;
}

// The value as drawn: clipped at 0, or nothing when it is not finite.
std::optional<double> drawn(float value) {
  if (!std::isfinite(value)) return std::nullopt;
  return std::max(0.0, static_cast<double>(value));
}

double largestDrawnValue(const std::vector<PlotSpan>& spans) {
  double maximum = 0;
  auto consider = [&](float v) {
    if (auto d = drawn(v)) maximum = std::max(maximum, *d);
  };
  for (const PlotSpan& span : spans) {
    for (const ResultRow& row : span.rows) {
      consider(row.mean);
      if (row.observed) continue;
      for (int k = 0; k < 4; ++k) consider(row.limits[k]);
      consider(row.percentiles[0]);
      consider(row.percentiles[1]);
    }
  }
  return maximum;
}

// Maps data to page coordinates within one panel.
struct Frame {
  double top;    // page y of the plot area's top
  int maxTrees;  // the x axis runs over 1..maxTrees
  double yTop;   // data value at the top of the plot area

  double x(double trees) const { return kAreaLeft + (trees - 0.5) / maxTrees * kAreaWidth; }
  double y(double value) const { return top + kAreaHeight - value / yTop * kAreaHeight; }
  double bottom() const { return top + kAreaHeight; }
};

struct Point {
  double trees;
  double value;
};

using Rows = std::vector<const ResultRow*>;

// Runs of consecutive rows for which every one of `values` is drawable.
template <typename... Value>
std::vector<Rows> runs(const Rows& rows, Value... values) {
  std::vector<Rows> out;
  bool open = false;
  for (const ResultRow* row : rows) {
    if (!(drawn(values(*row)) && ...)) {
      open = false;
      continue;
    }
    if (!open) out.emplace_back();
    open = true;
    out.back().push_back(row);
  }
  return out;
}

template <typename Value>
std::vector<Point> points(const Rows& rows, Value value) {
  std::vector<Point> out;
  for (const ResultRow* row : rows) out.push_back({double(row->sampleSize), *drawn(value(*row))});
  return out;
}

std::string pointList(const Frame& f, const std::vector<Point>& points) {
  std::string out;
  for (const Point& p : points) {
    if (!out.empty()) out += ' ';
    out += num(f.x(p.trees)) + ',' + num(f.y(p.value));
  }
  return out;
}

class PanelWriter {
 public:
  PanelWriter(std::string& out, const Frame& frame) : out_(out), f_(frame) {}

  // A filled band between two limits, drawn as a polygon over each run of
  // sample sizes (a box when the run holds a single size).
  void band(const Rows& rows, int lowerLimit, int upperLimit, const char* colour, double opacity,
            const char* cls) {
    auto lowerOf = [=](const ResultRow& r) { return r.limits[lowerLimit]; };
    auto upperOf = [=](const ResultRow& r) { return r.limits[upperLimit]; };
    const std::string attributes = std::string(" class=\"") + cls + "\" fill=\"" + colour +
                                   "\" fill-opacity=\"" + num(opacity) + "\" stroke=\"none\"/>\n";
    for (const Rows& run : runs(rows, lowerOf, upperOf)) {
      std::vector<Point> upper = points(run, upperOf);
      std::vector<Point> lower = points(run, lowerOf);
      if (run.size() == 1) {
        const double half = singleHalfWidth();
        const double x = f_.x(upper[0].trees);
        const double y = f_.y(upper[0].value);
        out_ += "<rect x=\"" + num(x - half) + "\" y=\"" + num(y) + "\" width=\"" + num(2 * half) +
                "\" height=\"" + num(f_.y(lower[0].value) - y) + "\"" + attributes;
        continue;
      }
      std::reverse(lower.begin(), lower.end());
      out_ += "<polygon points=\"" + pointList(f_, upper) + ' ' + pointList(f_, lower) + "\"" +
              attributes;
    }
  }

  // A line through each run of values (a short level stroke for a run of
  // one), optionally dashed.
  template <typename Value>
  void line(const Rows& rows, Value value, const char* colour, double width, const char* dash,
            const char* cls) {
    for (const Rows& run : runs(rows, value)) {
      std::vector<Point> line = points(run, value);
      if (line.size() == 1) {
        const double half = singleHalfWidth() / kAreaWidth * f_.maxTrees;  // in trees
        line = {{line[0].trees - half, line[0].value}, {line[0].trees + half, line[0].value}};
      }
      out_ += std::string("<polyline class=\"") + cls + "\" points=\"" + pointList(f_, line) +
              "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"" + num(width) + "\"";
      if (dash) out_ += std::string(" stroke-dasharray=\"") + dash + "\"";
      out_ += "/>\n";
    }
  }

  void markers(const Rows& rows, const char* colour) {
    for (const ResultRow* r : rows) {
      if (auto v = drawn(r->mean))
        out_ += "<circle class=\"mean-point\" cx=\"" + num(f_.x(r->sampleSize)) + "\" cy=\"" +
                num(f_.y(*v)) + "\" r=\"3\" fill=\"" + colour + "\"/>\n";
    }
  }

  void observed(const ResultRow& r) {
    auto v = drawn(r.mean);
    if (!v) return;
    out_ += diamond(f_.x(r.sampleSize), f_.y(*v), 8, thresholdColour(r.threshold), "observed");
  }

  // Half the width, in page units, of what stands for a lone sample size.
  double singleHalfWidth() const { return std::min(0.2 / f_.maxTrees * kAreaWidth, 12.0); }

  static std::string diamond(double x, double y, double size, const char* colour, const char* cls) {
    return std::string("<path class=\"") + cls + "\" d=\"M" + num(x) + ',' + num(y - size) + " L" +
           num(x + size) + ',' + num(y) + " L" + num(x) + ',' + num(y + size) + " L" +
           num(x - size) + ',' + num(y) + " Z\" fill=\"" + colour +
           "\" stroke=\"#000000\" stroke-width=\"1.5\"/>\n";
  }

 private:
  std::string& out_;
  const Frame& f_;
};

void text(std::string& out, double x, double y, const std::string& content,
          const std::string& attributes = "") {
  out += "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\"" + attributes + ">" + xmlText(content) +
         "</text>\n";
}

// The x axis ticks: every size up to 20 trees, else 1 and multiples of a
// round step.
std::vector<int> treeTicks(int maxTrees) {
  int step = 1;
  if (maxTrees > 20) {
    const double raw = maxTrees / 10.0;
    int magnitude = 1;
    while (magnitude * 10 <= raw) magnitude *= 10;
    step = raw <= magnitude       ? magnitude
           : raw <= 2 * magnitude ? 2 * magnitude
           : raw <= 5 * magnitude ? 5 * magnitude
                                  : 10 * magnitude;
  }
  std::vector<int> ticks{1};
  for (int t = step; t <= maxTrees; t += step)
    if (t > 1) ticks.push_back(t);
  return ticks;
}

void axes(std::string& out, const Frame& f, const Scale& scale, bool withTreeTicks) {
  out += "<g class=\"axes\" font-size=\"12\" fill=\"" + std::string(kAxisColour) + "\">\n";
  const int tickCount = static_cast<int>(std::lround(scale.top / scale.step));
  for (int k = 0; k <= tickCount; ++k) {
    const double value = k * scale.step;
    const double y = f.y(value);
    if (k > 0)
      out += "<line x1=\"" + num(kAreaLeft) + "\" y1=\"" + num(y) + "\" x2=\"" +
             num(kAreaLeft + kAreaWidth) + "\" y2=\"" + num(y) + "\" stroke=\"" + kGridColour +
             "\" stroke-width=\"1\"/>\n";
    out += "<line x1=\"" + num(kAreaLeft - 5) + "\" y1=\"" + num(y) + "\" x2=\"" + num(kAreaLeft) +
           "\" y2=\"" + num(y) + "\" stroke=\"" + kAxisColour + "\" stroke-width=\"1\"/>\n";
    text(out, kAreaLeft - 8, y + 4, num(value, scale.decimals), " text-anchor=\"end\"");
  }
  if (withTreeTicks) {
    for (int t : treeTicks(f.maxTrees)) {
      const double x = f.x(t);
      out += "<line x1=\"" + num(x) + "\" y1=\"" + num(f.bottom()) + "\" x2=\"" + num(x) +
             "\" y2=\"" + num(f.bottom() + 5) + "\" stroke=\"" + kAxisColour +
             "\" stroke-width=\"1\"/>\n";
      text(out, x, f.bottom() + 19, integer(t), " text-anchor=\"middle\"");
    }
  }
  out += "<rect x=\"" + num(kAreaLeft) + "\" y=\"" + num(f.top) + "\" width=\"" + num(kAreaWidth) +
         "\" height=\"" + num(kAreaHeight) + "\" fill=\"none\" stroke=\"" + kAxisColour +
         "\" stroke-width=\"1\"/>\n";
  text(out, kAreaLeft + kAreaWidth / 2, f.bottom() + 42, "Trees in sample (number of trees)",
       " text-anchor=\"middle\" font-size=\"14\"");
  const double midY = f.top + kAreaHeight / 2;
  text(out, 24, midY, "Fire events per century (fires / 100 years)",
       " text-anchor=\"middle\" font-size=\"14\" transform=\"rotate(-90 24 " + num(midY) + ")\"");
  out += "</g>\n";
}

void legend(std::string& out, double top, const std::vector<int>& thresholds, bool observed) {
  out += "<g class=\"legend\" font-size=\"13\" fill=\"" + std::string(kAxisColour) + "\">\n";
  const double x = kLegendLeft;
  double y = top + 12;
  auto entry = [&](const std::string& symbol, const std::string& label) {
    out += symbol;
    text(out, x + 34, y + 4, label);
    y += 24;
  };
  for (int t : thresholds) {
    const char* colour = thresholdColour(t);
    entry("<line x1=\"" + num(x) + "\" y1=\"" + num(y) + "\" x2=\"" + num(x + 24) + "\" y2=\"" +
              num(y) + "\" stroke=\"" + colour + "\" stroke-width=\"2\"/>\n<circle cx=\"" +
              num(x + 12) + "\" cy=\"" + num(y) + "\" r=\"3\" fill=\"" + colour + "\"/>\n",
          "Mean, threshold " + integer(t));
  }
  const std::string swatch =
      "<rect x=\"" + num(x) + "\" width=\"24\" height=\"12\" fill=\"#555555\"";
  entry(swatch + " y=\"" + num(y - 6) + "\" fill-opacity=\"" + num(k99Opacity) + "\"/>\n",
        "99 % confidence band");
  entry(swatch + " y=\"" + num(y - 6) + "\" fill-opacity=\"" + num(k99Opacity) + "\"/>\n" + swatch +
            " y=\"" + num(y - 6) + "\" fill-opacity=\"" + num(k95Opacity) + "\"/>\n",
        "95 % confidence band");
  entry("<line x1=\"" + num(x) + "\" y1=\"" + num(y) + "\" x2=\"" + num(x + 24) + "\" y2=\"" +
            num(y) + "\" stroke=\"#555555\" stroke-width=\"1.5\" stroke-dasharray=\"5 3\"/>\n",
        "2.5-97.5 % percentiles");
  if (observed)
    entry(PanelWriter::diamond(x + 12, y, 7, "#ffffff", "legend-observed"), "Observed, all trees");
  y += 6;
  text(out, x, y, "Bands: mean -/+ 1.960 and", " font-size=\"11\"");
  text(out, x, y + 15, "2.575 standard deviations", " font-size=\"11\"");
  out += "</g>\n";
}

void panel(std::string& out, const PlotInfo& info, const PlotSpan& span, double top,
           const Scale& scale) {
  int maxTrees = 1;
  for (const ResultRow& r : span.rows) maxTrees = std::max(maxTrees, r.sampleSize);
  const Frame f{top + kAreaTop, maxTrees, scale.top};

  out += "<g class=\"panel\">\n";
  std::string heading = info.site.empty() ? std::string() : info.site + "   ";
  heading += integer(span.firstYear) + "-" + integer(span.lastYear) + " (" +
             integer(static_cast<long long>(span.lastYear) - span.firstYear + 1) + " years)";
  text(out, kAreaLeft, top + 26, heading, " font-size=\"15\" font-weight=\"bold\"");

  const bool empty = span.rows.empty();
  axes(out, f, scale, !empty);
  if (empty) {
    text(out, kAreaLeft + kAreaWidth / 2, f.top + kAreaHeight / 2, "no simulations",
         " class=\"no-data\" text-anchor=\"middle\" font-size=\"16\" fill=\"#777777\"");
    out += "</g>\n";
    return;
  }

  // The rows of each threshold in order of sample size; the observed value
  // of all trees is kept apart from the simulations.
  std::vector<int> thresholds;
  for (const ResultRow& r : span.rows)
    if (std::find(thresholds.begin(), thresholds.end(), r.threshold) == thresholds.end())
      thresholds.push_back(r.threshold);
  std::sort(thresholds.begin(), thresholds.end());
  std::vector<Rows> simulated(thresholds.size());
  Rows observedRows;
  for (std::size_t k = 0; k < thresholds.size(); ++k) {
    for (const ResultRow& r : span.rows) {
      if (r.threshold != thresholds[k]) continue;
      if (r.observed)
        observedRows.push_back(&r);
      else
        simulated[k].push_back(&r);
    }
    std::stable_sort(
        simulated[k].begin(), simulated[k].end(),
        [](const ResultRow* a, const ResultRow* b) { return a->sampleSize < b->sampleSize; });
  }

  PanelWriter w(out, f);
  for (std::size_t k = 0; k < thresholds.size(); ++k) {
    const char* colour = thresholdColour(thresholds[k]);
    w.band(simulated[k], 2, 3, colour, k99Opacity, "band99");
    w.band(simulated[k], 0, 1, colour, k95Opacity, "band95");
  }
  for (std::size_t k = 0; k < thresholds.size(); ++k) {
    const char* colour = thresholdColour(thresholds[k]);
    w.line(
        simulated[k], [](const ResultRow& r) { return r.percentiles[0]; }, colour, 1.2, "5 3",
        "percentile");
    w.line(
        simulated[k], [](const ResultRow& r) { return r.percentiles[1]; }, colour, 1.2, "5 3",
        "percentile");
  }
  for (std::size_t k = 0; k < thresholds.size(); ++k) {
    const char* colour = thresholdColour(thresholds[k]);
    w.line(
        simulated[k], [](const ResultRow& r) { return r.mean; }, colour, 2, nullptr, "mean");
    w.markers(simulated[k], colour);
  }
  for (const ResultRow* r : observedRows) w.observed(*r);
  legend(out, f.top, thresholds, !observedRows.empty());
  out += "</g>\n";
}

}  // namespace

int plotSvgHeight(std::size_t spanCount) {
  return kHeaderHeight + static_cast<int>(std::max<std::size_t>(spanCount, 1)) * kPanelHeight +
         kBottomMargin;
}

std::string renderPlotSvg(const PlotInfo& info, const std::vector<PlotSpan>& spans) {
  const int height = plotSvgHeight(spans.size());
  const Scale scale = niceScale(largestDrawnValue(spans));
  const std::string title = "Fire events per century by trees in the sample" +
                            (info.site.empty() ? std::string() : ": " + info.site);

  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
         integer(kPlotWidth) + "\" height=\"" + integer(height) + "\" viewBox=\"0 0 " +
         integer(kPlotWidth) + " " + integer(height) +
         "\" font-family=\"Helvetica, Arial, sans-serif\">\n";
  out += "<title>" + xmlText(title) + "</title>\n";
  out += "<rect x=\"0\" y=\"0\" width=\"" + integer(kPlotWidth) + "\" height=\"" + integer(height) +
         "\" fill=\"#ffffff\"/>\n";
  text(out, 20, 30, title, " font-size=\"18\" font-weight=\"bold\" fill=\"#111111\"");
  text(out, 20, 54, info.options, " class=\"options\" font-size=\"13\" fill=\"#333333\"");
  text(out, 20, 76,
       "Confidence limits below 0 are drawn at 0: a fire frequency cannot be negative.",
       " class=\"note\" font-size=\"12\" font-style=\"italic\" fill=\"#555555\"");
  if (spans.empty())
    text(out, kPlotWidth / 2.0, kHeaderHeight + kPanelHeight / 2.0, "no spans analysed",
         " class=\"no-data\" text-anchor=\"middle\" font-size=\"16\" fill=\"#777777\"");
  for (std::size_t k = 0; k < spans.size(); ++k)
    panel(out, info, spans[k], kHeaderHeight + static_cast<double>(k) * kPanelHeight, scale);
  out += "</svg>\n";
  return out;
}

}  // namespace rova
