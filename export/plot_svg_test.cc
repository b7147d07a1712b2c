#include "export/plot_svg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace rova {
namespace {

// A small XML well-formedness checker: one root element after an optional
// declaration, tags balanced and properly nested, attribute values quoted
// and unique per element, no '<' in values, every '&' a known entity or a
// character reference. Returns "" when well-formed, else what is wrong.
class XmlChecker {
 public:
  explicit XmlChecker(const std::string& s) : s_(s) {}

  std::string check() {
    if (s_.compare(0, 5, "<?xml") == 0) {
      std::size_t end = s_.find("?>");
      if (end == std::string::npos) return "unterminated declaration";
      i_ = end + 2;
    }
    skipSpace();
    if (!element()) return error_.empty() ? "no root element" : error_;
    skipSpace();
    if (i_ != s_.size()) return "text after the root element at " + std::to_string(i_);
    return "";
  }

 private:
  bool fail(const std::string& what) {
    if (error_.empty()) error_ = what + " at " + std::to_string(i_);
    return false;
  }
  void skipSpace() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  static bool nameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':';
  }
  static bool nameChar(char c) {
    return nameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.';
  }
  bool name(std::string& out) {
    if (i_ >= s_.size() || !nameStart(s_[i_])) return fail("bad name");
    std::size_t start = i_;
    while (i_ < s_.size() && nameChar(s_[i_])) ++i_;
    out = s_.substr(start, i_ - start);
    return true;
  }
  bool entity() {  // at '&'
    std::size_t end = s_.find(';', i_);
    if (end == std::string::npos || end - i_ > 10) return fail("bad entity");
    std::string body = s_.substr(i_ + 1, end - i_ - 1);
    static const std::set<std::string> named{"amp", "lt", "gt", "quot", "apos"};
    bool ok = named.count(body) > 0;
    if (!ok && body.size() > 1 && body[0] == '#') {
      bool hex = body[1] == 'x';
      std::string digits = body.substr(hex ? 2 : 1);
      ok = !digits.empty();
      for (char c : digits)
        ok = ok && (hex ? std::isxdigit(static_cast<unsigned char>(c))
                        : std::isdigit(static_cast<unsigned char>(c)));
    }
    if (!ok) return fail("unknown entity &" + body + ";");
    i_ = end + 1;
    return true;
  }
  bool element() {
    if (i_ >= s_.size() || s_[i_] != '<') return fail("expected a tag");
    ++i_;
    std::string tag;
    if (!name(tag)) return false;
    std::set<std::string> seen;
    for (;;) {
      std::size_t before = i_;
      skipSpace();
      if (i_ >= s_.size()) return fail("unterminated tag");
      if (s_.compare(i_, 2, "/>") == 0) return i_ += 2, true;
      if (s_[i_] == '>') {
        ++i_;
        break;
      }
      if (i_ == before) return fail("attributes must be separated by blanks");
      std::string attribute;
      if (!name(attribute)) return false;
      if (!seen.insert(attribute).second) return fail("duplicate attribute " + attribute);
      if (i_ >= s_.size() || s_[i_] != '=') return fail("attribute without value");
      ++i_;
      if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\'')) return fail("unquoted attribute");
      char quote = s_[i_++];
      while (i_ < s_.size() && s_[i_] != quote) {
        if (s_[i_] == '<') return fail("'<' in an attribute");
        if (s_[i_] == '&') {
          if (!entity()) return false;
        } else {
          ++i_;
        }
      }
      if (i_ >= s_.size()) return fail("unterminated attribute");
      ++i_;
    }
    // Content up to the matching end tag.
    for (;;) {
      if (i_ >= s_.size()) return fail("missing </" + tag + ">");
      char c = s_[i_];
      if (s_.compare(i_, 4, "<!--") == 0) {
        std::size_t end = s_.find("-->", i_ + 4);
        if (end == std::string::npos) return fail("unterminated comment");
        i_ = end + 3;
      } else if (s_.compare(i_, 2, "</") == 0) {
        i_ += 2;
        std::string closing;
        if (!name(closing)) return false;
        if (closing != tag) return fail("</" + closing + "> closes <" + tag + ">");
        skipSpace();
        if (i_ >= s_.size() || s_[i_] != '>') return fail("bad end tag");
        ++i_;
        return true;
      } else if (c == '<') {
        if (!element()) return false;
      } else if (c == '&') {
        if (!entity()) return false;
      } else if (c == '>') {
        return fail("raw '>' in text");  // allowed by XML, but never written by us
      } else {
        ++i_;
      }
    }
  }

  const std::string& s_;
  std::size_t i_ = 0;
  std::string error_;
};

