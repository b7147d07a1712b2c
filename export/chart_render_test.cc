#include "export/chart_render.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/program_module.h"
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

// Realistic results: both thresholds for 1..trees, a mean that falls with
// the sample size towards the observed value of all trees, limits that go
// below zero for small samples.
ChartSpan span(int first, int last, int trees, bool withObserved) {
  ChartSpan s{first, last, {}};
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

const ChartInfo kInfo{"Alder Creek, 1600-1990", "SITE.FHX",
                      "Job PENA, 1000 simulations, seed 12345, method D, fire scars only"};

bool have(const char* tool) { return std::filesystem::exists(std::string("/usr/bin/") + tool); }

// The standard output of a shell command.
std::string output(const std::string& command) {
  std::string text;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  pclose(pipe);
  return text;
}

std::string rendered(const ChartInfo& info, const std::vector<ChartSpan>& spans,
                     ChartFormat format) {
  const ChartOutput out = renderChart(info, spans, format);
  EXPECT_EQ(out.error, "");
  return out.bytes;
}

// The text of a PDF chart as pdftotext reads it, one blank between words.
std::string pdfText(const testing::TemporaryDirectory& dir, const std::string& pdf) {
  dir.write("chart.pdf", pdf);
  std::string text = output("/usr/bin/pdftotext -enc UTF-8 '" + dir.file("chart.pdf") + "' - 2>&1");
  std::string words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words += (words.empty() ? "" : " ") + word;
  return words;
}

// A PNG read back: its size and pixels (0xRRGGBB), empty when unreadable.
struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned> pixels;
  unsigned at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

cairo_status_t readBytes(void* closure, unsigned char* data, unsigned int length) {
  auto* source = static_cast<std::pair<const std::string*, std::size_t>*>(closure);
  if (source->second + length > source->first->size()) return CAIRO_STATUS_READ_ERROR;
  std::copy_n(source->first->data() + source->second, length, data);
  source->second += length;
  return CAIRO_STATUS_SUCCESS;
}

Picture decoded(const std::string& png) {
  Picture p;
  std::pair<const std::string*, std::size_t> source{&png, 0};
  cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readBytes, &source);
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(s);
    p.width = cairo_image_surface_get_width(s);
    p.height = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x)
        p.pixels.push_back(*reinterpret_cast<const std::uint32_t*>(data + y * stride + 4 * x) &
                           0xffffff);
  }
  cairo_surface_destroy(s);
  return p;
}

// The page height in points that the SVG declares.
double svgHeight(const std::string& svg) {
  const std::size_t at = svg.find(" height=\"");
  return at == std::string::npos ? -1 : std::strtod(svg.c_str() + at + 9, nullptr);
}

// The checker must refuse what is not well-formed, or passing it proves
// nothing.
TEST(ChartSvgXmlChecker, RejectsMalformedDocuments) {
  EXPECT_EQ(xmlProblem("<?xml version=\"1.0\"?>\n<a x='1'><b/>t &amp; &#x41;<!-- c --></a>\n"), "");
  for (const char* bad :
       {"<a><b></a></b>", "<a x=1/>", "<a x=\"1\" x=\"2\"/>", "<a>&nbsp;</a>", "<a>&amp</a>",
        "<a>x < y</a>", "<a x=\"<\"/>", "<a/><b/>", "<a>", "<a x=\"1\"y=\"2\"/>", "<a>1 > 0</a>"}) {
    EXPECT_NE(xmlProblem(bad), "") << bad;
  }
}

