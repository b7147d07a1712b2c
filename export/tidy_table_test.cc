#include "export/tidy_table.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "format/utf8.h"

namespace rova {
namespace {

std::vector<std::string> splitCsv(const std::string& line) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == ',')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

ResultRow sampleRow() {
  ResultRow row;
  row.firstYear = 1600;
  row.lastYear = 1990;
  row.sampleSize = 7;
  row.threshold = 2;
  row.observed = false;
  row.simulations = 1000;
  row.mean = 1.0f / 3.0f;
  row.sd = 1e-7f;
  row.limits = {123456.789f, 0.0f, -2.5f, 7.0625f, -1.0f / 3.0f, 99.9995f};
  row.percentiles = {0.1f, 16777216.0f, 1e-38f, 3.4e38f};
  return row;
}

const TidyRunFacts kFacts{"D", false, 12345};
constexpr const char* kFactsText = ",D,FALSE,12345";

std::vector<float> realsOf(const ResultRow& row) {
  std::vector<float> reals{row.mean, row.sd};
  reals.insert(reals.end(), row.limits.begin(), row.limits.end());
  reals.insert(reals.end(), row.percentiles.begin(), row.percentiles.end());
  return reals;
}

TEST(TidyTable, HeaderNamesTheColumnsInOrder) {
  EXPECT_EQ(tidyCsvHeader(),
            "site,span_first_year,span_last_year,years,trees,threshold,observed,simulations,mean,sd,"
            "lower_95,upper_95,lower_99,upper_99,lower_99_9,upper_99_9,p2_5,p97_5,p0_5,p99_5,"
            "exact_mean,exact_sd,mean_double,sd_double,method,injuries_counted,seed\n");
  for (const TidyColumn& column : tidyCsvColumns()) EXPECT_GT(std::strlen(column.meaning), 10u) << column.name;
}

TEST(TidyTable, RowHasIntegerColumnsAndOneFieldPerHeaderName) {
  ResultRow row = sampleRow();
  std::string line = tidyCsvRow("ALDER", row, kFacts);
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\r'), std::string::npos);
  line.pop_back();
  std::vector<std::string> fields = splitCsv(line);
  std::string header = tidyCsvHeader();
  header.pop_back();
  ASSERT_EQ(fields.size(), splitCsv(header).size());
  EXPECT_EQ(fields[0], "ALDER");
  EXPECT_EQ(fields[1], "1600");
  EXPECT_EQ(fields[2], "1990");
  EXPECT_EQ(fields[3], "391");
  EXPECT_EQ(fields[4], "7");
  EXPECT_EQ(fields[5], "2");
  EXPECT_EQ(fields[6], "FALSE");
  EXPECT_EQ(fields[7], "1000");
}

// The value of all trees is one value: what would describe a spread of
// simulations is NA, not 0 or the value itself.
TEST(TidyTable, TheObservedRowHasNoSpread) {
  ResultRow row = sampleRow();
  row.observed = true;
  row.threshold = 1;
  row.simulations = 1;
  row.meanDouble = 0.25;
  row.firstYear = row.lastYear = 1850;
  std::string line = tidyCsvRow("S", row, kFacts);
  line.pop_back();
  const std::vector<std::string> fields = splitCsv(line);
  EXPECT_EQ(fields[3], "1");
  EXPECT_EQ(fields[6], "TRUE");
  EXPECT_EQ(fields[7], "NA");
  EXPECT_EQ(fields[8], "0.33333334");
  for (std::size_t i = 9; i < 22; ++i) EXPECT_EQ(fields[i], "NA") << i;
  EXPECT_EQ(fields[22], "0.25");  // mean_double, the one value there is
  EXPECT_EQ(fields[23], "NA");    // sd_double
  EXPECT_EQ(fields[24], "D");
  EXPECT_EQ(fields[25], "FALSE");
  EXPECT_EQ(fields[26], "12345");
}

// Every sample size has a row for both thresholds: one tree has no
// threshold-2 result, and sizes without simulations have no values.
TEST(TidyTable, EverySampleSizeHasBothThresholds) {
  SampleSizeResult one{1600, 1990, 1, 1000, false, {sampleRow()}};
  one.rows[0].threshold = 1;
  one.rows[0].sampleSize = 1;
  const std::string rows = tidyCsvRows("A,B", one, kFacts);
  EXPECT_EQ(rows.substr(rows.find('\n') + 1),
            std::string("\"A,B\",1600,1990,391,1,2,FALSE,1000,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA") + kFactsText + "\n");
  EXPECT_EQ(rows.rfind("\"A,B\",1600,1990,391,1,1,FALSE,1000,0.33333334,", 0), 0u) << rows;

  const SampleSizeResult none{1600, 1990, 5, 0, false, {}};
  EXPECT_EQ(tidyCsvRows("S", none, kFacts),
            std::string("S,1600,1990,391,5,1,FALSE,0,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA") + kFactsText +
                "\nS,1600,1990,391,5,2,FALSE,0,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA" + kFactsText + "\n");
  EXPECT_EQ(siteOf("data/site 7.v2.fhx"), "site 7.v2");
  EXPECT_EQ(siteOf(".hidden"), ".hidden");
}

// The exact columns: the span's exact value of the row's size and
// threshold, as the shortest text that reads back to the same double.
TEST(TidyTable, ExactColumnsComeFromTheSpansAdequacy) {
  SpanAdequacy adequacy;
  adequacy.exactOfAllSeries[0] = {{1.0 / 3, 0.1}, {2.5, 0}};
  adequacy.exactOfAllSeries[1] = {{0.25, 0.125}, {2, 0}};
  ResultRow one = sampleRow();
  one.sampleSize = 2;
  one.threshold = 1;
  const SampleSizeResult result{1600, 1990, 2, 1000, false, {one}};
  const std::string rows = tidyCsvRows("S", result, kFacts, &adequacy);
  const std::string first = rows.substr(0, rows.find('\n'));
  const std::string second = rows.substr(rows.find('\n') + 1);
  EXPECT_NE(first.find(",2.5,0,"), std::string::npos) << first;
  // Threshold 2 has no result: NA throughout, the exact columns too.
  EXPECT_EQ(second, std::string("S,1600,1990,391,2,2,FALSE,1000,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA,NA") + kFactsText + "\n");
  const ExpectedValue third{1.0 / 3, 0.1};
  std::string line = tidyCsvRow("S", one, kFacts, &third);
  line.pop_back();
  const std::vector<std::string> fields = splitCsv(line);
  EXPECT_EQ(std::strtod(fields[20].c_str(), nullptr), 1.0 / 3);
  EXPECT_EQ(fields[20], "0.3333333333333333");
  EXPECT_EQ(fields[21], "0.1");
}

// Every real reads back, as a float, to exactly the value written; the text
// is the shortest that does so (no padding digits).
TEST(TidyTable, RealsReadBackToTheSameFloats) {
  const ResultRow row = sampleRow();
  std::string line = tidyCsvRow("S", row, kFacts);
  line.pop_back();
  const std::vector<std::string> fields = splitCsv(line);
  const std::vector<float> reals = realsOf(row);
  // and the two exact, the two double-precision and the three run columns
  ASSERT_EQ(fields.size(), 8 + reals.size() + 2 + 2 + 3);
  for (std::size_t i = 0; i < reals.size(); ++i) {
    const std::string& text = fields[8 + i];
    char* end = nullptr;
    float back = std::strtof(text.c_str(), &end);
    EXPECT_EQ(*end, '\0') << text;
    EXPECT_EQ(back, reals[i]) << "column " << 8 + i << ": " << text;
    EXPECT_EQ(std::signbit(back), std::signbit(reals[i])) << text;
  }
  EXPECT_EQ(fields[8], "0.33333334");
  EXPECT_EQ(fields[9], "1e-07");
  EXPECT_EQ(fields[10], "123456.79");
  EXPECT_EQ(fields[11], "0");
  EXPECT_EQ(fields[12], "-2.5");
  EXPECT_EQ(tidyCsvNumber(-0.0f), "-0");
}

// Read as single precision and rounded to 3 decimals, the table gives the
// spreadsheet's figures.
TEST(TidyTable, RoundedToThreeDecimalsMatchesTheSpreadsheetFigures) {
  std::vector<float> values = realsOf(sampleRow());
  // Values at and near three-decimal rounding ties, where a lossy text
  // would round the other way.
  for (float v : {0.0005f, 1.0005f, 2.0015f, 12.3455f, 99.9995f, 0.0625f, -0.0005f, 3.14159f})
    values.push_back(v);
  for (float v = 0.0f; v < 50.0f; v += 0.0371f) values.push_back(v);
  for (float v : values) {
    char expected[64], actual[64];
    std::snprintf(expected, sizeof expected, "%7.3f", v);
    std::snprintf(actual, sizeof actual, "%7.3f", std::strtof(tidyCsvNumber(v).c_str(), nullptr));
    EXPECT_STREQ(actual, expected) << tidyCsvNumber(v);
  }
}

TEST(TidyTable, ValuesThatAreNotFiniteAreWrittenReadably) {
  EXPECT_EQ(tidyCsvNumber(NAN), "NaN");
  EXPECT_EQ(tidyCsvNumber(INFINITY), "Inf");
  EXPECT_EQ(tidyCsvNumber(-INFINITY), "-Inf");
  EXPECT_TRUE(std::isnan(std::strtof("NaN", nullptr)));
  EXPECT_EQ(std::strtof("-Inf", nullptr), -INFINITY);
}

// A strict JSON recogniser (RFC 8259): true when `s` is one JSON value.
// It refuses trailing commas, raw control characters and invalid UTF-8 in
// strings, unknown escapes, lone surrogates, leading zeros and trailing
// text, as a conforming parser does.
class JsonChecker {
 public:
  explicit JsonChecker(const std::string& s) : s_(s) {}
  bool valid() {
    space();
    bool ok = value(0);
    space();
    return ok && i_ == s_.size();
  }