std::string xmlProblem(const std::string& text) { return XmlChecker(text).check(); }

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Realistic results: both thresholds for 1..trees, a mean that falls with
// the sample size towards the observed value of all trees, limits that go
// below zero for small samples.
PlotSpan span(int first, int last, int trees, bool withObserved) {
  PlotSpan s{first, last, {}};
  for (int threshold = 1; threshold <= 2; ++threshold) {
    for (int n = 1; n <= trees; ++n) {
      ResultRow r;
      r.firstYear = first;
      r.lastYear = last;
      r.sampleSize = n;
      r.threshold = threshold;
      r.simulations = 1000;
      const float level = threshold == 1 ? 12.0f : 5.0f;
      r.mean = level * (1.0f - 0.6f / n) + (threshold == 2 && n == 1 ? -2.0f : 0.0f);
      r.sd = 2.5f / std::sqrt(static_cast<float>(n));
      const float z[3] = {1.960f, 2.575f, 3.294f};
      for (int k = 0; k < 3; ++k) {
        r.limits[2 * k] = r.mean - z[k] * r.sd;
        r.limits[2 * k + 1] = r.mean + z[k] * r.sd;
      }
      r.percentiles = {r.mean - 1.8f * r.sd, r.mean + 2.1f * r.sd, r.mean - 2.4f * r.sd,
                       r.mean + 2.8f * r.sd};
      s.rows.push_back(r);
    }
    if (withObserved) {
      ResultRow r;
      r.firstYear = first;
      r.lastYear = last;
      r.sampleSize = trees;
      r.threshold = threshold;
      r.observed = true;
      r.simulations = 1;
      r.mean = r.limits[0] = r.limits[1] = threshold == 1 ? 11.5f : 4.6f;
      s.rows.push_back(r);
    }
  }
  return s;
}

const PlotInfo kInfo{"data/SITE.FHX",
                     "Job PENA  seed 12345  1000 simulations  method D  fire scars only"};

// Every number the document draws with, from the attributes that hold
// coordinates and sizes.
std::vector<std::string> numericAttributes(const std::string& svg) {
  std::vector<std::string> out;
  for (const char* key : {" x=\"", " y=\"", " cx=\"", " cy=\"", " x1=\"", " y1=\"", " x2=\"",
                          " y2=\"", " width=\"", " height=\"", " points=\"", " d=\""}) {
    for (std::size_t at = svg.find(key); at != std::string::npos; at = svg.find(key, at + 1)) {
      std::size_t start = at + std::string(key).size();
      out.push_back(svg.substr(start, svg.find('"', start) - start));
    }
  }
  return out;
}

// The checker must refuse what is not well-formed, or passing it proves
// nothing.
TEST(PlotSvgXmlChecker, RejectsMalformedDocuments) {
  EXPECT_EQ(xmlProblem("<?xml version=\"1.0\"?>\n<a x='1'><b/>t &amp; &#x41;<!-- c --></a>\n"), "");
  for (const char* bad :
       {"<a><b></a></b>", "<a x=1/>", "<a x=\"1\" x=\"2\"/>", "<a>&nbsp;</a>", "<a>&amp</a>",
        "<a>x < y</a>", "<a x=\"<\"/>", "<a/><b/>", "<a>", "<a x=\"1\"y=\"2\"/>", "<a>1 > 0</a>"}) {
    EXPECT_NE(xmlProblem(bad), "") << bad;
  }
}