// Every kind of input gives a chart in every format: no spans, a span
// without rows, a single sample size, all zeros, values that are not
// finite, several spans with and without rows.
TEST(ChartRender, EveryFormatIsDrawnForEveryKindOfInput) {
  ChartSpan single{1700, 1750, span(1700, 1750, 1, true).rows};
  ChartSpan zeros = span(1800, 1850, 4, false);
  for (ResultRow& r : zeros.rows) r = ResultRow{1800, 1850, r.sampleSize, r.threshold};
  ChartSpan broken = span(1600, 1990, 8, false);
  broken.rows[2].mean = NAN;
  broken.rows[3].limits[1] = INFINITY;
  broken.rows[4].percentiles[0] = -INFINITY;
  broken.rows[9].limits = {NAN, NAN, NAN, NAN, NAN, NAN};
  const std::vector<std::vector<ChartSpan>> cases{
      {},
      {span(1600, 1990, 12, true)},
      {ChartSpan{1600, 1700, {}}},
      {single},
      {zeros},
      {broken},
      {span(1600, 1990, 37, true), ChartSpan{1700, 1800, {}}, single}};

  testing::TemporaryDirectory dir;
  for (std::size_t k = 0; k < cases.size(); ++k) {
    SCOPED_TRACE("case " + std::to_string(k));
    const std::string svg = rendered(kInfo, cases[k], ChartFormat::kSvg);
    EXPECT_EQ(xmlProblem(svg), "");
    EXPECT_NE(svg.find("<title>Alder Creek, 1600-1990</title>"), std::string::npos);
    for (const char* word : {"nan", "NaN", "inf\"", "Inf"})
      EXPECT_EQ(svg.find(word), std::string::npos) << word;
    if (have("xmllint")) {
      dir.write("chart.svg", svg);
      EXPECT_EQ(
          std::system(("/usr/bin/xmllint --noout " + dir.file("chart.svg") + " 2>&1").c_str()), 0);
    }
    const std::string pdf = rendered(kInfo, cases[k], ChartFormat::kPdf);
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    const Picture png = decoded(rendered(kInfo, cases[k], ChartFormat::kPng));
    // 7 inches at 200 pixels per inch, as high as the SVG page.
    EXPECT_EQ(png.width, 1400);
    EXPECT_EQ(png.height, (static_cast<int>(svgHeight(svg)) * 200 + 71) / 72);
  }
}

TEST(ChartRender, SameInputGivesTheSameBytes) {
  const std::vector<ChartSpan> spans{span(1600, 1990, 20, true), span(1700, 1800, 6, false)};
  for (ChartFormat format : {ChartFormat::kSvg, ChartFormat::kPdf, ChartFormat::kPng}) {
    const std::string first = rendered(kInfo, spans, format);
    std::vector<ChartSpan> copy = spans;
    EXPECT_EQ(rendered(kInfo, copy, format), first) << chartExtension(format);
  }
  // Nor does a PDF hold the time it was made.
  const std::string pdf = rendered(kInfo, spans, ChartFormat::kPdf);
  EXPECT_EQ(pdf.find("CreationDate"), std::string::npos);
  EXPECT_EQ(pdf.find("ModDate"), std::string::npos);
}

// The program draws through its chart module, which is loaded only then:
// the module gives the very bytes of the drawing linked into these tests.
TEST(ChartModule, DrawsAsTheDrawingItself) {
  std::string error;
  ASSERT_TRUE(chartDrawingAvailable(error)) << error;
  const std::vector<ChartSpan> spans{span(1600, 1990, 20, true)};
  for (ChartFormat format : {ChartFormat::kSvg, ChartFormat::kPdf, ChartFormat::kPng}) {
    const ChartOutput loaded = renderChart(kInfo, spans, format);
    EXPECT_EQ(loaded.error, "");
    EXPECT_FALSE(loaded.bytes.empty());
    EXPECT_TRUE(loaded.bytes == drawChart(kInfo, spans, format).bytes) << chartExtension(format);
  }
}

// A module that is missing, from another build or without the entry asked
// for is refused with the reason.
TEST(ChartModule, RefusesWhatItCannotUse) {
  std::string error;
  EXPECT_EQ(programModuleSymbol("rova-none.so", "rova_chart_build", ROVA_CHART_BUILD,
                                "rova_chart_draw", error),
            nullptr);
  EXPECT_NE(error.find("module rova-none.so is not installed beside"), std::string::npos) << error;
  error.clear();
  EXPECT_EQ(programModuleSymbol(kChartModule, "rova_chart_build", "rova 0.1, elsewhere",
                                "rova_chart_draw", error),
            nullptr);
  EXPECT_NE(error.find("belongs to another build of the program (" ROVA_CHART_BUILD
                       ", this is rova 0.1, elsewhere)"),
            std::string::npos)
      << error;
  error.clear();
  EXPECT_EQ(programModuleSymbol(kChartModule, "rova_chart_build", ROVA_CHART_BUILD,
                                "rova_chart_erase", error),
            nullptr);
  EXPECT_NE(error.find("lacks rova_chart_erase"), std::string::npos) << error;
  error.clear();
  EXPECT_NE(programModuleSymbol(kChartModule, "rova_chart_build", ROVA_CHART_BUILD,
                                "rova_chart_draw", error),
            nullptr);
  EXPECT_EQ(error, "");
}

