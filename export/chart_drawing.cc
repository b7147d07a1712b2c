#include "export/chart_render.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <limits>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <map>
#include <memory>
#include <optional>

#include "format/utf8.h"

namespace rova {
namespace {

// ---------------------------------------------------------------- text

// `text` as valid UTF-8 for pango: valid sequences as they are, any other
// byte read as Latin-1, tabs and line ends as blanks, other control
// characters (C0, DEL and C1) dropped.
std::string displayText(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c == '\t' || c == '\n' || c == '\r')
        out += ' ';
      else if (c >= 0x20 && c != 0x7f)
        out += static_cast<char>(c);
      ++i;
    } else if (std::size_t length = utf8SequenceLength(text, i)) {
      const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
      if (!c1) out.append(text, i, length);
      i += length;
    } else {
      if (c >= 0xA0) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
      }
      ++i;
    }
  }
  return out;
}

std::string xmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
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
      default:
        out += c;
    }
  }
  return out;
}

// A number as a tick label: `decimals` decimals, never "-0", whatever the
// locale.
std::string number(double value, int decimals) {
  char buffer[64];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text(buffer, result.ptr);
  if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-') text.erase(0, 1);
  return text;
}

struct Rgb {
  double r, g, b;
};

Rgb rgb(unsigned colour) {
  return {((colour >> 16) & 0xff) / 255.0, ((colour >> 8) & 0xff) / 255.0, (colour & 0xff) / 255.0};
}

constexpr unsigned kInk = 0x1a1a1a;
constexpr unsigned kSoftInk = 0x4d4d4d;
constexpr unsigned kGridLine = 0xdedede;
constexpr double kBandOpacity = 0.28;