TEST(PlotSvg, DocumentIsWellFormedSvgForEveryKindOfInput) {
  PlotSpan single{1700, 1750, {}};
  single.rows = span(1700, 1750, 1, true).rows;  // one sample size
  PlotSpan zeros = span(1800, 1850, 4, false);
  for (ResultRow& r : zeros.rows) r = ResultRow{1800, 1850, r.sampleSize, r.threshold};
  PlotSpan broken = span(1600, 1990, 8, false);
  broken.rows[2].mean = NAN;
  broken.rows[3].limits[1] = INFINITY;
  broken.rows[4].percentiles[0] = -INFINITY;
  broken.rows[9].limits = {NAN, NAN, NAN, NAN, NAN, NAN};
  const std::vector<std::vector<PlotSpan>> cases{
      {},
      {span(1600, 1990, 12, true)},
      {PlotSpan{1600, 1700, {}}},
      {single},
      {zeros},
      {broken},
      {span(1600, 1990, 37, true), PlotSpan{1700, 1800, {}}, single}};

  const bool haveXmllint = std::filesystem::exists("/usr/bin/xmllint");
  testing::TemporaryDirectory dir;
  for (std::size_t k = 0; k < cases.size(); ++k) {
    SCOPED_TRACE("case " + std::to_string(k));
    const std::string svg = renderPlotSvg(kInfo, cases[k]);
    EXPECT_EQ(xmlProblem(svg), "");
    EXPECT_EQ(svg.back(), '\n');
    const std::string height = std::to_string(plotSvgHeight(cases[k].size()));
    EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"1000\" "
                       "height=\"" +
                       height + "\" viewBox=\"0 0 1000 " + height + "\""),
              std::string::npos);
    EXPECT_EQ(count(svg, "class=\"panel\""), cases[k].size());
    // Nothing that is not a finite number reaches the drawing.
    for (const std::string& value : numericAttributes(svg))
      EXPECT_EQ(value.find_first_not_of("0123456789.-, MLZ"), std::string::npos) << value;
    for (const char* word : {"nan", "NaN", "inf", "Inf"})
      EXPECT_EQ(svg.find(word), std::string::npos) << word;
    if (haveXmllint) {
      dir.write("plot.svg", svg);
      EXPECT_EQ(std::system(("/usr/bin/xmllint --noout " + dir.file("plot.svg") + " 2>&1").c_str()),
                0);
    }
  }
}

TEST(PlotSvg, TitleHasSiteSpanAndOptionsWithTextEscaped) {
  const PlotInfo info{"A&B <north> \"old\" 'x' Pe\xF1\x61\x01.fhx", "seed <5> & \"more\""};
  const std::string svg = renderPlotSvg(info, {span(1600, 1990, 5, true)});
  EXPECT_EQ(xmlProblem(svg), "");
  EXPECT_NE(svg.find("A&amp;B &lt;north&gt; &quot;old&quot; &apos;x&apos; Pe&#xF1;a.fhx"),
            std::string::npos);
  EXPECT_NE(svg.find("seed &lt;5&gt; &amp; &quot;more&quot;"), std::string::npos);
  EXPECT_EQ(svg.find("<north>"), std::string::npos);
  EXPECT_EQ(svg.find('\x01'), std::string::npos);
  EXPECT_NE(svg.find("1600-1990"), std::string::npos);
  EXPECT_NE(svg.find("Trees in sample"), std::string::npos);
  EXPECT_NE(svg.find("Fire events per century"), std::string::npos);
  EXPECT_NE(svg.find("below 0 are drawn at 0"), std::string::npos);
}

TEST(PlotSvg, SameInputGivesTheSameBytes) {
  const std::vector<PlotSpan> spans{span(1600, 1990, 20, true), span(1700, 1800, 6, false)};
  const std::string first = renderPlotSvg(kInfo, spans);
  std::vector<PlotSpan> copy = spans;
  EXPECT_EQ(renderPlotSvg(kInfo, copy), first);
  EXPECT_EQ(renderPlotSvg(kInfo, spans), first);
}