// The PDF's words: the title, the input's name, the thresholds in words,
// every kind of mark in the legend, the spans, the axes.
TEST(ChartRender, PdfNamesWhatIsDrawn) {
  if (!have("pdftotext")) GTEST_SKIP() << "no /usr/bin/pdftotext";
  testing::TemporaryDirectory dir;
  const std::string text = pdfText(
      dir,
      rendered(kInfo, {span(1600, 1990, 10, true), ChartSpan{1700, 1800, {}}}, ChartFormat::kPdf));
  for (const char* words :
       {"Alder Creek, 1600-1990", "SITE.FHX", "seed 12345", "Fire years found by the sample",
        "Found by the sample, confirmed by \u2265 2 trees of the site", "2.5\u201397.5 percentiles",
        "not a confidence interval", "all trees (observed)", "1600\u20131990 (391 years)",
        "1700\u20131800 (101 years)", "no simulations", "Trees in the sample",
        "Fire events per century"})
    EXPECT_NE(text.find(words), std::string::npos) << words << " in: " << text;

  // Method R has no observed value: nothing is marked, not even in the legend.
  const std::string without =
      pdfText(dir, rendered(kInfo, {span(1600, 1990, 10, false)}, ChartFormat::kPdf));
  EXPECT_EQ(without.find("observed"), std::string::npos);
  EXPECT_NE(without.find("percentiles"), std::string::npos);
  // A run without a title gets the standard one.
  const std::string untitled = pdfText(
      dir, rendered({"", "SITE.FHX", "options"}, {span(1600, 1990, 3, true)}, ChartFormat::kPdf));
  EXPECT_NE(untitled.find("Fire events per century by trees in the sample"), std::string::npos);
}

