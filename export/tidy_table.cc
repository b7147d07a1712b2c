#include "export/tidy_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <mutex>
#include <set>
#include <system_error>

#include <nlohmann/json.hpp>

#include "format/utf8.h"
#include "records/option_letters.h"

namespace rova {
namespace {

std::string integer(long long value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// The words of a one-letter code, "unknown" for a letter that is no choice.
const char* methodName(const std::string& code) {
  if (code != "D" && code != "R") return "unknown";
  return wordsOf(selectionMethodFrom(code[0]));
}

const char* injuryName(const std::string& code) {
  if (code != "F" && code != "I") return "unknown";
  return wordsOf(injuryModeFrom(code[0]));
}

// The shortest decimal text that reads back to the same value; NaN, Inf
// and -Inf for values that are not finite.
template <typename Real>
std::string shortestText(Real value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
  char buffer[40];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

std::string tidyCsvNumber(float value) { return shortestText(value); }

std::string csvField(const std::string& text) {
  std::string field = isValidUtf8(text) ? text : percentEncoded(text);
  const bool formula = !field.empty() && std::string("=+-@\t\r").find(field[0]) != std::string::npos;
  if (formula) field.insert(0, "'");
  if (!formula && field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string tidyCsvDouble(double value) { return shortestText(value); }

const std::vector<TidyColumn>& tidyCsvColumns() {
  static const char* const kRate = "fire events per century";
  static const std::vector<TidyColumn> columns = {
      {"site", "the input file's name without folder and extension", ""},
      {"span_first_year", "first year of the span analysed (whole span or segment)", "year"},
      {"span_last_year", "last year of the span analysed", "year"},
      {"years", "length of the span, last minus first year plus one", "years"},
      {"trees", "trees in the sample", "trees"},
      {"threshold", "fire years counted: 1, found by the sample (a sampled tree has an "
                    "event); 2, found by the sample, confirmed by >= 2 trees of the site "
                    "(every series of the file)", ""},
      {"observed", "TRUE for the value of all trees (method D, no simulation), FALSE for "
                   "simulated samples", ""},
      {"simulations", "simulations behind the row; NA for the observed value", "simulations"},
      {"mean", "mean fire frequency of the simulations, or the observed value (single "
               "precision)", kRate},
      {"sd", "standard deviation of the simulations, divisor simulations - 1 (single "
             "precision); NA for the observed value", kRate},
      {"lower_95", "mean - 1.960 SD of single samples (not a confidence interval)", kRate},
      {"upper_95", "mean + 1.960 SD of single samples (not a confidence interval)", kRate},
      {"lower_99", "mean - 2.575 SD of single samples (not a confidence interval)", kRate},
      {"upper_99", "mean + 2.575 SD of single samples (not a confidence interval)", kRate},
      {"lower_99_9", "mean - 3.294 SD of single samples (not a confidence interval)", kRate},
      {"upper_99_9", "mean + 3.294 SD of single samples (not a confidence interval)", kRate},
      {"p2_5", "2.5 percentile of the ranked simulations (lower 95 % percentile limit)", kRate},
      {"p97_5", "97.5 percentile of the ranked simulations (upper 95 % percentile limit)", kRate},
      {"p0_5", "0.5 percentile of the ranked simulations (lower 99 % percentile limit)", kRate},
      {"p99_5", "99.5 percentile of the ranked simulations (upper 99 % percentile limit)", kRate},
      {"exact_mean", "exact expected fire frequency of a random sample of this many trees "
                     "drawn from every series of the file, as the simulations draw them (no "
                     "simulation noise; double precision)", kRate},
      {"exact_sd", "exact standard deviation of that frequency between samples; 0 for the "
                   "observed value", kRate},
      {"mean_double", "the mean of the same simulations in double precision", kRate},
      {"sd_double", "the standard deviation of the same simulations in double precision "
                    "(0 exactly when every simulation has the same value); NA for the "
                    "observed value", kRate},
      {"method", "D: samples drawn without replacement; R: with replacement", ""},
      {"injuries_counted", "TRUE when injuries of all types count as fire events, FALSE for "
                           "fire scars only", ""},
      {"seed", "the run's random seed", ""},
  };
  return columns;
}

const char* lastingText(const std::string& text) {
  // A set never moves its elements; the lock serves the threads of a run.
  static std::set<std::string> texts;
  static std::mutex lock;
  const std::lock_guard<std::mutex> held(lock);
  return texts.insert(text).first->c_str();
}

std::string csvHeader(const std::vector<TidyColumn>& columns) {
  std::string header;
  for (const TidyColumn& column : columns) header += (header.empty() ? "" : ",") + std::string(column.name);
  return header + "\n";
}

std::string tidyCsvHeader() { return csvHeader(tidyCsvColumns()); }

namespace {

constexpr const char* kNotApplicable = "NA";

// The columns before the values: site, span, years, trees, threshold.
std::string rowStart(const std::string& site, int firstYear, int lastYear, int trees,
                     int threshold) {
  return csvField(site) + ',' + integer(firstYear) + ',' + integer(lastYear) + ',' +
         integer(static_cast<long long>(lastYear) - firstYear + 1) + ',' + integer(trees) + ',' +
         integer(threshold) + ',';
}

// The run's columns that end every row.
std::string runFacts(const TidyRunFacts& facts) {
  return ',' + facts.method + ',' + (facts.injuriesCounted ? "TRUE" : "FALSE") + ',' +
         integer(facts.seed);
}

// The row of a threshold that the sample size has no result for.
std::string missingRow(const std::string& site, const SampleSizeResult& result, int threshold,
                       const TidyRunFacts& facts) {
  std::string line = rowStart(site, result.firstYear, result.lastYear, result.sampleSize, threshold);
  line += result.observed ? "TRUE," : "FALSE,";
  line += result.observed ? kNotApplicable : integer(std::max(result.simulations, 0));
  for (int i = 0; i < 16; ++i) line += std::string(",") + kNotApplicable;
  return line + runFacts(facts) + '\n';
}

}  // namespace

std::string tidyCsvRow(const std::string& site, const ResultRow& row, const TidyRunFacts& facts,
                       const ExpectedValue* exact) {
  std::string line = rowStart(site, row.firstYear, row.lastYear, row.sampleSize, row.threshold);
  line += row.observed ? "TRUE," : "FALSE,";
  // One value of all trees has no spread: what describes a spread is NA.
  auto spread = [&row](float value) { return row.observed ? kNotApplicable : tidyCsvNumber(value); };
  line += row.observed ? kNotApplicable : integer(row.simulations);
  line += ',' + tidyCsvNumber(row.mean) + ',' + spread(row.sd);
  for (float limit : row.limits) line += ',' + spread(limit);
  for (float percentile : row.percentiles) line += ',' + spread(percentile);
  line += ',' + (exact ? tidyCsvDouble(exact->mean) : kNotApplicable);
  line += ',' + (exact ? tidyCsvDouble(exact->sd) : kNotApplicable);
  line += ',' + tidyCsvDouble(row.meanDouble);
  line += ',' + (row.observed ? std::string(kNotApplicable) : tidyCsvDouble(row.sdDouble));
  return line + runFacts(facts) + '\n';
}

std::string tidyCsvRows(const std::string& site, const SampleSizeResult& result,
                        const TidyRunFacts& facts, const SpanAdequacy* adequacy) {
  std::string lines;
  for (int threshold = 1; threshold <= 2; ++threshold) {
    const auto row = std::find_if(result.rows.begin(), result.rows.end(),
                                  [threshold](const ResultRow& r) { return r.threshold == threshold; });
    const ExpectedValue* exact = nullptr;
    if (adequacy && threshold <= 2 && result.sampleSize >= 1 &&
        result.sampleSize <= static_cast<int>(adequacy->exactOfAllSeries[threshold - 1].size()))
      exact = &adequacy->exactOfAllSeries[threshold - 1][result.sampleSize - 1];
    lines += row != result.rows.end() ? tidyCsvRow(site, *row, facts, exact)
                                      : missingRow(site, result, threshold, facts);
  }
  return lines;
}

std::string siteOf(const std::string& inputFile) {
  std::string name = inputFile.substr(inputFile.find_last_of('/') + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::string latin1Repaired(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else if (std::size_t length = utf8SequenceLength(text, i)) {
      out.append(text, i, length);
      i += length;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));  // the Latin-1 reading of a stray byte
      out += static_cast<char>(0x80 | (c & 0x3F));
      ++i;
    }
  }
  return out;
}

namespace {

using Json = nlohmann::ordered_json;

// A name as a JSON string, or null when it is not valid UTF-8.
Json nameOrNull(const std::string& name) { return isValidUtf8(name) ? Json(name) : Json(nullptr); }

// The percent-encoded bytes of a name that is not valid UTF-8, else null.
Json bytesOrNull(const std::string& name) {
  return isValidUtf8(name) ? Json(nullptr) : Json(percentEncoded(name));
}

// A list of names under `key`, and under key_bytes the bytes of those that
// are not text, when there are any.
void addNames(Json& document, const std::string& key, const std::vector<std::string>& names) {
  Json list = Json::array();
  Json bytes = Json::array();
  for (const std::string& name : names) {
    list.push_back(nameOrNull(name));
    bytes.push_back(bytesOrNull(name));
  }
  document[key] = list;
  if (!std::all_of(names.begin(), names.end(), isValidUtf8)) document[key + "_bytes"] = bytes;
}

Json codeObject(const std::string& code, const char* name) {
  return Json{{"code", latin1Repaired(code)}, {"name", name}};
}

// A percentage as given: whole numbers without a decimal point.
Json percentValue(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e15) return Json(static_cast<long long>(value));
  return Json(value);
}

Json optionalNumber(const std::optional<double>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json neededObject(const std::optional<int>& size) {
  return size ? Json(*size) : Json(nullptr);
}

Json spanObject(const SpanAdequacy& span) {
  Json chao = Json::object();
  const bool any = span.trees >= 1;
  chao["estimate"] = any ? Json(span.estimate) : Json(nullptr);
  chao["lower_95"] = any ? Json(span.lower95) : Json(nullptr);
  chao["upper_95"] = optionalNumber(span.upper95);
  chao["capped"] = span.capped;
  chao["complete"] = span.chao2.complete;
  chao["q1"] = span.chao2.q1;
  chao["q2"] = span.chao2.q2;
  chao["observed_years"] = span.chao2.observedYears;
  Json cautions = Json::array();
  for (const std::string& caution : span.cautions) cautions.push_back(caution);
  chao["cautions"] = cautions;
  Json needed = Json::array();
  for (int t = 0; t < kAdequacyStatistics; ++t) {
    Json entry = Json::object();
    entry["statistic"] = statisticName(static_cast<AdequacyStatistic>(t));
    entry["all_trees_value"] = span.allTrees[t];
    entry["trees_for_share"] = neededObject(span.needed[t].forShare);
    entry["trees_for_share_reached"] = span.needed[t].forShare.has_value();
    entry["trees_for_mean"] = neededObject(span.needed[t].forMean);
    entry["trees_for_mean_reached"] = span.needed[t].forMean.has_value();
    needed.push_back(entry);
  }
  // The composite and interval statistics: trees for the mean only where
  // the exact mean is known (composite_frequency without replacement).
  for (const FilterAdequacy& f : span.composites) {
    for (int k = 0; k < kIntervalStatistics; ++k) {
      const StatisticAdequacy& statistic = f.statistics[k];
      Json entry = Json::object();
      entry["statistic"] = statisticName(static_cast<IntervalStatistic>(k));
      entry["filter"] = compositeText(f.filter);
      entry["all_trees_value"] = optionalNumber(statistic.allTrees);
      entry["trees_for_share"] = neededObject(statistic.needed.forShare);
      entry["trees_for_share_reached"] = statistic.needed.forShare.has_value();
      entry["trees_for_mean"] = neededObject(statistic.needed.forMean);
      entry["trees_for_mean_reached"] = statistic.exactMeans ? Json(statistic.needed.forMean.has_value()) : Json(nullptr);
      needed.push_back(entry);
    }
  }
  Json ahead = Json::array();
  for (std::size_t i = 0; i < span.extrapolation.size(); ++i) {
    Json entry = Json::object();
    entry["trees"] = span.trees + 1 + static_cast<int>(i);
    entry["mean"] = span.extrapolation[i];
    ahead.push_back(entry);
  }
  Json object = Json::object();
  object["first_year"] = span.firstYear;
  object["last_year"] = span.lastYear;
  object["series"] = span.series;
  object["frame"] = frameRuleName(span.frameRule);
  object["frame_trees"] = span.trees;
  object["chao2"] = chao;
  object["trees_needed"] = needed;
  object["extrapolation"] = ahead;
  return object;
}

Json columnList(const std::vector<TidyColumn>& list) {
  Json columns = Json::object();
  for (const TidyColumn& column : list) {
    columns[column.name] = Json{{"meaning", column.meaning}, {"unit", column.unit}};
  }
  return columns;
}

}  // namespace

std::string runMetadataJson(const RunMetadata& meta) {
  Json document = Json::object();
  document["program"] = "rova";
  document["version"] = latin1Repaired(meta.programVersion);
  document["site"] = latin1Repaired(meta.site);
  addNames(document, "command_line", meta.commandLine);
  document["input_file"] = nameOrNull(meta.inputFile);
  if (!isValidUtf8(meta.inputFile)) document["input_file_bytes"] = bytesOrNull(meta.inputFile);
  // No sum when the bytes analysed could not be summed (a file changed
  // while the dialogue read it).
  if (meta.inputSha256.empty())
    document["input_sha256"] = nullptr;
  else
    document["input_sha256"] = meta.inputSha256;
  document["job"] = latin1Repaired(meta.job);
  document["title"] = latin1Repaired(meta.title);
  document["seed"] = meta.seed;
  document["seed_effective"] = meta.seed & 65535;
  document["simulations"] = meta.simulations;
  document["method"] = codeObject(meta.method, methodName(meta.method));
  document["injuries"] = codeObject(meta.injuries, injuryName(meta.injuries));
  document["first_year"] = meta.firstYear;
  document["last_year"] = meta.lastYear;
  document["segment_length"] = meta.segmentLength;
  document["segment_lag"] = meta.segmentLag;
  document["created"] = latin1Repaired(meta.created);
  addNames(document, "files", meta.files);
  if (!meta.filesSha256.empty()) {
    Json sums = Json::array();
    for (const std::string& sum : meta.filesSha256)
      sums.push_back(sum.empty() ? Json(nullptr) : Json(sum));
    document["files_sha256"] = sums;
  }
  if (!meta.composites.empty()) {
    document["composites"] = meta.composites;
    document["recording_rule"] = meta.recordingRule;
  }
  Json columns = Json::object();
  for (const auto& [table, list] : meta.columns) columns[table] = columnList(*list);
  document["columns"] = columns;
  if (meta.adequacy) {
    Json adequacy = Json::object();
    adequacy["within_percent"] = percentValue(meta.adequacy->withinPercent);
    adequacy["share_percent"] = percentValue(meta.adequacy->sharePercent);
    adequacy["subsamples"] = meta.adequacy->subsamples;
    adequacy["frame"] = meta.frame;
    document["adequacy"] = adequacy;
    Json spans = Json::array();
    for (const SpanAdequacy& span : meta.spans) spans.push_back(spanObject(span));
    document["spans"] = spans;
  }
  return document.dump(2) + "\n";
}

}  // namespace rova