void setColour(cairo_t* cr, unsigned colour, double alpha = 1) {
  const Rgb c = rgb(colour);
  cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

struct Font {
  double size;  // points
  bool bold = false;
  bool italic = false;
};

enum class Cut { kEnd, kMiddle };

struct LayoutDeleter {
  void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
using Layout = std::unique_ptr<PangoLayout, LayoutDeleter>;

// A laid-out text for `cr`: at most `width` points wide (0: as wide as it
// is) and `lines` lines, the last one cut with an ellipsis when the text
// is longer. Glyph positions and metrics are not hinted, so a text measures
// the same on every surface.
Layout layOut(cairo_t* cr, const std::string& text, const Font& font, double width = 0,
              int lines = 1, Cut cut = Cut::kEnd, PangoAlignment align = PANGO_ALIGN_LEFT) {
  Layout layout(pango_cairo_create_layout(cr));
  PangoContext* context = pango_layout_get_context(layout.get());
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context, FALSE);
  pango_layout_context_changed(layout.get());

  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, "DejaVu Sans,Sans");
  pango_font_description_set_absolute_size(description, font.size * PANGO_SCALE);
  pango_font_description_set_weight(description,
                                    font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(description,
                                   font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_layout_set_font_description(layout.get(), description);
  pango_font_description_free(description);

  if (width > 0) {
    pango_layout_set_width(layout.get(), static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_height(layout.get(), -std::max(lines, 1));
    pango_layout_set_ellipsize(layout.get(),
                               cut == Cut::kMiddle ? PANGO_ELLIPSIZE_MIDDLE : PANGO_ELLIPSIZE_END);
    pango_layout_set_alignment(layout.get(), align);
  }
  const std::string shown = displayText(text);
  pango_layout_set_text(layout.get(), shown.data(), static_cast<int>(shown.size()));
  return layout;
}

struct Size {
  double width, height;
};

// The logical size: the advance of the text and its lines' height.
Size sizeOf(const Layout& layout) {
  PangoRectangle logical;
  pango_layout_get_extents(layout.get(), nullptr, &logical);
  return {static_cast<double>(logical.x + logical.width) / PANGO_SCALE,
          static_cast<double>(logical.y + logical.height) / PANGO_SCALE};
}

// Draws the layout with its top left at (x, y).
void show(cairo_t* cr, const Layout& layout, double x, double y, unsigned colour) {
  setColour(cr, colour);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout.get());
}

// ---------------------------------------------------------------- data

// The value as drawn: clipped at 0, or nothing when it is not finite.
std::optional<double> drawn(float value) {
  if (!std::isfinite(value)) return std::nullopt;
  return std::max(0.0, static_cast<double>(value));
}

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

// A span's rows sorted for drawing: per threshold (ascending) the
// simulated rows by sample size, and the observed rows apart.
struct SpanSeries {
  std::vector<int> thresholds;
  std::vector<Rows> simulated;  // one per threshold
  Rows observed;
};

SpanSeries seriesOf(const ChartSpan& span) {
  SpanSeries s;
  for (const ResultRow& r : span.rows)
    if (std::find(s.thresholds.begin(), s.thresholds.end(), r.threshold) == s.thresholds.end())
      s.thresholds.push_back(r.threshold);
  std::sort(s.thresholds.begin(), s.thresholds.end());
  s.simulated.resize(s.thresholds.size());
  for (std::size_t k = 0; k < s.thresholds.size(); ++k) {
    for (const ResultRow& r : span.rows) {
      if (r.threshold != s.thresholds[k]) continue;
      if (r.observed)
        s.observed.push_back(&r);
      else
        s.simulated[k].push_back(&r);
    }
    std::stable_sort(
        s.simulated[k].begin(), s.simulated[k].end(),
        [](const ResultRow* a, const ResultRow* b) { return a->sampleSize < b->sampleSize; });
  }
  return s;
}

// The rows a frame's adequacy is drawn from: per statistic, s = 1..F with
// the exact mean as the mean and the subsamples' 2.5 and 97.5 percentiles
// (not finite, so not drawn, without subsamples), and the value of all F
// trees as the observed row.
std::vector<ResultRow> frameRows(const SpanAdequacy& a) {
  std::vector<ResultRow> rows;
  const float none = std::numeric_limits<float>::quiet_NaN();
  for (int t = 0; t < kAdequacyStatistics; ++t) {
    for (const AdequacySize& size : a.sizes[t]) {
      ResultRow r;
      r.firstYear = a.firstYear;
      r.lastYear = a.lastYear;
      r.sampleSize = size.trees;
      r.threshold = t + 1;
      r.mean = static_cast<float>(size.exactMean.value_or(0));
      r.percentiles = {size.p2_5 ? static_cast<float>(*size.p2_5) : none,
                       size.p97_5 ? static_cast<float>(*size.p97_5) : none, none, none};
      rows.push_back(r);
    }
    if (a.trees >= 1) {
      ResultRow all;
      all.firstYear = a.firstYear;
      all.lastYear = a.lastYear;
      all.sampleSize = a.trees;
      all.threshold = t + 1;
      all.observed = true;
      all.mean = static_cast<float>(a.allTrees[t]);
      rows.push_back(all);
    }
  }
  return rows;
}

// The rows one composite statistic of a frame is drawn from: s = 1..F
// with the subsamples' median as the mean and their 2.5 and 97.5
// percentiles (not finite, so not drawn, where the statistic is undefined
// in every subsample); `exact` takes the exact mean instead of the median.
std::vector<ResultRow> compositeRows(const StatisticAdequacy& statistic, bool exact = false) {
  std::vector<ResultRow> rows;
  const float none = std::numeric_limits<float>::quiet_NaN();
  auto value = [none](const std::optional<double>& v) { return v ? static_cast<float>(*v) : none; };
  for (const AdequacySize& size : statistic.sizes) {
    ResultRow r;
    r.sampleSize = size.trees;
    r.threshold = 1;
    r.mean = value(exact ? size.exactMean : size.p50);
    r.percentiles = {value(size.p2_5), value(size.p97_5), none, none};
    rows.push_back(r);
  }
  return rows;
}

double largestDrawnValue(const std::vector<ChartSpan>& spans, bool extrapolate) {
  double maximum = 0;
  auto consider = [&](float v) {
    if (auto d = drawn(v)) maximum = std::max(maximum, *d);
  };
  for (const ChartSpan& span : spans) {
    if (span.adequacy) {
      // The asymptote's upper limit may lie far above: it runs off the top.
      // What is drawn of it: the frame's curves and bands, the asymptote.
      const SpanAdequacy& a = *span.adequacy;
      for (const auto& sizes : a.sizes) {
        for (const AdequacySize& v : sizes) {
          consider(static_cast<float>(v.exactMean.value_or(0)));
          if (v.p97_5) consider(static_cast<float>(*v.p97_5));
        }
      }
      for (double v : a.allTrees) consider(static_cast<float>(v));
      if (extrapolate)
        for (double v : a.extrapolation) consider(static_cast<float>(v));
      if (a.trees >= 1) consider(static_cast<float>(a.estimate));
      continue;
    }
    for (const ResultRow& row : span.rows) {
      consider(row.mean);
      if (row.observed) continue;
      consider(row.percentiles[0]);
      consider(row.percentiles[1]);
    }
  }
  return maximum;
}

// ---------------------------------------------------------------- marks

// The frame of one panel's plot area and its data-to-page mapping.
struct Frame {
  static constexpr double kInset = 5;

  double left, top, width, height;
  int maxTrees;
  double yTop;
  double strip = 0;  // width kept at the right for the asymptote

  // Sample sizes 1..maxTrees sit at the middles of equal steps, inside a
  // margin that keeps the markers at either end clear of the frame.
  double x(double trees) const {
    return left + kInset + (trees - 0.5) / maxTrees * (width - strip - 2 * kInset);
  }
  double y(double value) const { return top + height - value / yTop * height; }
  double bottom() const { return top + height; }
  double right() const { return left + width; }
  // Half the width of what stands for a lone sample size.
  double loneHalfWidth() const { return std::min(0.3 / maxTrees * width, 8.0); }
};

void setDash(cairo_t* cr, const std::vector<double>& dash) {
  cairo_set_dash(cr, dash.empty() ? nullptr : dash.data(), static_cast<int>(dash.size()), 0);
}

// The outline of a marker centred on (x, y), `size` its radius.
void markerPath(cairo_t* cr, ChartMarker shape, double x, double y, double size) {
  switch (shape) {
    case ChartMarker::kCircle:
      cairo_new_sub_path(cr);
      cairo_arc(cr, x, y, size, 0, 2 * M_PI);
      break;
    case ChartMarker::kTriangle: {
      const double r = size * 1.3;
      cairo_move_to(cr, x, y - r);
      cairo_line_to(cr, x + r * 0.866, y + r * 0.5);
      cairo_line_to(cr, x - r * 0.866, y + r * 0.5);
      cairo_close_path(cr);
      break;
    }
    case ChartMarker::kSquare:
      cairo_rectangle(cr, x - size * 0.9, y - size * 0.9, size * 1.8, size * 1.8);
      break;
  }
}

void marker(cairo_t* cr, ChartMarker shape, double x, double y, double size) {
  markerPath(cr, shape, x, y, size);
  cairo_fill(cr);
}

// The value of all trees: the threshold's marker, large and outlined in
// black, so the two thresholds' values differ in shape as well.
void observedMark(cairo_t* cr, const ThresholdStyle& s, double x, double y) {
  markerPath(cr, s.marker, x, y, 3.6);
  setColour(cr, s.colour);
  cairo_fill_preserve(cr);
  setColour(cr, 0x000000);
  cairo_set_line_width(cr, 0.8);
  setDash(cr, {});
  cairo_stroke(cr);
}

// The legend's samples: the same strokes and fills as the panels, in a box
// of `width` by `height` centred on (x, y).
void meanSample(cairo_t* cr, const ThresholdStyle& s, double x, double y, double width) {
  setColour(cr, s.colour);
  cairo_set_line_width(cr, 1.4);
  setDash(cr, s.meanDash);
  cairo_move_to(cr, x - width / 2, y);
  cairo_line_to(cr, x + width / 2, y);
  cairo_stroke(cr);
  marker(cr, s.marker, x, y, 2.2);
}

void bandSample(cairo_t* cr, const ThresholdStyle& s, double x, double y, double width) {
  cairo_rectangle(cr, x - width / 2, y - 4, width, 8);
  setColour(cr, s.colour, kBandOpacity);
  cairo_fill(cr);
}

class PanelPainter {
 public:
  PanelPainter(cairo_t* cr, const Frame& frame) : cr_(cr), f_(frame) {}

  // A filled band between two limits over each run of sample sizes (a box
  // for a run of one size).
  void band(const Rows& rows, const ThresholdStyle& s, double opacity) {
    auto lowerOf = [](const ResultRow& r) { return r.percentiles[0]; };
    auto upperOf = [](const ResultRow& r) { return r.percentiles[1]; };
    setColour(cr_, s.colour, opacity);
    for (const Rows& run : runs(rows, lowerOf, upperOf)) {
      if (run.size() == 1) {
        const double x = f_.x(run[0]->sampleSize), half = f_.loneHalfWidth();
        const double top = f_.y(*drawn(upperOf(*run[0])));
        cairo_rectangle(cr_, x - half, top, 2 * half, f_.y(*drawn(lowerOf(*run[0]))) - top);
      } else {
        for (const ResultRow* r : run)
          cairo_line_to(cr_, f_.x(r->sampleSize), f_.y(*drawn(upperOf(*r))));
        for (auto r = run.rbegin(); r != run.rend(); ++r)
          cairo_line_to(cr_, f_.x((*r)->sampleSize), f_.y(*drawn(lowerOf(**r))));
        cairo_close_path(cr_);
      }
      cairo_fill(cr_);
    }
  }

  // A line through each run of values (a short level stroke for a run of
  // one).
  template <typename Value>
  void line(const Rows& rows, Value value, unsigned colour, double width,
            const std::vector<double>& dash) {
    setColour(cr_, colour);
    cairo_set_line_width(cr_, width);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    setDash(cr_, dash);
    for (const Rows& run : runs(rows, value)) {
      if (run.size() == 1) {
        const double x = f_.x(run[0]->sampleSize), y = f_.y(*drawn(value(*run[0])));
        cairo_move_to(cr_, x - f_.loneHalfWidth(), y);
        cairo_line_to(cr_, x + f_.loneHalfWidth(), y);
      } else {
        cairo_new_sub_path(cr_);
        for (const ResultRow* r : run)
          cairo_line_to(cr_, f_.x(r->sampleSize), f_.y(*drawn(value(*r))));
      }
      cairo_stroke(cr_);
    }
  }

  void markers(const Rows& rows, const ThresholdStyle& s) {
    const double size = std::min(2.2, 0.3 * f_.width / f_.maxTrees + 0.6);
    setColour(cr_, s.colour);
    for (const ResultRow* r : rows)
      if (auto v = drawn(r->mean)) marker(cr_, s.marker, f_.x(r->sampleSize), f_.y(*v), size);
  }

 private:
  cairo_t* cr_;
  const Frame& f_;
};

// ---------------------------------------------------------------- page

constexpr double kMargin = 18;
constexpr double kCompactMargin = 6;
constexpr double kPanelGapX = 10;
constexpr double kPanelGapY = 8;
constexpr double kTickLength = 3;

const Font kTitleFont{12.5, true};
const Font kInputFont{9};
const Font kOptionsFont{8};
const Font kLegendFont{7.5};
const Font kNoteFont{7, false, true};
const Font kPanelTitleFont{8, true};
const Font kTickFont{7};
const Font kAxisFont{8.5};
const Font kEmptyFont{9, false, true};
const Font kEdgeFont{6};

const char* const kStandardTitle = "Fire events per century by trees in the sample";
const char* const kXAxisTitle = "Trees in the sample";
const char* const kYAxisTitle = "Fire events per century";
const char* const kNote =
    "Bands: the 2.5 to 97.5 percentiles of the simulated estimates, the spread of single "
    "samples (not a confidence interval of the mean); where the bands of the two thresholds "
    "overlap, their colours mix.";

// The note of a chart that shows the frames' adequacy.
std::string adequacyNote(const AdequacyCriterion& c, bool extrapolate) {
  auto percent = [](double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return std::string(text);
  };
  std::string note =
      "On each span's frame, the F trees with data in it: lines, the exact mean of samples of "
      "that many frame trees; bands, the 2.5 to 97.5 percentiles of random samples (the spread "
      "of single samples, not a confidence interval); large marks, all F trees. ";
  if (extrapolate) note += "Dashed from the ring: the extrapolation to 2F trees. ";
  note +=
      "Right strip: the Chao2 asymptote and its 95 % interval, capped at 100 (closed and "
      "marked \u201ccomplete\u201d when nothing is estimated missing; a limit above the scale "
      "is printed at the top). Drop lines: trees needed; \u201cshare\u201d from which on at "
      "least " + percent(c.sharePercent) + " % of samples lie within " + percent(c.withinPercent) +
      " % of the value of all frame trees, \u201cmean\u201d from which on the exact mean does.";
  return note;
}

// A shade of `colour` towards black.
unsigned darker(unsigned colour) {
  unsigned out = 0;
  for (int shift : {16, 8, 0}) out |= (((colour >> shift) & 0xff) * 6 / 10) << shift;
  return out;
}

constexpr double kAsymptoteStrip = 14;

// The most rows of composite panels (spans times filters) a chart draws.
constexpr std::size_t kCompositeRows = 8;
const char* const kCompositeNote =
    "Composites and fire intervals by filter PERCENT,MINREC,MINSCAR (a year is a composite fire "
    "year of the sampled trees when at least MINSCAR are scarred, at least MINREC record and the "
    "scarred are at least PERCENT % of the recording), from the subsamples: line, their median; "
    "band, their 2.5 to 97.5 percentiles, of the samples where the statistic is defined; thin "
    "darker line, the exact mean; dotted line and large marker, all frame trees; drop line, "
    "trees needed by the share rule. Composite freq.: composite fire years per century; MFI: "
    "mean fire interval; WMPI: Weibull median probability interval.";

// The legend's columns, left to right.
enum class Sample { kMean, kBand, kObserved };

struct LegendColumn {
  Sample sample;
  const char* heading;
};

const LegendColumn kLegendColumns[] = {
    {Sample::kMean, "mean of the simulations"},
    {Sample::kBand, "2.5\u201397.5 percentiles"},
    {Sample::kObserved, "all trees (observed)"},
};

// The same columns when the panels show the frames' adequacy.
const LegendColumn kFrameLegendColumns[] = {
    {Sample::kMean, "exact mean of samples"},
    {Sample::kBand, "2.5\u201397.5 percentiles of samples"},
    {Sample::kObserved, "all frame trees"},
};

// One chart: the layout is worked out on a measuring surface, then the
// same drawing runs on the surface of each format.
class Chart {
 public:
  Chart(const ChartInfo& info, const std::vector<ChartSpan>& spans) : info_(info), spans_(spans) {
    // A span with its adequacy shows its frame: its rows are made from the
    // frame's figures, s = 1..F, and the value of all frame trees.
    shown_.reserve(spans_.size());
    for (const ChartSpan& span : spans_)
      shown_.push_back(span.adequacy ? ChartSpan(span.firstYear, span.lastYear,
                                                 frameRows(*span.adequacy), span.adequacy)
                                     : span);
    for (const ChartSpan& span : shown_) series_.push_back(seriesOf(span));
    for (const SpanSeries& s : series_) {
      for (int t : s.thresholds)
        if (std::find(thresholds_.begin(), thresholds_.end(), t) == thresholds_.end())
          thresholds_.push_back(t);
      observed_ = observed_ || !s.observed.empty();
    }
    std::sort(thresholds_.begin(), thresholds_.end());
    for (const ChartSpan& span : shown_) {
      for (const ResultRow& r : span.rows) maxTrees_ = std::max(maxTrees_, r.sampleSize);
      if (span.adequacy) {
        adequacy_ = true;
        const int f = span.adequacy->trees;
        maxTrees_ = std::max(maxTrees_, info_.extrapolate ? 2 * f : f);
      }
    }
    scale_ = chartValueScale(spans_, info_.extrapolate);
    grid_ = chartGridFor(info_.style, spans_.size());
    if (info_.style == ChartStyle::kCompact) {
      margin_ = kCompactMargin;
      layoutWidth_ = kChartCompactLayoutWidth;
    }
  }

  // The page's width in points and the scale from the layout to it.
  double pageWidth() const { return chartPageWidth(info_.style); }
  double outputScale() const { return pageWidth() / layoutWidth_; }

  std::string title() const { return info_.title.empty() ? kStandardTitle : info_.title; }

  // Works out every position and the page height.
  void measure(cairo_t* cr) { draw(cr, false); }
  double height() const { return height_; }

  void paint(cairo_t* cr) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    draw(cr, true);
  }

 private:
  double contentWidth() const { return layoutWidth_ - 2 * margin_; }

  // Lays out the page from the top and, with `ink`, draws it. Measuring
  // and drawing are one walk, so they cannot disagree.
  void draw(cairo_t* cr, bool ink) {
    if (info_.style == ChartStyle::kCompact) {
      drawCompact(cr, ink);
      return;
    }
    double y = kMargin;
    auto block = [&](const Layout& layout, double gapAfter, unsigned colour) {
      if (ink) show(cr, layout, kMargin, y, colour);
      y += sizeOf(layout).height + gapAfter;
    };
    block(layOut(cr, title(), kTitleFont, contentWidth(), 2), 3, kInk);
    if (!info_.input.empty())
      block(layOut(cr, info_.input, kInputFont, contentWidth(), 1, Cut::kMiddle), 1, kInk);
    block(layOut(cr, info_.options, kOptionsFont, contentWidth(), 2), 8, kSoftInk);
    if (!thresholds_.empty()) {
      y = legend(cr, y, ink) + 5;
      if (!adequacy_) block(layOut(cr, kNote, kNoteFont, contentWidth(), 2), 10, kSoftInk);
      if (adequacy_ && info_.adequacy)
        block(layOut(cr, adequacyNote(*info_.adequacy, info_.extrapolate), kNoteFont,
                     contentWidth(), 6),
              10, kSoftInk);
    }
    y = panels(cr, y, ink);
    y = compositePanels(cr, y, ink);
    height_ = std::ceil(y + kMargin);
  }

  // The compact figure: the panels, and the legend as a line under them.
  void drawCompact(cairo_t* cr, bool ink) {
    double y = panels(cr, margin_, ink);
    y = compositePanels(cr, y, ink);
    if (!thresholds_.empty()) y = legendLine(cr, y + 5, ink);
    height_ = std::ceil(y + margin_);
  }

  // The legend of the compact figure: its entries side by side, each a
  // sample drawn as in the panels and a few words, in as many centred lines
  // as the width needs. First the thresholds (their mean line and marker),
  // then the percentile band and the value of all trees, drawn in the first
  // threshold's style. Gives the bottom of the last line.
  double legendLine(cairo_t* cr, double top, bool ink) {
    struct Entry {
      Sample sample;
      ThresholdStyle style;
      Layout text;
    };
    std::vector<Entry> entries;
    for (int t : thresholds_)
      entries.push_back({Sample::kMean, thresholdStyle(t), layOut(cr, thresholdStyle(t).label, kLegendFont)});
    const ThresholdStyle first = thresholdStyle(thresholds_.front());
    // The same words as the legend table's columns.
    for (const LegendColumn& c : legendColumns()) {
      if (c.sample == Sample::kMean || !shown(c.sample)) continue;
      entries.push_back({c.sample, first, layOut(cr, c.heading, kLegendFont)});
    }

    const double sampleWidth = 16, textGap = 3, entryGap = 10;
    auto widthOf = [&](const Entry& e) {
      return sampleWidth + textGap + std::min(sizeOf(e.text).width, contentWidth() - sampleWidth);
    };
    const double lineHeight = std::max(10.0, sizeOf(layOut(cr, "0", kLegendFont)).height + 2);
    double y = top;
    for (std::size_t begin = 0; begin < entries.size();) {
      // As many entries as fit on the line (at least one).
      std::size_t end = begin + 1;
      double width = widthOf(entries[begin]);
      while (end < entries.size() && width + entryGap + widthOf(entries[end]) <= contentWidth())
        width += entryGap + widthOf(entries[end++]);
      if (ink) {
        double x = margin_ + (contentWidth() - width) / 2;
        const double middle = y + lineHeight / 2;
        for (std::size_t k = begin; k < end; ++k) {
          const Entry& e = entries[k];
          sample(cr, e.sample, e.style, x + sampleWidth / 2, middle, sampleWidth);
          const Layout text = layOut(cr, pango_layout_get_text(e.text.get()), kLegendFont,
                                     widthOf(e) - sampleWidth - textGap, 1);
          show(cr, text, x + sampleWidth + textGap, middle - sizeOf(text).height / 2, kInk);
          x += widthOf(e) + entryGap;
        }
      }
      y += lineHeight;
      begin = end;
    }
    return y;
  }

  bool shown(Sample sample) const { return sample != Sample::kObserved || observed_; }

  const std::vector<LegendColumn>& legendColumns() const {
    static const std::vector<LegendColumn> rows(std::begin(kLegendColumns), std::end(kLegendColumns));
    static const std::vector<LegendColumn> frames(std::begin(kFrameLegendColumns),
                                                  std::end(kFrameLegendColumns));
    return adequacy_ ? frames : rows;
  }

  // The legend table: a heading per kind of mark, a row per threshold.
  double legend(cairo_t* cr, double top, bool ink) {
    std::vector<ThresholdStyle> styles;
    for (int t : thresholds_) styles.push_back(thresholdStyle(t));
    double labelWidth = 0;
    for (const ThresholdStyle& s : styles)
      labelWidth = std::max(labelWidth, sizeOf(layOut(cr, s.label, kLegendFont)).width);
    labelWidth = std::min(labelWidth, contentWidth() * 0.5);
    int columns = 0;
    for (const LegendColumn& c : legendColumns()) columns += shown(c.sample);
    const double gap = 6;
    const double columnWidth = (contentWidth() - labelWidth - gap * columns) / columns;

    double headingHeight = 0;
    std::vector<Layout> headings;
    for (const LegendColumn& c : legendColumns()) {
      if (!shown(c.sample)) continue;
      headings.push_back(
          layOut(cr, c.heading, kLegendFont, columnWidth, 2, Cut::kEnd, PANGO_ALIGN_CENTER));
      headingHeight = std::max(headingHeight, sizeOf(headings.back()).height);
    }
    const double rowHeight = 13;
    if (ink) {
      double x = kMargin + labelWidth + gap;
      for (const Layout& h : headings) {
        show(cr, h, x, top + headingHeight - sizeOf(h).height, kSoftInk);
        x += columnWidth + gap;
      }
    }
    double y = top + headingHeight + 2;
    for (const ThresholdStyle& s : styles) {
      const Layout label = layOut(cr, s.label, kLegendFont, labelWidth, 1);
      const double middle = y + rowHeight / 2;
      if (ink) {
        show(cr, label, kMargin, middle - sizeOf(label).height / 2, kInk);
        double x = kMargin + labelWidth + gap + columnWidth / 2;
        const double sampleWidth = std::min(columnWidth, 26.0);
        for (const LegendColumn& c : legendColumns()) {
          if (!shown(c.sample)) continue;
          sample(cr, c.sample, s, x, middle, sampleWidth);
          x += columnWidth + gap;
        }
      }
      y += rowHeight;
    }
    return y;
  }

  static void sample(cairo_t* cr, Sample kind, const ThresholdStyle& s, double x, double y,
                     double width) {
    switch (kind) {
      case Sample::kMean:
        meanSample(cr, s, x, y, width);
        break;
      case Sample::kBand:
        bandSample(cr, s, x, y, width);
        break;
      case Sample::kObserved:
        observedMark(cr, s, x, y);
        break;
    }
  }

  // The grid of panels under `top`; gives the bottom of the page's content.
  double panels(cairo_t* cr, double top, bool ink) {
    if (spans_.empty()) {
      const Layout none = layOut(cr, "no spans analysed", kEmptyFont);
      if (ink) show(cr, none, margin_, top, kSoftInk);
      return top + sizeOf(none).height;
    }
    // Left of the grid: the y axis title (turned) and the tick values.
    const int yTicks = static_cast<int>(std::lround(scale_.top / scale_.step));
    double tickLabelWidth = 0;
    for (int k = 0; k <= yTicks; ++k)
      tickLabelWidth =
          std::max(tickLabelWidth,
                   sizeOf(layOut(cr, number(k * scale_.step, scale_.decimals), kTickFont)).width);
    const double axisTitleHeight = sizeOf(layOut(cr, kYAxisTitle, kAxisFont)).height;
    const double gridLeft = margin_ + axisTitleHeight + 4 + tickLabelWidth + kTickLength + 2;
    const double gridWidth = layoutWidth_ - margin_ - gridLeft;
    const double panelWidth = (gridWidth - (grid_.columns - 1) * kPanelGapX) / grid_.columns;
    const double plotHeight = panelWidth * (grid_.columns == 1 ? 0.56 : 0.66);
    const double titleHeight = sizeOf(layOut(cr, "0", kPanelTitleFont)).height + 3;
    const double tickHeight = kTickLength + 1 + sizeOf(layOut(cr, "0", kTickFont)).height;
    const double panelHeight = titleHeight + plotHeight + tickHeight;
    const int maxLabels = std::max(2, static_cast<int>(panelWidth / 16));

    for (std::size_t k = 0; k < spans_.size(); ++k) {
      const int column = static_cast<int>(k) % grid_.columns;
      const int row = static_cast<int>(k) / grid_.columns;
      const double left = gridLeft + column * (panelWidth + kPanelGapX);
      const double panelTop = top + row * (panelHeight + kPanelGapY);
      const Frame frame{left,      panelTop + titleHeight, panelWidth, plotHeight, maxTrees_,
                        scale_.top, adequacy_ ? kAsymptoteStrip : 0.0};
      if (ink) panel(cr, k, frame, column == 0, maxLabels);
    }
    const double gridBottom = top + grid_.rows * panelHeight + (grid_.rows - 1) * kPanelGapY;

    const Layout xTitle =
        layOut(cr, kXAxisTitle, kAxisFont, gridWidth, 1, Cut::kEnd, PANGO_ALIGN_CENTER);
    const double plotsHeight = gridBottom - top;
    if (ink) {
      show(cr, xTitle, gridLeft, gridBottom + 3, kInk);
      cairo_save(cr);
      cairo_translate(cr, margin_, gridBottom);
      cairo_rotate(cr, -M_PI / 2);
      const Layout turned =
          layOut(cr, kYAxisTitle, kAxisFont, plotsHeight, 1, Cut::kEnd, PANGO_ALIGN_CENTER);
      show(cr, turned, 0, 0, kInk);
      cairo_restore(cr);
    }
    return gridBottom + 3 + sizeOf(xTitle).height;
  }

  void panel(cairo_t* cr, std::size_t index, const Frame& f, bool valueLabels, int maxLabels) {
    const ChartSpan& span = shown_[index];
    const SpanSeries& s = series_[index];
    const std::string heading =
        std::to_string(span.firstYear) + "\u2013" + std::to_string(span.lastYear) + "  (" +
        std::to_string(static_cast<long long>(span.lastYear) - span.firstYear + 1) + " years)";
    show(cr, layOut(cr, heading, kPanelTitleFont, f.width, 1), f.left,
         f.top - sizeOf(layOut(cr, "0", kPanelTitleFont)).height - 3, kInk);

    valueAxis(cr, f, scale_, valueLabels);
    if (span.rows.empty()) {
      // A frame without trees has nothing to show; nor has a span without
      // simulations.
      const char* why = span.adequacy ? "no tree has data in this span" : "no simulations";
      const Layout none = layOut(cr, why, kEmptyFont, f.width, 1, Cut::kEnd, PANGO_ALIGN_CENTER);
      show(cr, none, f.left, f.top + (f.height - sizeOf(none).height) / 2, kSoftInk);
    } else {
      treeAxis(cr, f, maxLabels);
      // Every value lies inside the frame; the markers of values at 0 may
      // stand out of it by their size, no more.
      cairo_save(cr);
      cairo_rectangle(cr, f.left - 4, f.top - 4, f.width + 8, f.height + 8);
      cairo_clip(cr);
      marks(cr, s, f);
      if (span.adequacy) adequacyMarks(cr, *span.adequacy, f, info_.extrapolate);
      cairo_restore(cr);
    }
    setColour(cr, kInk);
    cairo_set_line_width(cr, 0.7);
    setDash(cr, {});
    cairo_rectangle(cr, f.left, f.top, f.width, f.height);
    cairo_stroke(cr);
  }

  // The grid lines of a panel's value scale and, with `labels`, its ticks
  // and their values at the left.
  static void valueAxis(cairo_t* cr, const Frame& f, const ChartScale& scale, bool labels) {
    cairo_set_line_width(cr, 0.5);
    setDash(cr, {});
    const int yTicks = static_cast<int>(std::lround(scale.top / scale.step));
    for (int k = 0; k <= yTicks; ++k) {
      const double y = f.y(k * scale.step);
      if (k > 0 && k < yTicks) {
        setColour(cr, kGridLine);
        cairo_move_to(cr, f.left, y);
        cairo_line_to(cr, f.right(), y);
        cairo_stroke(cr);
      }
      if (!labels) continue;
      setColour(cr, kInk);
      cairo_move_to(cr, f.left - kTickLength, y);
      cairo_line_to(cr, f.left, y);
      cairo_stroke(cr);
      const Layout label = layOut(cr, number(k * scale.step, scale.decimals), kTickFont);
      const Size size = sizeOf(label);
      show(cr, label, f.left - kTickLength - 2 - size.width, y - size.height / 2, kInk);
    }
  }

  // The sample sizes under a panel: ticks and their values.
  static void treeAxis(cairo_t* cr, const Frame& f, int maxLabels) {
    setColour(cr, kInk);
    for (int t : chartTreeTicks(f.maxTrees, maxLabels)) {
      const double x = f.x(t);
      cairo_move_to(cr, x, f.bottom());
      cairo_line_to(cr, x, f.bottom() + kTickLength);
      cairo_stroke(cr);
      const Layout label = layOut(cr, std::to_string(t), kTickFont);
      show(cr, label, x - sizeOf(label).width / 2, f.bottom() + kTickLength + 1, kInk);
    }
  }

  static void marks(cairo_t* cr, const SpanSeries& s, const Frame& f) {
    PanelPainter p(cr, f);
    std::vector<ThresholdStyle> styles;
    for (int t : s.thresholds) styles.push_back(thresholdStyle(t));
    for (std::size_t k = 0; k < styles.size(); ++k) p.band(s.simulated[k], styles[k], kBandOpacity);
    for (std::size_t k = 0; k < styles.size(); ++k) {
      p.line(
          s.simulated[k], [](const ResultRow& r) { return r.mean; }, styles[k].colour, 1.4,
          styles[k].meanDash);
      p.markers(s.simulated[k], styles[k]);
    }
    for (const ResultRow* r : s.observed)
      if (auto v = drawn(r->mean))
        observedMark(cr, thresholdStyle(r->threshold), f.x(r->sampleSize), f.y(*v));
  }

  // The extrapolation (when asked), the asymptote and the trees needed of
  // one span's frame.
  static void adequacyMarks(cairo_t* cr, const SpanAdequacy& a, const Frame& f, bool extrapolate) {
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    const ThresholdStyle first = thresholdStyle(1);
    if (extrapolate && !a.extrapolation.empty()) {
      setColour(cr, darker(first.colour));
      cairo_set_line_width(cr, 1.3);
      setDash(cr, {6, 3});
      // From the value of all frame trees, where the extrapolation starts.
      cairo_move_to(cr, f.x(a.trees), f.y(a.allTrees[0]));
      for (std::size_t i = 0; i < a.extrapolation.size(); ++i)
        cairo_line_to(cr, f.x(a.trees + 1.0 + static_cast<double>(i)), f.y(a.extrapolation[i]));
      cairo_stroke(cr);
      setDash(cr, {});
      cairo_new_sub_path(cr);
      cairo_arc(cr, f.x(a.trees), f.y(a.allTrees[0]), 2.2, 0, 2 * M_PI);
      cairo_stroke(cr);
    }
    if (a.trees >= 1) asymptote(cr, a, f);
    neededLines(cr, a, f);
  }

  // The asymptote in the strip at the right: its interval as a band that
  // ends at its upper limit, closed by a rule and marked "complete" when
  // nothing is estimated missing; a limit above the scale runs to the top
  // with an arrowhead, its value printed there.
  static void asymptote(cairo_t* cr, const SpanAdequacy& a, const Frame& f) {
    const ThresholdStyle first = thresholdStyle(1);
    const double left = f.right() - kAsymptoteStrip + 3;
    const double right = f.right() - 3;
    const double middle = (left + right) / 2;
    setDash(cr, {});
    const double upper = a.upper95.value_or(a.estimate);
    const bool above = upper > f.yTop;
    const double top = above ? f.top + 1 : f.y(upper);
    setColour(cr, first.colour, kBandOpacity);
    cairo_rectangle(cr, left, top, right - left, f.y(a.lower95) - top);
    cairo_fill(cr);
    setColour(cr, darker(first.colour));
    cairo_set_line_width(cr, 0.8);
    if (above) {
      cairo_move_to(cr, middle, f.top + 1);
      cairo_line_to(cr, middle + 2.5, f.top + 6);
      cairo_line_to(cr, middle - 2.5, f.top + 6);
      cairo_close_path(cr);
      cairo_fill(cr);
      edgeLabel(cr, number(upper, upper < 10 ? 1 : 0), middle, f.top + 7);
    } else {
      // The upper limit closes the band.
      cairo_move_to(cr, left, top);
      cairo_line_to(cr, right, top);
      cairo_stroke(cr);
    }
    if (a.chao2.complete) {
      // At the foot of the strip, clear of the band and the value at the top.
      const double length = sizeOf(layOut(cr, "complete", kEdgeFont)).width;
      edgeLabel(cr, "complete", middle, f.bottom() - length - 2);
    }
    cairo_set_line_width(cr, 1.4);
    cairo_move_to(cr, left - 1, f.y(a.estimate));
    cairo_line_to(cr, right + 1, f.y(a.estimate));
    cairo_stroke(cr);
    setColour(cr, kGridLine);
    cairo_set_line_width(cr, 0.5);
    cairo_move_to(cr, f.right() - kAsymptoteStrip, f.top);
    cairo_line_to(cr, f.right() - kAsymptoteStrip, f.bottom());
    cairo_stroke(cr);
  }

  // A small text turned upright along the strip, starting at (x, y) and
  // running down.
  static void edgeLabel(cairo_t* cr, const std::string& text, double x, double y) {
    cairo_save(cr);
    const Layout label = layOut(cr, text, kEdgeFont);
    cairo_translate(cr, x + sizeOf(label).height / 2, y);
    cairo_rotate(cr, M_PI / 2);
    show(cr, label, 0, 0, kSoftInk);
    cairo_restore(cr);
  }

  // The trees needed: a drop line from the exact curve to the axis per
  // rule and statistic, "share" solid, "mean" dotted, each labelled with
  // its rule and value.
  static void neededLines(cairo_t* cr, const SpanAdequacy& a, const Frame& f) {
    for (int t = 0; t < kAdequacyStatistics; ++t) {
      const ThresholdStyle s = thresholdStyle(t + 1);
      const std::pair<const char*, std::optional<int>> rules[] = {
          {"share", a.needed[t].forShare}, {"mean", a.needed[t].forMean}};
      int place = 0;
      for (const auto& [rule, needed] : rules) {
        ++place;
        if (!needed || *needed < 1 || *needed > static_cast<int>(a.sizes[t].size())) continue;
        const double x = f.x(*needed);
        const double from = f.y(std::max(a.sizes[t][*needed - 1].exactMean.value_or(0), 0.0));
        setColour(cr, darker(s.colour));
        cairo_set_line_width(cr, 0.8);
        setDash(cr, place == 1 ? std::vector<double>{} : std::vector<double>{1, 1.5});
        cairo_move_to(cr, x, from);
        cairo_line_to(cr, x, f.bottom());
        cairo_stroke(cr);
        setDash(cr, {});
        const Layout label = layOut(cr, std::string(rule) + " " + std::to_string(*needed), kEdgeFont);
        const Size size = sizeOf(label);
        // Labels stack upwards from the axis: statistic by statistic, rule by rule.
        const double y = f.bottom() - (2 * t + place) * (size.height + 1) - 2;
        show(cr, label, x + 2, y, darker(s.colour));
      }
    }
  }

  // The composite and fire-interval panels (--intervals): per span and
  // composite filter a row of three, the composite frequency, MFI and WMPI
  // against trees in the sample, each on a value scale of its own (they
  // are in different units) and x from 1 to the span's frame. A chart of
  // more rows than kCompositeRows says so and leaves them to the tables.
  // Gives the bottom of what it drew.
  double compositePanels(cairo_t* cr, double top, bool ink) {
    std::vector<std::pair<const ChartSpan*, const FilterAdequacy*>> rows;
    for (const ChartSpan& span : spans_)
      if (span.adequacy)
        for (const FilterAdequacy& f : span.adequacy->composites) rows.push_back({&span, &f});
    if (rows.empty()) return top;
    double y = top + 10;
    auto block = [&](const std::string& text, double gapAfter) {
      const Layout layout = layOut(cr, text, kNoteFont, contentWidth(), 6);
      if (ink) show(cr, layout, margin_, y, kSoftInk);
      y += sizeOf(layout).height + gapAfter;
    };
    if (rows.size() > kCompositeRows) {
      block("The panels of the composites and fire intervals (" + std::to_string(rows.size()) +
                " spans and filters, more than " + std::to_string(kCompositeRows) +
                ") are left out; the adequacy table holds their figures.",
            0);
      return y;
    }
    if (info_.style == ChartStyle::kFull) block(kCompositeNote, 8);
    const double labelWidth = sizeOf(layOut(cr, "000.0", kTickFont)).width + kTickLength + 2;
    const double panelWidth = (contentWidth() - 3 * labelWidth - 2 * kPanelGapX) / 3;
    const double plotHeight = panelWidth * 0.72;
    const double titleHeight = sizeOf(layOut(cr, "0", kPanelTitleFont)).height + 3;
    const double tickHeight = kTickLength + 1 + sizeOf(layOut(cr, "0", kTickFont)).height;
    const int maxLabels = std::max(2, static_cast<int>(panelWidth / 16));
    constexpr IntervalStatistic kShown[] = {IntervalStatistic::kCompositeFrequency,
                                            IntervalStatistic::kMeanInterval,
                                            IntervalStatistic::kWeibullMedianInterval};
    for (const auto& [span, filter] : rows) {
      const std::string where = (spans_.size() > 1 ? std::to_string(span->firstYear) + "\u2013" +
                                                         std::to_string(span->lastYear) + ", "
                                                   : std::string()) +
                                compositeText(filter->filter) +
                                (info_.style == ChartStyle::kCompact ? " " : ": ");
      for (int k = 0; k < 3; ++k) {
        const double left = margin_ + labelWidth + k * (panelWidth + labelWidth + kPanelGapX);
        const StatisticAdequacy& statistic = filter->statistics[static_cast<int>(kShown[k])];
        // The compact figure's panels are narrow: the names alone.
        const bool compact = info_.style == ChartStyle::kCompact;
        const char* name = k == 0 ? (compact ? "freq." : "composite freq.")
                           : k == 1 ? (compact ? "MFI" : "MFI (years)")
                                    : (compact ? "WMPI" : "WMPI (years)");
        const Frame frame{left, y + titleHeight, panelWidth, plotHeight, std::max(span->adequacy->trees, 1),
                          compositeScale(statistic).top, 0.0};
        if (ink) compositePanel(cr, frame, where + name, statistic, maxLabels);
      }
      y += titleHeight + plotHeight + tickHeight + kPanelGapY;
    }
    const Layout xTitle =
        layOut(cr, kXAxisTitle, kAxisFont, contentWidth(), 1, Cut::kEnd, PANGO_ALIGN_CENTER);
    if (ink) show(cr, xTitle, margin_, y - kPanelGapY + 3, kInk);
    return y - kPanelGapY + 3 + sizeOf(xTitle).height;
  }

  // The value scale of one composite statistic: above its band, its
  // median, its exact mean and the value of all trees.
  static ChartScale compositeScale(const StatisticAdequacy& statistic) {
    double maximum = statistic.allTrees.value_or(0);
    for (const AdequacySize& size : statistic.sizes)
      for (const std::optional<double>& v : {size.p97_5, size.p50, size.exactMean})
        if (v && std::isfinite(*v)) maximum = std::max(maximum, *v);
    return chartScaleAbove(maximum);
  }

  // One composite panel: the subsamples' 2.5-97.5 percentile band and
  // median line, the exact mean (composite frequency without replacement)
  // as a thin darker line, the value of all frame trees as a dotted level
  // line ending in the large marker at F, and the trees needed by the
  // share as a drop line from the median to the axis.
  void compositePanel(cairo_t* cr, const Frame& f, const std::string& heading,
                      const StatisticAdequacy& statistic, int maxLabels) {
    show(cr, layOut(cr, heading, kPanelTitleFont, f.width, 1), f.left,
         f.top - sizeOf(layOut(cr, "0", kPanelTitleFont)).height - 3, kInk);
    valueAxis(cr, f, compositeScale(statistic), true);
    treeAxis(cr, f, maxLabels);
    const std::vector<ResultRow> median = compositeRows(statistic);
    const std::vector<ResultRow> exact = compositeRows(statistic, true);
    Rows drawnRows, exactRows;
    for (const ResultRow& r : median) drawnRows.push_back(&r);
    for (const ResultRow& r : exact) exactRows.push_back(&r);
    const bool any = std::any_of(median.begin(), median.end(),
                                 [](const ResultRow& r) { return std::isfinite(r.mean); });
    cairo_save(cr);
    cairo_rectangle(cr, f.left - 4, f.top - 4, f.width + 8, f.height + 8);
    cairo_clip(cr);
    const ThresholdStyle style = thresholdStyle(1);
    PanelPainter p(cr, f);
    p.band(drawnRows, style, kBandOpacity);
    p.line(exactRows, [](const ResultRow& r) { return r.mean; }, darker(style.colour), 0.8, {});
    p.line(drawnRows, [](const ResultRow& r) { return r.mean; }, style.colour, 1.4, {});
    if (statistic.allTrees) {
      const double level = f.y(std::max(*statistic.allTrees, 0.0));
      setColour(cr, kSoftInk);
      cairo_set_line_width(cr, 0.6);
      setDash(cr, {1, 2});
      cairo_move_to(cr, f.left, level);
      cairo_line_to(cr, f.right(), level);
      cairo_stroke(cr);
      observedMark(cr, style, f.x(f.maxTrees), level);
    }
    const std::optional<int> needed = statistic.needed.forShare;
    if (needed && *needed >= 1 && *needed <= static_cast<int>(median.size()) &&
        std::isfinite(median[*needed - 1].mean)) {
      const double x = f.x(*needed);
      setColour(cr, darker(style.colour));
      cairo_set_line_width(cr, 0.8);
      setDash(cr, {});
      cairo_move_to(cr, x, f.y(std::max<double>(median[*needed - 1].mean, 0.0)));
      cairo_line_to(cr, x, f.bottom());
      cairo_stroke(cr);
      const Layout label = layOut(cr, "share " + std::to_string(*needed), kEdgeFont);
      const Size size = sizeOf(label);
      // Right of the line, or left of it where the panel ends first.
      const double at = x + 2 + size.width <= f.right() - 1 ? x + 2 : x - 2 - size.width;
      show(cr, label, at, f.bottom() - size.height - 3, darker(style.colour));
    }
    cairo_restore(cr);
    if (!any) {
      // Nothing drawn: no subsamples were asked for (-n 0), or the
      // statistic is undefined in every one.
      const bool drawnSamples = std::any_of(statistic.sizes.begin(), statistic.sizes.end(),
                                            [](const AdequacySize& size) { return size.subsamples > 0; });
      const Layout none = layOut(cr, drawnSamples ? "undefined in every sample" : "no subsamples",
                                 kEmptyFont, f.width, 1, Cut::kEnd, PANGO_ALIGN_CENTER);
      show(cr, none, f.left, f.top + (f.height - sizeOf(none).height) / 2, kSoftInk);
    }
    setColour(cr, kInk);
    cairo_set_line_width(cr, 0.7);
    setDash(cr, {});
    cairo_rectangle(cr, f.left, f.top, f.width, f.height);
    cairo_stroke(cr);
  }

  const ChartInfo& info_;
  const std::vector<ChartSpan>& spans_;
  std::vector<ChartSpan> shown_;  // the spans as drawn (frames made into rows)
  std::vector<SpanSeries> series_;
  std::vector<int> thresholds_;
  bool observed_ = false;
  bool adequacy_ = false;  // some span shows how many trees are enough
  int maxTrees_ = 1;
  ChartScale scale_;
  ChartGrid grid_;
  double height_ = 0;  // in the layout's points
  double margin_ = kMargin;
  double layoutWidth_ = kChartPageWidth;  // points before the output's scale
};

// ---------------------------------------------------------------- surfaces

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

std::string failure(cairo_status_t status) {
  return std::string("cairo: ") + cairo_status_to_string(status);
}

// Draws the chart on `surface` (scaled by `scale`) and finishes it.
std::string paintOn(cairo_surface_t* surface, Chart& chart, double scale) {
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  chart.paint(cr);
  cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  return status == CAIRO_STATUS_SUCCESS ? "" : failure(status);
}

// cairo names the page's group after a counter of every surface the
// process has made ("surface8"): the ids are numbered again from 1 in
// order of appearance, so a chart does not depend on the charts drawn
// before it.
void renumberSvgSurfaces(std::string& svg) {
  const std::string word = "surface";
  std::map<std::string, std::string> numbers;
  std::string out;
  std::size_t copied = 0;
  for (std::size_t at = svg.find(word); at != std::string::npos; at = svg.find(word, at + 1)) {
    const bool named =
        (at >= 4 && svg.compare(at - 4, 4, "id=\"") == 0) || (at >= 1 && svg[at - 1] == '#');
    std::size_t end = at + word.size();
    while (end < svg.size() && svg[end] >= '0' && svg[end] <= '9') ++end;
    if (!named || end == at + word.size()) continue;
    const std::string number = svg.substr(at + word.size(), end - at - word.size());
    auto found = numbers.emplace(number, std::to_string(numbers.size() + 1)).first;
    out.append(svg, copied, at + word.size() - copied);
    out += found->second;
    copied = end;
  }
  out.append(svg, copied, std::string::npos);
  svg = std::move(out);
}

// The title and a description as text in the SVG document (cairo draws
// the letters as outlines): for search, screen readers and file browsers.
void addSvgTitle(std::string& svg, const std::string& title, const std::string& description) {
  const std::size_t root = svg.find("<svg");
  const std::size_t end = root == std::string::npos ? root : svg.find('>', root);
  if (end == std::string::npos) return;
  svg.insert(end + 1, "\n<title>" + xmlEscaped(displayText(title)) + "</title>\n<desc>" +
                          xmlEscaped(displayText(description)) + "</desc>");
}

std::string svgDescription(const ChartInfo& info, const std::vector<ChartSpan>& spans) {
  std::string text = info.input.empty() ? "" : info.input + ". ";
  text += info.options + ". Fire events per century against trees in the sample, " +
          std::to_string(spans.size()) + (spans.size() == 1 ? " span" : " spans") +
          "; blue: " + thresholdStyle(1).label + "; vermillion: " + thresholdStyle(2).label +
          ". Mean of the simulations, 95 % and 99 % confidence bands, 2.5 and 97.5 percentiles.";
  return text;
}

}  // namespace