// Control characters are dropped and bytes that are not UTF-8 read as
// Latin-1, in the drawing and in the SVG's text.
TEST(ChartRender, OddTextIsShownAsText) {
  const ChartInfo odd{"say \"hi\" <now> & \x1b[2J",
                      "Pe\xF1"
                      "a\x01.fhx",
                      "seed 1"};
  const std::string svg = rendered(odd, {span(1600, 1990, 3, true)}, ChartFormat::kSvg);
  EXPECT_EQ(xmlProblem(svg), "");
  EXPECT_NE(svg.find("<title>say &quot;hi&quot; &lt;now&gt; &amp; [2J</title>"), std::string::npos);
  EXPECT_NE(svg.find("Pe\xC3\xB1"
                     "a.fhx"),
            std::string::npos);
  EXPECT_EQ(svg.find('\x01'), std::string::npos);
  if (!have("pdftotext")) return;
  testing::TemporaryDirectory dir;
  const std::string text =
      pdfText(dir, rendered(odd, {span(1600, 1990, 3, true)}, ChartFormat::kPdf));
  EXPECT_NE(text.find("Pe\xC3\xB1"
                      "a.fhx"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("say \"hi\" <now> & [2J"), std::string::npos) << text;
}

// Long titles, input names and options are wrapped and cut with an
// ellipsis: the page's margin stays blank all around.
TEST(ChartRender, LongTextNeverRunsOffThePage) {
  const std::string words = "Fire history of the upper Alder Creek watershed and its neighbours ";
  const ChartInfo longInfo{words + words + words + std::string(80, 'W'),
                           std::string(150, 'N') + "_END.FHX", words + words + words + words};
  const std::vector<ChartSpan> spans{span(1600, 1990, 40, true), span(1650, 1750, 3, true)};
  const Picture png = decoded(rendered(longInfo, spans, ChartFormat::kPng));
  ASSERT_EQ(png.width, 1400);
  const int margin = static_cast<int>(16 * kChartPngScale);  // the page's margin is 18 points
  int inkInMargin = 0, inkInside = 0;
  for (int y = 0; y < png.height; ++y) {
    for (int x = 0; x < png.width; ++x) {
      const bool inMargin =
          x < margin || x >= png.width - margin || y < margin || y >= png.height - margin;
      const bool ink = png.at(x, y) != 0xffffff;
      (inMargin ? inkInMargin : inkInside) += ink;
    }
  }
  EXPECT_EQ(inkInMargin, 0);
  EXPECT_GT(inkInside, 10000);
  // Two lines of title, one of name and two of options at most: the page
  // is no more than a title line and an options line taller than with
  // short texts.
  const double shortHeight = svgHeight(rendered(kInfo, spans, ChartFormat::kSvg));
  const double longHeight = svgHeight(rendered(longInfo, spans, ChartFormat::kSvg));
  EXPECT_GT(longHeight, shortHeight);
  EXPECT_LT(longHeight, shortHeight + 30);
  if (!have("pdftotext")) return;
  testing::TemporaryDirectory dir;
  const std::string text = pdfText(dir, rendered(longInfo, spans, ChartFormat::kPdf));
  EXPECT_NE(text.find("Fire history of the upper"), std::string::npos) << text;
  EXPECT_NE(text.find("_END.FHX"), std::string::npos) << text;
}

// The span headings of a PDF with their positions: x of the left edge and
// y of the top, from pdftotext's word boxes.
std::map<std::string, std::pair<double, double>> spanHeadings(
    const testing::TemporaryDirectory& dir, const std::string& pdf) {
  dir.write("grid.pdf", pdf);
  const std::string boxes =
      output("/usr/bin/pdftotext -bbox '" + dir.file("grid.pdf") + "' - 2>&1");
  std::map<std::string, std::pair<double, double>> found;
  const std::string dash = "\u2013";
  for (std::size_t at = boxes.find("<word "); at != std::string::npos;
       at = boxes.find("<word ", at + 1)) {
    const std::size_t close = boxes.find('>', at), end = boxes.find("</word>", close);
    const std::string word = boxes.substr(close + 1, end - close - 1);
    if (word.size() != 8 + dash.size() || word.find(dash) != 4) continue;
    auto attribute = [&](const char* key) {
      return std::strtod(boxes.c_str() + boxes.find(key, at) + std::string(key).size(), nullptr);
    };
    found[word] = {attribute("xMin=\""), attribute("yMin=\"")};
  }
  return found;
}

// Segments are small multiples: seven spans make three columns of up to
// three rows, read row by row; the page stays far from a tall stack.
TEST(ChartRender, SegmentsMakeAGridOfPanels) {
  std::vector<ChartSpan> spans;
  for (int first = 1600; first <= 1900; first += 50)
    spans.push_back(span(first, first + 99, 12, true));
  const std::string svg = rendered(kInfo, spans, ChartFormat::kSvg);
  EXPECT_LT(svgHeight(svg), 800);
  EXPECT_GT(svgHeight(svg), svgHeight(rendered(kInfo, {spans[0]}, ChartFormat::kSvg)));
  if (!have("pdftotext")) return;
  testing::TemporaryDirectory dir;
  const auto headings = spanHeadings(dir, rendered(kInfo, spans, ChartFormat::kPdf));
  ASSERT_EQ(headings.size(), 7u);
  std::set<long> columns, rows;
  for (const auto& [word, place] : headings) {
    columns.insert(std::lround(place.first));
    rows.insert(std::lround(place.second));
  }
  EXPECT_EQ(columns.size(), 3u);
  EXPECT_EQ(rows.size(), 3u);
  EXPECT_EQ(headings.at("1600\u20131699"),
            (std::pair<double, double>{headings.at("1750\u20131849").first,
                                       headings.at("1600\u20131699").second}));
  EXPECT_LT(headings.at("1600\u20131699").second, headings.at("1750\u20131849").second);
  EXPECT_LT(headings.at("1600\u20131699").first, headings.at("1650\u20131749").first);
}

TEST(ChartRender, PopplerRendersThePdf) {
  if (!have("pdftoppm")) GTEST_SKIP() << "no /usr/bin/pdftoppm";
  testing::TemporaryDirectory dir;
  dir.write("chart.pdf", rendered(kInfo, {span(1600, 1990, 14, true)}, ChartFormat::kPdf));
  ASSERT_EQ(std::system(("/usr/bin/pdftoppm -r 50 -png -singlefile '" + dir.file("chart.pdf") +
                         "' '" + dir.file("page") + "' 2>&1")
                            .c_str()),
            0);
  const Picture page = decoded(dir.read("page.png"));
  EXPECT_EQ(page.width, static_cast<int>(std::lround(kChartPageWidth / 72 * 50)));
  int coloured = 0;  // pixels of the thresholds' colours, not grey
  for (unsigned p : page.pixels) {
    const int r = p >> 16, g = (p >> 8) & 0xff, b = p & 0xff;
    coloured += std::max({r, g, b}) - std::min({r, g, b}) > 60;
  }
  EXPECT_GT(coloured, 200);
}

TEST(ChartLayout, ValueScaleRunsFromZeroToARoundTopAboveEveryValue) {
  ChartSpan s = span(1600, 1990, 15, true);
  float maximum = 0;
  for (const ResultRow& r : s.rows) maximum = std::max({maximum, r.limits[3], r.percentiles[1]});
  const ChartScale scale = chartValueScale({s});
  EXPECT_GE(scale.top, maximum);
  EXPECT_LT(scale.top, maximum + scale.step);
  EXPECT_LE(scale.top / scale.step, 11);
  EXPECT_NEAR(std::remainder(scale.top, scale.step), 0, 1e-9);
  // Limits far below 0 and values that are not finite do not stretch it.
  s.rows[0].limits[2] = -50;
  s.rows[1].limits[3] = INFINITY;
  EXPECT_EQ(chartValueScale({s}).top, scale.top);
  const ChartScale zeros = chartValueScale({ChartSpan{1800, 1850, {ResultRow{1800, 1850, 1, 1}}}});
  EXPECT_EQ(zeros.top, 1.0);
  const ChartScale small =
      chartValueScale({ChartSpan{1800, 1850, {ResultRow{1800, 1850, 1, 1, false, 1, 0.021f}}}});
  EXPECT_GE(small.top, 0.021);
  EXPECT_EQ(small.decimals, 3);  // steps of 0.005 need three decimals
}

// A span's adequacy as the analysis would give it for a frame of `trees`.
SpanAdequacy adequacyOf(const ChartSpan& s, int trees, std::optional<double> upper) {
  SpanAdequacy a;
  a.firstYear = s.firstYear;
  a.lastYear = s.lastYear;
  a.trees = trees;
  for (int t = 0; t < 2; ++t) {
    for (int n = 1; n <= trees; ++n) {
      AdequacySize size;
      size.trees = n;
      size.exactMean = (t == 0 ? 12.0 : 5.0) * (1 - 0.6 / n);
      size.p2_5 = *size.exactMean * 0.7;
      size.p97_5 = *size.exactMean * 1.1;
      a.sizes[t].push_back(size);
    }
    a.allTrees[t] = t == 0 ? 12.0 : 5.0;
  }
  for (int n = trees + 1; n <= 2 * trees; ++n) a.extrapolation.push_back(12.0 + 0.05 * (n - trees));
  a.estimate = 14;
  a.lower95 = 12.5;
  a.upper95 = upper;
  a.needed[0] = {trees - 2, trees - 4};
  return a;
}

// A span with its adequacy shows its frame: the x scale runs to the
// frame's trees (twice them only with the extrapolation), a note says what
// the marks are, the trees needed are labelled by their rule, and an upper
// limit above the scale is printed at the top, not fitted into the scale.
TEST(ChartRender, AdequacyIsDrawnWithItsNote) {
  ChartSpan plain = span(1600, 1990, 12, true);
  ChartSpan withAdequacy = plain;
  withAdequacy.adequacy = adequacyOf(plain, 12, 500.0);
  EXPECT_EQ(chartValueScale({withAdequacy}).top, 15);  // 14, not 500
  ChartInfo info = kInfo;
  info.adequacy = AdequacyCriterion{10, 95};
  const std::string before = rendered(info, {plain}, ChartFormat::kSvg);
  for (std::optional<double> upper : {std::optional<double>(13.5), std::optional<double>(500.0)}) {
    withAdequacy.adequacy->upper95 = upper;
    const std::string svg = rendered(info, {withAdequacy}, ChartFormat::kSvg);
    EXPECT_EQ(xmlProblem(svg), "");
    EXPECT_GT(svgHeight(svg), svgHeight(before) + 15);  // the longer note
    EXPECT_NE(svg, before);
    const Picture png = decoded(rendered(info, {withAdequacy}, ChartFormat::kPng));
    EXPECT_GT(png.width, 0);
  }
  if (have("pdftotext")) {
    testing::TemporaryDirectory dir;
    const std::string text = pdfText(dir, rendered(info, {withAdequacy}, ChartFormat::kPdf));
    EXPECT_EQ(text.find(" 20 "), std::string::npos);  // the x axis ends at 12
    EXPECT_NE(text.find("share 10"), std::string::npos);
    EXPECT_NE(text.find("mean 8"), std::string::npos);
    EXPECT_NE(text.find("500"), std::string::npos);  // the limit above the scale
    EXPECT_NE(text.find("confirmed by"), std::string::npos);
    ChartInfo further = info;
    further.extrapolate = true;
    EXPECT_NE(pdfText(dir, rendered(further, {withAdequacy}, ChartFormat::kPdf)).find(" 20 "),
              std::string::npos);  // to 24, twice the trees
    // A span whose frame holds no tree says so instead of drawing.
    ChartSpan empty = span(1700, 1750, 12, true);
    empty.adequacy = adequacyOf(empty, 0, 0.0);
    EXPECT_NE(pdfText(dir, rendered(info, {withAdequacy, empty}, ChartFormat::kPdf))
                  .find("no tree has data in this span"),
              std::string::npos);
    // A complete sample: the asymptote's band is closed and marked.
    withAdequacy.adequacy->chao2.complete = true;
    withAdequacy.adequacy->upper95 = 13.5;
    EXPECT_NE(pdfText(dir, rendered(info, {withAdequacy}, ChartFormat::kPdf)).find("complete"),
              std::string::npos);
  }
}

// A filter's composite statistics as the analysis would give them for a
// frame of `trees`: the interval statistics undefined below 4 trees.
FilterAdequacy compositeOf(CompositeFilter filter, int trees) {
  FilterAdequacy f;
  f.filter = filter;
  for (int k = 0; k < kIntervalStatistics; ++k) {
    StatisticAdequacy& st = f.statistics[k];
    st.allTrees = k == 0 ? 6.0 : 11.0 + k;
    for (int n = 1; n <= trees; ++n) {
      AdequacySize size;
      size.trees = n;
      if (k == 0 || n >= 4) {
        size.p50 = *st.allTrees * (1 + 0.4 / n);
        size.p2_5 = *size.p50 * 0.6;
        size.p97_5 = *size.p50 * 1.5;
      }
      if (k == 0) size.exactMean = 6.0 * (1 - 0.5 / n);
      st.sizes.push_back(size);
    }
    st.needed.forShare = trees - 3;
  }
  return f;
}

// With the composites, a row of three panels per filter under the spans'
// panels, each named by its filter and statistic with the trees needed;
// more rows than a page holds are left to the tables, and said so.
TEST(ChartRender, CompositePanelsPerFilter) {
  ChartSpan plain = span(1600, 1990, 12, true);
  plain.adequacy = adequacyOf(plain, 12, 13.5);
  ChartSpan composite = plain;
  composite.adequacy->composites = {compositeOf({25, 2, 1}, 12), compositeOf({0, 1, 1}, 12)};
  ChartInfo info = kInfo;
  info.adequacy = AdequacyCriterion{10, 95};
  const std::string before = rendered(info, {plain}, ChartFormat::kSvg);
  const std::string svg = rendered(info, {composite}, ChartFormat::kSvg);
  EXPECT_EQ(xmlProblem(svg), "");
  EXPECT_GT(svgHeight(svg), svgHeight(before) + 150);  // two rows of panels and their note
  info.style = ChartStyle::kCompact;
  EXPECT_EQ(xmlProblem(rendered(info, {composite}, ChartFormat::kSvg)), "");
  info.style = ChartStyle::kFull;
  if (have("pdftotext")) {
    testing::TemporaryDirectory dir;
    const std::string text = pdfText(dir, rendered(info, {composite}, ChartFormat::kPdf));
    for (const char* heading : {"25,2,1: composite freq.", "25,2,1: MFI (years)", "0,1,1: WMPI (years)"})
      EXPECT_NE(text.find(heading), std::string::npos) << heading << "\n" << text;
    EXPECT_NE(text.find("share 9"), std::string::npos);
    EXPECT_NE(text.find("Weibull median probability interval"), std::string::npos);
    EXPECT_EQ(text.find("undefined in every sample"), std::string::npos);
    // A statistic undefined in every subsample, and a run without any.
    ChartSpan undefined = composite;
    for (AdequacySize& size : undefined.adequacy->composites[0].statistics[1].sizes) {
      size.p50 = size.p2_5 = size.p97_5 = std::nullopt;
      size.subsamples = 100;
    }
    EXPECT_NE(pdfText(dir, rendered(info, {undefined}, ChartFormat::kPdf)).find("undefined in every sample"),
              std::string::npos);
    for (AdequacySize& size : undefined.adequacy->composites[0].statistics[1].sizes) size.subsamples = 0;
    EXPECT_NE(pdfText(dir, rendered(info, {undefined}, ChartFormat::kPdf)).find("no subsamples"),
              std::string::npos);
    // Five segments of two filters: ten rows, more than a chart draws.
    std::vector<ChartSpan> segments;
    for (int k = 0; k < 5; ++k) {
      ChartSpan s = span(1600 + 50 * k, 1699 + 50 * k, 12, true);
      s.adequacy = composite.adequacy;
      s.adequacy->firstYear = s.firstYear;
      s.adequacy->lastYear = s.lastYear;
      segments.push_back(s);
    }
    const std::string many = pdfText(dir, rendered(info, segments, ChartFormat::kPdf));
    EXPECT_NE(many.find("are left out"), std::string::npos) << many;
    EXPECT_EQ(many.find("MFI (years)"), std::string::npos);
  }
}

TEST(ChartLayout, TreeTicksAreWholeCountsThatFitTheirRoom) {
  EXPECT_EQ(chartTreeTicks(6, 20), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(chartTreeTicks(37, 9), (std::vector<int>{1, 5, 10, 15, 20, 25, 30, 35}));
  EXPECT_EQ(chartTreeTicks(30, 16),
            (std::vector<int>{2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30}));
  EXPECT_EQ(chartTreeTicks(1, 5), (std::vector<int>{1}));
  EXPECT_EQ(chartTreeTicks(400, 8), (std::vector<int>{1, 100, 200, 300, 400}));
  for (int trees : {1, 7, 19, 20, 21, 99, 150, 4096})
    for (int room : {2, 5, 9, 30})
      EXPECT_LE(chartTreeTicks(trees, room).size(), static_cast<std::size_t>(room) + 1);
}

// Luminance (0..1) of a colour, as a greyscale print shows it.
double grey(unsigned colour) {
  return (0.299 * (colour >> 16) + 0.587 * ((colour >> 8) & 0xff) + 0.114 * (colour & 0xff)) / 255;
}

// The two thresholds stay apart in greyscale and without colour at all.
TEST(ChartLayout, ThresholdsDifferWithoutColour) {
  const ThresholdStyle one = thresholdStyle(1), two = thresholdStyle(2);
  EXPECT_NE(one.marker, two.marker);
  EXPECT_NE(one.meanDash, two.meanDash);
  EXPECT_NE(one.percentileDash, two.percentileDash);
  EXPECT_FALSE(one.percentileDash.empty());
  EXPECT_FALSE(two.percentileDash.empty());
  EXPECT_NE(one.percentileDash, one.meanDash);
  EXPECT_GT(std::fabs(grey(one.colour) - grey(two.colour)), 0.1);
  EXPECT_NE(one.label, two.label);
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
      profile + " --screenshot=" + dir.file(name + ".png") + " --window-size=672," +
      std::to_string(height) + " file://" + dir.file(name + ".svg") + " >/dev/null 2>&1";
  std::system(command.c_str());
  if (!dir.exists(name + ".png")) return "";
  return dir.read(name + ".png");
}

TEST(ChartRender, SvgRendersInABrowser) {
  if (!have("chromium")) GTEST_SKIP() << "no /usr/bin/chromium";
  testing::TemporaryDirectory dir;
  const std::vector<ChartSpan> spans{span(1600, 1990, 14, true), span(1700, 1850, 9, true)};
  const std::string svg = rendered(kInfo, spans, ChartFormat::kSvg);
  const int height = static_cast<int>(std::ceil(svgHeight(svg) * 96 / 72));
  const std::string blankSvg =
      "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" "
      "width=\"504pt\" height=\"" +
      std::to_string(svgHeight(svg)) +
      "pt\"><rect width=\"100%\" height=\"100%\" "
      "fill=\"#ffffff\"/></svg>\n";
  const std::string plot = screenshot(dir, "plot", svg, height);
  const std::string blank = screenshot(dir, "blank", blankSvg, height);
  ASSERT_FALSE(plot.empty()) << "the browser wrote no screenshot";
  ASSERT_FALSE(blank.empty()) << "the browser wrote no screenshot of the blank page";
  const long plotData = pngImageDataLength(plot);
  const long blankData = pngImageDataLength(blank);
  ASSERT_GT(blankData, 0);
  // Lines, bands and text compress far worse than a flat white page.
  EXPECT_GT(plotData, 10 * blankData) << plotData << " bytes of image data against " << blankData;
}

}  // namespace
}  // namespace rova