 private:
  bool more() const { return i_ < s_.size(); }
  unsigned char at(std::size_t k) const { return k < s_.size() ? s_[k] : 0; }
  bool eat(char c) { return more() && s_[i_] == c ? (++i_, true) : false; }
  void space() {
    while (more() && s_[i_] != '\0' && std::strchr(" \t\n\r", s_[i_])) ++i_;
  }
  bool word(const char* w) {
    std::size_t n = std::strlen(w);
    return s_.compare(i_, n, w) == 0 ? (i_ += n, true) : false;
  }
  bool value(int depth) {
    if (depth > 32) return false;
    if (eat('{')) return members(depth, '}', true);
    if (eat('[')) return members(depth, ']', false);
    if (more() && s_[i_] == '"') return string();
    return word("true") || word("false") || word("null") || number();
  }
  bool members(int depth, char close, bool named) {
    space();
    if (eat(close)) return true;
    do {
      space();
      if (named && !(string() && (space(), eat(':')))) return false;
      space();
      if (!value(depth + 1)) return false;
      space();
    } while (eat(','));
    return eat(close);
  }
  bool digits() {
    std::size_t from = i_;
    while (more() && std::isdigit(at(i_))) ++i_;
    return i_ > from;
  }
  bool number() {
    eat('-');
    if (!eat('0') && !digits()) return false;
    if (eat('.') && !digits()) return false;
    if ((eat('e') || eat('E')) && !((eat('+') || eat('-') || true) && digits())) return false;
    return true;
  }
  unsigned hex4() {  // 0x10000 when not four hex digits
    unsigned code = 0;
    for (int k = 0; k < 4; ++k, ++i_) {
      if (!std::isxdigit(at(i_))) return 0x10000;
      const char h = static_cast<char>(std::tolower(at(i_)));
      code = code * 16 + (h <= '9' ? h - '0' : h - 'a' + 10);
    }
    return code;
  }
  bool string() {
    if (!eat('"')) return false;
    while (more()) {
      const unsigned char c = s_[i_++];
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (!more()) return false;
        const char e = s_[i_++];
        if (e == 'u') {
          unsigned code = hex4();
          if (code >= 0xDC00 && code <= 0xDFFF) return false;
          if (code >= 0xD800 && code <= 0xDBFF) {
            if (!word("\\u")) return false;
            unsigned low = hex4();
            if (low < 0xDC00 || low > 0xDFFF) return false;
          } else if (code > 0xFFFF) {
            return false;
          }
        } else if (!std::strchr("\"\\/bfnrt", e) || e == '\0') {
          return false;
        }
      } else if (c >= 0x80) {  // a UTF-8 sequence: lead, continuations, value range
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
        if (c < 0xC2 || c > 0xF4) return false;
        unsigned code = c & (0x3F >> extra);
        for (int k = 0; k < extra; ++k, ++i_) {
          if ((at(i_) & 0xC0) != 0x80) return false;
          code = code << 6 | (at(i_) & 0x3F);
        }
        const unsigned minimum[] = {0, 0x80, 0x800, 0x10000};
        if (code < minimum[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
          return false;
      }
    }
    return false;
  }

  const std::string& s_;
  std::size_t i_ = 0;
};

bool validJson(const std::string& text) { return JsonChecker(text).valid(); }

// The checker must itself refuse bad JSON, or the checks below prove nothing.
TEST(RunMetadata, TheTestJsonCheckerRejectsMalformedText) {
  EXPECT_TRUE(
      validJson("{\"a\": [1, 2.5e-3, -0, true, null, \"x\\u00e9\\ud83d\\udd25 \xC3\xA9\"]}"));
  EXPECT_TRUE(validJson(" [ ] "));
  for (const char* bad : {"{\"a\": 1,}", "[1 2]", "{\"a\" 1}", "\"tab\there\"", "\"\\x41\"", "01",
                          "{\"a\": 1} x", "\"\xED\xA0\x80\"", "\"\xC0\xAF\"", "\"R\xEDo\"",
                          "\"\\ud800\"", "\"\\u00g0\"", "{", "[", "\"open", "-", "1.", "{1: 2}"}) {
    EXPECT_FALSE(validJson(bad)) << bad;
  }
}

// A stray byte reads as its Latin-1 character; valid UTF-8 stays as it is.
TEST(RunMetadata, StrayBytesAreReadAsLatin1) {
  EXPECT_EQ(latin1Repaired("R\xC3\xADo Pe\xC3\xB1\x61"), "R\xC3\xADo Pe\xC3\xB1\x61");  // Río Peña
  EXPECT_EQ(latin1Repaired("\xE2\x82\xAC \xF0\x9F\x94\xA5"), "\xE2\x82\xAC \xF0\x9F\x94\xA5");
  EXPECT_EQ(latin1Repaired("R\xEDo"), "R\xC3\xADo");                     // Latin-1 í
  EXPECT_EQ(latin1Repaired("\xC0\xAF"), "\xC3\x80\xC2\xAF");              // overlong '/'
  EXPECT_EQ(latin1Repaired("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");  // a surrogate
  EXPECT_EQ(latin1Repaired("ab\xE2\x82"), "ab\xC3\xA2\xC2\x82");          // cut short at the end
  EXPECT_EQ(latin1Repaired("\xA9\xC3\xA9"), "\xC2\xA9\xC3\xA9");          // stray byte, then é
  std::string everyByte;
  for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
  EXPECT_TRUE(isValidUtf8(latin1Repaired(everyByte + everyByte.substr(0x80) + "\xE2\x82")));
}

RunMetadata sampleMetadata() {
  RunMetadata meta;
  meta.programVersion = "1.15";
  meta.commandLine = {"--csv", "-s", "-12345", "data/Pe\xF1\x61 \"north\".fhx"};
  meta.inputFile = "data/Pe\xF1\x61 \"north\".fhx";  // a Latin-1 ñ
  meta.inputSha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  meta.job = "PENA";
  meta.title = "Line one\nback\\slash \xE2\x80\x94 dash";
  meta.method = "R";
  meta.injuries = "I";
  meta.created = "1997-12-07T14:05:09-07:00";
  meta.seed = -12345;
  meta.simulations = 1000;
  meta.firstYear = 1600;
  meta.lastYear = 1990;
  meta.segmentLength = 50;
  meta.segmentLag = 25;
  meta.files = {"PENA.OUT", "PENA.csv", "PENA.svg"};
  meta.site = "Pe\xF1\x61 \"north\"";
  meta.columns = {{"tidy", &tidyCsvColumns()}};
  return meta;
}

std::vector<std::string> keysOf(const nlohmann::ordered_json& object) {
  std::vector<std::string> keys;
  for (const auto& item : object.items()) keys.push_back(item.key());
  return keys;
}

// g++ 12 warns that a moved-into optional criterion's vector "may be used
// uninitialized" in this test alone (a false report of its flow analysis).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// With the adequacy criterion the document gains adequacy and spans, with
// the interface's names; a missing upper limit and trees not reached are
// null.
TEST(RunMetadata, AdequacyAndSpans) {
  RunMetadata meta;
  meta.adequacy.emplace(AdequacyCriterion{10, 97.5, 500, {}});
  meta.frame = "recorders";
  SpanAdequacy span;
  span.firstYear = 1700;
  span.lastYear = 1799;
  span.series = 3;
  span.frameRule = FrameRule::kRecorders;
  span.trees = 2;
  span.chao2.q1 = 3;
  span.chao2.q2 = 0;
  span.chao2.observedYears = 9;
  span.estimate = 10.5;
  span.lower95 = 9.25;
  span.upper95 = 12.0;
  span.cautions = {"few_trees", "singletons_dominate"};
  span.allTrees = {9.0, 4.0};
  span.extrapolation = {9.5, 9.75};
  span.needed[0] = {std::nullopt, 1};
  meta.spans = {span};
  const std::string text = runMetadataJson(meta);
  EXPECT_TRUE(validJson(text)) << text;
  const auto doc = nlohmann::ordered_json::parse(text);
  EXPECT_EQ(doc["adequacy"].dump(),
            R"({"within_percent":10,"share_percent":97.5,"subsamples":500,"frame":"recorders"})");
  ASSERT_EQ(doc["spans"].size(), 1u);
  const auto& s = doc["spans"][0];
  EXPECT_EQ(keysOf(s), (std::vector<std::string>{"first_year", "last_year", "series", "frame",
                                                 "frame_trees", "chao2", "trees_needed",
                                                 "extrapolation"}));
  EXPECT_EQ(s["frame"], "recorders");
  EXPECT_EQ(s["chao2"].dump(),
            R"({"estimate":10.5,"lower_95":9.25,"upper_95":12.0,"capped":false,"complete":false,)"
            R"("q1":3,"q2":0,"observed_years":9,"cautions":["few_trees","singletons_dominate"]})");
  EXPECT_EQ(s["trees_needed"].dump(),
            R"([{"statistic":"fire_frequency","all_trees_value":9.0,"trees_for_share":null,)"
            R"("trees_for_share_reached":false,"trees_for_mean":1,"trees_for_mean_reached":true},)"
            R"({"statistic":"fire_frequency_confirmed","all_trees_value":4.0,"trees_for_share":null,)"
            R"("trees_for_share_reached":false,"trees_for_mean":null,"trees_for_mean_reached":false}])");
  EXPECT_EQ(s["extrapolation"].dump(), R"([{"trees":3,"mean":9.5},{"trees":4,"mean":9.75}])");
  // A frame without trees has no asymptote.
  meta.spans[0].trees = 0;
  const auto empty = nlohmann::ordered_json::parse(runMetadataJson(meta));
  EXPECT_TRUE(empty["spans"][0]["chao2"]["estimate"].is_null());
  // Without the criterion neither key is written.
  meta.adequacy.reset();
  const auto plain = nlohmann::ordered_json::parse(runMetadataJson(meta));
  EXPECT_FALSE(plain.contains("adequacy"));
  EXPECT_FALSE(plain.contains("spans"));
  // An input that could not be summed as it was read has no sum.
  meta.inputSha256 = std::string(64, 'a');
  EXPECT_EQ(nlohmann::ordered_json::parse(runMetadataJson(meta))["input_sha256"], meta.inputSha256);
  meta.inputSha256.clear();
  EXPECT_TRUE(nlohmann::ordered_json::parse(runMetadataJson(meta))["input_sha256"].is_null());
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// The whole document: every key in order, with its value, valid JSON with
// a two-space indent and a final line end.
TEST(RunMetadata, DocumentHasEveryKeyInOrderAndIsValidJson) {
  const std::string text = runMetadataJson(sampleMetadata());
  EXPECT_TRUE(validJson(text)) << text;
  ASSERT_EQ(text.back(), '\n');
  EXPECT_EQ(text.rfind("{\n  \"program\": \"rova\",\n  \"version\": \"1.15\",\n", 0), 0u) << text;
  const auto doc = nlohmann::ordered_json::parse(text);
  EXPECT_EQ(keysOf(doc),
            (std::vector<std::string>{"program", "version", "site", "command_line", "command_line_bytes",
                                      "input_file", "input_file_bytes", "input_sha256", "job", "title",
                                      "seed", "seed_effective", "simulations", "method", "injuries",
                                      "first_year", "last_year", "segment_length", "segment_lag",
                                      "created", "files", "columns"}));
  EXPECT_EQ(doc["command_line"][2], "-12345");
  EXPECT_TRUE(doc["command_line"][3].is_null());
  EXPECT_EQ(doc["command_line_bytes"][3], "data/Pe%F1a%20%22north%22.fhx");
  EXPECT_TRUE(doc["command_line_bytes"][0].is_null());
  EXPECT_TRUE(doc["input_file"].is_null());
  EXPECT_EQ(doc["input_file_bytes"], "data/Pe%F1a%20%22north%22.fhx");
  EXPECT_EQ(doc["title"], "Line one\nback\\slash \xE2\x80\x94 dash");
  EXPECT_NE(text.find("\"title\": \"Line one\\nback\\\\slash \xE2\x80\x94 dash\""), std::string::npos);
  EXPECT_EQ(doc["seed"], -12345);
  EXPECT_EQ(doc["seed_effective"], 53191);  // the low 16 bits of -12345
  EXPECT_EQ(doc["method"], (nlohmann::ordered_json{{"code", "R"}, {"name", "with replacement"}}));
  EXPECT_EQ(doc["injuries"]["name"], "injuries of all types");
  EXPECT_EQ(doc["created"], "1997-12-07T14:05:09-07:00");
  EXPECT_EQ(doc["files"], (nlohmann::ordered_json{"PENA.OUT", "PENA.csv", "PENA.svg"}));
  EXPECT_EQ(doc["site"], "Pe\xC3\xB1\x61 \"north\"");  // the Latin-1 byte read as such
  // The column dictionary holds every column of each table, in its order.
  std::vector<std::string> columns;
  for (const TidyColumn& column : tidyCsvColumns()) columns.push_back(column.name);
  EXPECT_EQ(keysOf(doc["columns"]), (std::vector<std::string>{"tidy"}));
  EXPECT_EQ(keysOf(doc["columns"]["tidy"]), columns);
  EXPECT_EQ(doc["columns"]["tidy"]["mean"]["unit"], "fire events per century");
  EXPECT_NE(doc["columns"]["tidy"]["observed"]["meaning"].get<std::string>().find("TRUE"),
            std::string::npos);
  EXPECT_NE(doc["columns"]["tidy"]["lower_95"]["meaning"].get<std::string>().find(
                "not a confidence interval"),
            std::string::npos);
  EXPECT_FALSE(doc.contains("files_sha256"));
}

TEST(RunMetadata, DefaultCodesUnknownCodesAndNoFiles) {
  RunMetadata meta = sampleMetadata();
  meta.method = "D";
  meta.injuries = "F";
  meta.files.clear();
  auto doc = nlohmann::ordered_json::parse(runMetadataJson(meta));
  EXPECT_EQ(doc["method"]["name"], "without replacement");
  EXPECT_EQ(doc["injuries"]["name"], "fire scars only");
  EXPECT_TRUE(doc["files"].empty());
  EXPECT_FALSE(doc.contains("files_bytes"));

  meta.method = "\"";
  meta.injuries = "";
  const std::string text = runMetadataJson(meta);
  EXPECT_TRUE(validJson(text)) << text;
  doc = nlohmann::ordered_json::parse(text);
  EXPECT_EQ(doc["method"], (nlohmann::ordered_json{{"code", "\""}, {"name", "unknown"}}));
  EXPECT_EQ(doc["injuries"]["name"], "unknown");
}

// A valid UTF-8 name is a string with no extra key; a name that is not
// UTF-8 is null and its bytes follow, so no other name is written.
TEST(RunMetadata, FileNamesAreTextOnlyWhenTheyAreUtf8) {
  RunMetadata meta = sampleMetadata();
  meta.commandLine = {"x"};
  meta.inputFile = "data/R\xC3\xADo \"n\"\x01.fhx";  // Río, a quote, a control character
  std::string text = runMetadataJson(meta);
  EXPECT_TRUE(validJson(text)) << text;
  auto doc = nlohmann::ordered_json::parse(text);
  EXPECT_EQ(doc["input_file"], meta.inputFile);
  EXPECT_EQ(text.find("_bytes"), std::string::npos);

  // Latin-1 é and a UTF-8 é are two names: neither may read as the other.
  meta.inputFile = "out/caf\xE9.fhx";
  meta.files = {"out/caf\xE9/A.OUT", "B.OUT", "out/\xC3\xA9/C.OUT"};
  text = runMetadataJson(meta);
  EXPECT_TRUE(validJson(text)) << text;
  doc = nlohmann::ordered_json::parse(text);
  EXPECT_TRUE(doc["input_file"].is_null());
  EXPECT_EQ(doc["input_file_bytes"], "out/caf%E9.fhx");
  EXPECT_EQ(doc["files"], (nlohmann::ordered_json{nullptr, "B.OUT", "out/\xC3\xA9/C.OUT"}));
  EXPECT_EQ(doc["files_bytes"], (nlohmann::ordered_json{"out/caf%E9/A.OUT", nullptr, nullptr}));
  EXPECT_EQ(text.find("\xC3\xA9.fhx"), std::string::npos);
}

// Every control character of a title is escaped, and reads back as itself.
TEST(RunMetadata, EveryControlCharacterIsEscaped) {
  std::string controls;
  for (int c = 0; c < 0x20; ++c) controls += static_cast<char>(c);
  RunMetadata meta = sampleMetadata();
  meta.title = controls + "\x7f";
  const std::string text = runMetadataJson(meta);
  EXPECT_TRUE(validJson(text));
  const std::size_t from = text.find("\"title\"");
  const std::string titleLine = text.substr(from, text.find('\n', from) - from);
  for (char c : titleLine) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << titleLine;
  EXPECT_NE(titleLine.find("\\u0001"), std::string::npos) << titleLine;
  EXPECT_EQ(nlohmann::ordered_json::parse(text)["title"], meta.title);
}

TEST(CsvField, PlainTextsStandAsTheyAreOthersAreQuoted) {
  EXPECT_EQ(csvField("ALDER"), "ALDER");
  EXPECT_EQ(csvField("Caf\xC3\xA9 Creek"), "Caf\xC3\xA9 Creek");
  EXPECT_EQ(csvField(""), "");
  EXPECT_EQ(csvField("a,b"), "\"a,b\"");
  EXPECT_EQ(csvField("say \"x\""), "\"say \"\"x\"\"\"");
  EXPECT_EQ(csvField("two\nlines"), "\"two\nlines\"");
  // Signs and at-signs inside a name are no formula.
  EXPECT_EQ(csvField("a=b-c+d@e"), "a=b-c+d@e");
}

// What a spreadsheet would run as a formula gets a quote before it.
TEST(CsvField, NamesThatBeginAFormulaAreDefused) {
  EXPECT_EQ(csvField("=HYPERLINK(\"http://x\",\"y\")"), "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"");
  EXPECT_EQ(csvField("+1"), "\"'+1\"");
  EXPECT_EQ(csvField("-2+3"), "\"'-2+3\"");
  EXPECT_EQ(csvField("@SUM(A1)"), "\"'@SUM(A1)\"");
  EXPECT_EQ(csvField("\tx"), "\"'\tx\"");
  EXPECT_EQ(csvField("\rx"), "\"'\rx\"");
}

// A name that is not UTF-8 is written as the JSON gives its bytes: the
// table stays valid UTF-8 and the name can be found again.
TEST(CsvField, NamesThatAreNotUtf8ArePercentEncoded) {
  const std::string latin1 = "Caf\xE9 site";
  EXPECT_EQ(csvField(latin1), "Caf%E9%20site");
  EXPECT_TRUE(isValidUtf8(csvField(latin1)));
  EXPECT_EQ(csvField(std::string("-\xFF")), "\"'-%FF\"");
}

}  // namespace
}  // namespace rova