// Method D gives one observed row per threshold; method R gives none and
// nothing is marked, not even in the legend.
TEST(PlotSvg, ObservedValueIsMarkedOnlyWhenThereIsOne) {
  const std::string withObserved = renderPlotSvg(kInfo, {span(1600, 1990, 10, true)});
  EXPECT_EQ(count(withObserved, "class=\"observed\""), 2u);
  EXPECT_EQ(count(withObserved, "Observed, all trees"), 1u);

  const std::string without =
      renderPlotSvg(kInfo, {span(1600, 1990, 10, false), PlotSpan{1700, 1800, {}}});
  EXPECT_EQ(count(without, "class=\"observed\""), 0u);
  EXPECT_EQ(count(without, "Observed"), 0u);
  EXPECT_EQ(count(without, "no simulations"), 1u);
  // Both thresholds still have their mean line, in different colours.
  EXPECT_EQ(count(without, "class=\"mean\""), 2u);
  EXPECT_NE(without.find("Mean, threshold 1"), std::string::npos);
  EXPECT_NE(without.find("Mean, threshold 2"), std::string::npos);
}

// The frame of the plot area: its top and bottom page y.
std::pair<double, double> plotArea(const std::string& svg) {
  std::size_t at = svg.find("fill=\"none\" stroke=\"#333333\"");
  std::size_t rect = svg.rfind("<rect", at);
  auto attribute = [&](const char* key) {
    std::size_t start = svg.find(key, rect) + std::string(key).size();
    return std::strtod(svg.c_str() + start, nullptr);
  };
  double y = attribute(" y=\"");
  return {y, y + attribute(" height=\"")};
}

std::vector<double> polygonYs(const std::string& svg) {
  std::vector<double> ys;
  const std::string key = "<polygon points=\"";
  for (std::size_t at = svg.find(key); at != std::string::npos; at = svg.find(key, at + 1)) {
    std::istringstream points(
        svg.substr(at + key.size(), svg.find('"', at + key.size()) - at - key.size()));
    double x, y;
    char comma;
    while (points >> x >> comma >> y) ys.push_back(y);
  }
  return ys;
}

// Limits below 0 rest on the x axis; the highest upper limit is within the
// top of the scale.
TEST(PlotSvg, BandsStayInsideThePlotAreaAndNegativeLimitsRestOnZero) {
  const std::string svg = renderPlotSvg(kInfo, {span(1600, 1990, 9, true)});
  const auto [top, bottom] = plotArea(svg);
  const std::vector<double> ys = polygonYs(svg);
  ASSERT_EQ(count(svg, "<polygon"), 4u);  // 95 and 99 % for two thresholds
  double lowest = 0, highest = 1e9;
  for (double y : ys) {
    lowest = std::max(lowest, y);
    highest = std::min(highest, y);
  }
  EXPECT_DOUBLE_EQ(lowest, bottom);  // the sample of one tree goes below 0
  EXPECT_GE(highest, top);
  EXPECT_LT(highest, top + (bottom - top) / 2);
}

// The y labels (right-aligned texts) of a document.
std::vector<double> yTickLabels(const std::string& svg) {
  std::vector<double> labels;
  const std::string key = "text-anchor=\"end\">";
  for (std::size_t at = svg.find(key); at != std::string::npos; at = svg.find(key, at + 1))
    labels.push_back(std::strtod(svg.c_str() + at + key.size(), nullptr));
  return labels;
}

TEST(PlotSvg, YScaleRunsFromZeroToARoundTopAboveEveryValue) {
  // The largest value drawn is the upper 99 % limit of threshold 1 at the
  // largest sample, about 13.9.
  PlotSpan s = span(1600, 1990, 15, true);
  float maximum = 0;
  for (const ResultRow& r : s.rows) maximum = std::max({maximum, r.limits[3], r.percentiles[1]});
  std::vector<double> labels = yTickLabels(renderPlotSvg(kInfo, {s}));
  ASSERT_GE(labels.size(), 3u);
  EXPECT_EQ(labels.front(), 0.0);
  const double step = labels[1] - labels[0];
  EXPECT_GE(labels.back(), maximum);
  EXPECT_LT(labels.back(), maximum + step);
  EXPECT_LE(labels.size(), 12u);

  PlotSpan zeros{1800, 1850, {ResultRow{1800, 1850, 1, 1}, ResultRow{1800, 1850, 2, 1}}};
  labels = yTickLabels(renderPlotSvg(kInfo, {zeros}));
  ASSERT_FALSE(labels.empty());
  EXPECT_EQ(labels.front(), 0.0);
  EXPECT_EQ(labels.back(), 1.0);
}