namespace rova {
namespace {

// The width and height in points of a PDF's page, from its /MediaBox.
std::pair<double, double> pdfPageSize(const std::string& pdf) {
  const std::size_t at = pdf.find("/MediaBox [");
  if (at == std::string::npos) return {-1, -1};
  std::istringstream box(pdf.substr(at + 11, 80));
  double x0 = 0, y0 = 0, x1 = -1, y1 = -1;
  box >> x0 >> y0 >> x1 >> y1;
  return {x1 - x0, y1 - y0};
}

double svgWidth(const std::string& svg) {
  const std::size_t at = svg.find(" width=\"");
  return at == std::string::npos ? -1 : std::strtod(svg.c_str() + at + 8, nullptr);
}

ChartInfo compactInfo(int dpi) {
  ChartInfo info = kInfo;
  info.style = ChartStyle::kCompact;
  info.pngDpi = dpi;
  return info;
}

// The compact figure is 3.5 inches wide in every format, its PNG at the
// asked pixels per inch, and SVG, PDF and PNG have one page height.
TEST(ChartCompact, EveryFormatAtTheAskedSizeAndResolution) {
  std::vector<ChartSpan> segments;
  for (int first = 1600; first <= 1900; first += 100)
    segments.push_back(span(first, first + 99, 12, true));
  for (const std::vector<ChartSpan>& spans :
       {std::vector<ChartSpan>{span(1600, 1990, 20, true)}, segments}) {
    for (int dpi : {72, 300, 600}) {
      SCOPED_TRACE(std::to_string(spans.size()) + " spans at " + std::to_string(dpi) + " ppi");
      const ChartInfo info = compactInfo(dpi);
      const std::string svg = rendered(info, spans, ChartFormat::kSvg);
      EXPECT_EQ(xmlProblem(svg), "");
      EXPECT_EQ(svgWidth(svg), 252);
      const double height = svgHeight(svg);
      EXPECT_GT(height, 100);
      const auto page = pdfPageSize(rendered(info, spans, ChartFormat::kPdf));
      EXPECT_EQ(page.first, 252);
      EXPECT_EQ(page.second, height);
      const Picture png = decoded(rendered(info, spans, ChartFormat::kPng));
      // Whole points times pixels per inch over 72, rounded up.
      EXPECT_EQ(height, std::round(height));
      EXPECT_EQ(png.width, (252 * dpi + 71) / 72);
      EXPECT_EQ(png.height, (static_cast<int>(height) * dpi + 71) / 72);
      // The drawing fills the width: ink near both sides, none in the
      // outer 4 points of the page's 5-point margin.
      const int edge = static_cast<int>(std::floor(4.0 / 72 * dpi));
      int inkLeft = 0, inkRight = 0, inkOutside = 0;
      for (int y = 0; y < png.height; ++y)
        for (int x = 0; x < png.width; ++x) {
          if (png.at(x, y) == 0xffffff) continue;
          if (x < edge || x >= png.width - edge || y < edge || y >= png.height - edge) ++inkOutside;
          if (x < png.width / 8) ++inkLeft;
          if (x > png.width * 7 / 8) ++inkRight;
        }
      EXPECT_EQ(inkOutside, 0);
      EXPECT_GT(inkLeft, 0);
      EXPECT_GT(inkRight, 0);
    }
  }
  // Segments stand in two columns, not a tall stack of four.
  const double one = svgHeight(rendered(compactInfo(200), {segments[0]}, ChartFormat::kSvg));
  const double four = svgHeight(rendered(compactInfo(200), segments, ChartFormat::kSvg));
  EXPECT_LT(four, 2.2 * one);
}

// The full page takes the asked resolution too, and its default stays 200.
TEST(ChartCompact, FullStyleTakesTheAskedResolution) {
  ChartInfo info = kInfo;
  info.pngDpi = 100;
  const std::vector<ChartSpan> spans{span(1600, 1990, 20, true)};
  const double height = svgHeight(rendered(info, spans, ChartFormat::kSvg));
  const Picture png = decoded(rendered(info, spans, ChartFormat::kPng));
  EXPECT_EQ(png.width, 700);
  EXPECT_EQ(png.height, (static_cast<int>(height) * 100 + 71) / 72);
  EXPECT_EQ(decoded(rendered(kInfo, spans, ChartFormat::kPng)).width, 1400);
}

// No caption block: title, file and options are not drawn; the legend is
// a line under the panels, naming both thresholds.
TEST(ChartCompact, LegendIsALineUnderThePanelsAndNoCaption) {
  if (!have("pdftotext")) GTEST_SKIP() << "no /usr/bin/pdftotext";
  testing::TemporaryDirectory dir;
  const std::vector<ChartSpan> spans{span(1600, 1699, 12, true), span(1700, 1799, 12, true)};
  const std::string pdf = rendered(compactInfo(200), spans, ChartFormat::kPdf);
  const std::string text = pdfText(dir, pdf);
  for (const char* caption : {"Alder Creek", "SITE.FHX", "Job PENA", "Bands:"})
    EXPECT_EQ(text.find(caption), std::string::npos) << caption << " in: " << text;
  EXPECT_NE(text.find("Fire years found by the sample"), std::string::npos) << text;
  EXPECT_NE(text.find("confirmed by \u2265 2 trees"), std::string::npos) << text;
  EXPECT_NE(text.find("percentiles"), std::string::npos) << text;
  const auto headings = spanHeadings(dir, pdf);
  ASSERT_EQ(headings.size(), 2u);
  // Both panels on one row, and the legend's words below them.
  EXPECT_EQ(headings.at("1600\u20131699").second, headings.at("1700\u20131799").second);
  dir.write("legend.pdf", pdf);
  const std::string boxes = output("/usr/bin/pdftotext -bbox '" + dir.file("legend.pdf") + "' - 2>&1");
  const std::size_t word = boxes.find(">percentiles<");
  ASSERT_NE(word, std::string::npos);
  const std::size_t yMin = boxes.rfind("yMin=\"", word);
  EXPECT_GT(std::strtod(boxes.c_str() + yMin + 6, nullptr),
            headings.at("1600\u20131699").second + 60);
}

}  // namespace
}  // namespace rova