ChartScale chartValueScale(const std::vector<ChartSpan>& spans, bool extrapolate) {
  return chartScaleAbove(largestDrawnValue(spans, extrapolate));
}

ChartScale chartScaleAbove(double maximum) {
  ChartScale s;
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

std::vector<int> chartTreeTicks(int maxTrees, int maxLabels) {
  maxTrees = std::max(maxTrees, 1);
  maxLabels = std::max(maxLabels, 2);
  long step = 1;
  for (long magnitude = 1; maxTrees / step + 1 > maxLabels; magnitude *= 10) {
    for (long factor : {1, 2, 5}) {
      step = factor * magnitude;
      if (maxTrees / step + 1 <= maxLabels) break;
    }
  }
  std::vector<int> ticks;
  // 1 stands in front of the multiples when it is at least half a step
  // clear of the first one.
  if (step == 1 || step >= 4 || maxTrees < step) ticks.push_back(1);
  for (long t = step; t <= maxTrees; t += step)
    if (t > 1) ticks.push_back(static_cast<int>(t));
  return ticks;
}

double chartPageWidth(ChartStyle style) {
  return style == ChartStyle::kCompact ? kChartCompactPageWidth : kChartPageWidth;
}

ChartGrid chartGridFor(ChartStyle style, std::size_t spanCount) {
  if (style == ChartStyle::kFull) return chartGrid(spanCount);
  const int n = static_cast<int>(std::max<std::size_t>(spanCount, 1));
  const int columns = n == 1 ? 1 : 2;
  return {columns, (n + columns - 1) / columns};
}

ChartGrid chartGrid(std::size_t spanCount) {
  const int n = static_cast<int>(std::max<std::size_t>(spanCount, 1));
  const int columns = n == 1 ? 1 : n <= 4 ? 2 : 3;
  return {columns, (n + columns - 1) / columns};
}

ThresholdStyle thresholdStyle(int threshold) {
  switch (threshold) {
    case 1:
      return {
          "Fire years found by the sample", 0x0072B2, {}, {2.5, 1.5}, ChartMarker::kCircle};
    case 2:
      return {"Found by the sample, confirmed by \u2265 2 trees of the site",
              0xD55E00,
              {4.5, 2},
              {0.8, 1.6},
              ChartMarker::kTriangle};
    default:
      return {"Threshold " + std::to_string(threshold),
              0x666666,
              {1.5, 1.5},
              {0.8, 3},
              ChartMarker::kSquare};
  }
}

ChartOutput drawChart(const ChartInfo& info, const std::vector<ChartSpan>& spans,
                      ChartFormat format) {
  ChartOutput out;
  Chart chart(info, spans);
  {
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    chart.measure(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
  }
  // The page in points; the layout is drawn on it at chart.outputScale().
  const double scale = chart.outputScale();
  const double width = chart.pageWidth(), height = std::ceil(chart.height() * scale);
  const double pixelsPerPoint = info.pngDpi / 72.0;
  // The PNG's pixels: the page's whole points times the pixels per inch
  // over 72, rounded up in integers (a float product can land just above
  // a whole number and add a row).
  auto pixels = [&](double points) {
    return static_cast<int>((std::llround(points) * info.pngDpi + 71) / 72);
  };
  switch (format) {
    case ChartFormat::kSvg: {
      cairo_surface_t* surface =
          cairo_svg_surface_create_for_stream(appendBytes, &out.bytes, width, height);
      cairo_svg_surface_restrict_to_version(surface, CAIRO_SVG_VERSION_1_1);
      out.error = paintOn(surface, chart, scale);
      cairo_surface_finish(surface);
      if (out.error.empty() && cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        out.error = failure(cairo_surface_status(surface));
      cairo_surface_destroy(surface);
      if (out.error.empty()) {
        renumberSvgSurfaces(out.bytes);
        addSvgTitle(out.bytes, chart.title(), svgDescription(info, spans));
      }
      break;
    }
    case ChartFormat::kPdf: {
      cairo_surface_t* surface =
          cairo_pdf_surface_create_for_stream(appendBytes, &out.bytes, width, height);
      cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE,
                                     displayText(chart.title()).c_str());
      cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "rova");
      // No dates: the same input gives the same bytes.
      cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATE_DATE, "");
      cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_MOD_DATE, "");
      out.error = paintOn(surface, chart, scale);
      cairo_surface_finish(surface);
      if (out.error.empty() && cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        out.error = failure(cairo_surface_status(surface));
      cairo_surface_destroy(surface);
      break;
    }
    case ChartFormat::kPng: {
      cairo_surface_t* surface = cairo_image_surface_create(
          CAIRO_FORMAT_RGB24, pixels(width), pixels(height));
      out.error = paintOn(surface, chart, scale * pixelsPerPoint);
      if (out.error.empty()) {
        const cairo_status_t status =
            cairo_surface_write_to_png_stream(surface, appendBytes, &out.bytes);
        if (status != CAIRO_STATUS_SUCCESS) out.error = failure(status);
      }
      cairo_surface_destroy(surface);
      break;
    }
  }
  if (!out.error.empty()) out.bytes.clear();
  return out;
}

}  // namespace rova

// The module's entry points, looked up by name when the module is loaded.
extern "C" {

__attribute__((visibility("default"))) const char* rova_chart_build() { return ROVA_CHART_BUILD; }

__attribute__((visibility("default"))) void rova_chart_draw(const rova::ChartInfo& info,
                                                            const std::vector<rova::ChartSpan>& spans,
                                                            rova::ChartFormat format,
                                                            rova::ChartOutput& out) {
  // Nothing may escape across the module's boundary.
  try {
    out = rova::drawChart(info, spans, format);
  } catch (const std::exception& e) {
    out = rova::ChartOutput{{}, e.what()};
  } catch (...) {
    out = rova::ChartOutput{{}, "unknown error"};
  }
}

}  // extern "C"