// The x labels (centred integers under the axis) of a document.
std::vector<int> xTickLabels(const std::string& svg) {
  std::vector<int> labels;
  const std::string key = "text-anchor=\"middle\">";
  for (std::size_t at = svg.find(key); at != std::string::npos; at = svg.find(key, at + 1)) {
    const char* text = svg.c_str() + at + key.size();
    if (std::isdigit(static_cast<unsigned char>(*text))) labels.push_back(std::atoi(text));
  }
  return labels;
}

TEST(PlotSvg, XTicksAreWholeTreeCounts) {
  EXPECT_EQ(xTickLabels(renderPlotSvg(kInfo, {span(1600, 1990, 6, true)})),
            (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(xTickLabels(renderPlotSvg(kInfo, {span(1600, 1990, 37, true)})),
            (std::vector<int>{1, 5, 10, 15, 20, 25, 30, 35}));
  // A single sample size still gets its tick, a band box and a mean stroke.
  const std::string single = renderPlotSvg(kInfo, {span(1600, 1990, 1, true)});
  EXPECT_EQ(xTickLabels(single), (std::vector<int>{1}));
  EXPECT_EQ(count(single, "class=\"band95\""), 2u);
  EXPECT_EQ(count(single, "<polygon"), 0u);
  EXPECT_EQ(count(single, "class=\"mean\""), 2u);
}

// PNG chunk data: the total length of the image data chunks, or -1 when the
// file is not a PNG.
long pngImageDataLength(const std::string& png) {
  if (png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return -1;
  long total = 0;
  for (std::size_t at = 8; at + 8 <= png.size();) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(png[k]); };
    const unsigned long length =
        byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
    if (png.compare(at + 4, 4, "IDAT") == 0) total += static_cast<long>(length);
    at += 12 + length;
  }
  return total;
}

// Renders `svg` with the headless browser at the document's size; returns the
// PNG's bytes ("" when it failed).
std::string screenshot(const testing::TemporaryDirectory& dir, const std::string& name,
                       const std::string& svg, int height) {
  dir.write(name + ".svg", svg);
  const std::string profile = dir.file(name + "-profile");
  std::filesystem::create_directory(profile);
  const std::string command =
      "timeout 120 /usr/bin/chromium --headless --no-sandbox --disable-gpu --disable-quic "
      "--no-first-run --disable-background-networking --disable-component-update --disable-sync "
      "--hide-scrollbars --user-data-dir=" +
      profile + " --screenshot=" + dir.file(name + ".png") + " --window-size=1000," +
      std::to_string(height) + " file://" + dir.file(name + ".svg") + " >/dev/null 2>&1";
  std::system(command.c_str());
  if (!dir.exists(name + ".png")) return "";
  return dir.read(name + ".png");
}

TEST(PlotSvg, RendersInABrowser) {
  if (!std::filesystem::exists("/usr/bin/chromium")) GTEST_SKIP() << "no /usr/bin/chromium";
  testing::TemporaryDirectory dir;
  const std::vector<PlotSpan> spans{span(1600, 1990, 14, true), span(1700, 1850, 9, true)};
  const int height = plotSvgHeight(spans.size());
  const std::string blankSvg =
      "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" "
      "width=\"1000\" height=\"" +
      std::to_string(height) + "\"><rect width=\"1000\" height=\"" + std::to_string(height) +
      "\" fill=\"#ffffff\"/></svg>\n";
  const std::string plot = screenshot(dir, "plot", renderPlotSvg(kInfo, spans), height);
  const std::string blank = screenshot(dir, "blank", blankSvg, height);
  ASSERT_FALSE(plot.empty()) << "the browser wrote no screenshot";
  ASSERT_FALSE(blank.empty()) << "the browser wrote no screenshot of the blank page";
  const long plotData = pngImageDataLength(plot);
  const long blankData = pngImageDataLength(blank);
  ASSERT_GT(blankData, 0);
  // Lines, bands and text compress far worse than a flat white page.
  EXPECT_GT(plotData, 10 * blankData) << plotData << " bytes of image data against " << blankData;
  EXPECT_GT(plot.size(), 20000u);
}

}  // namespace
}  // namespace rova
