#include "export/tidy_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <system_error>

#include "format/utf8.h"

namespace rova {
namespace {

std::string integer(long long value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string unicodeEscape(unsigned char c) {
  static const char kHex[] = "0123456789abcdef";
  return std::string("\\u00") + kHex[c >> 4] + kHex[c & 0xf];
}

std::string codeObject(const std::string& code, const char* name) {
  return "{\"code\": " + jsonString(code) + ", \"name\": " + jsonString(name) + "}";
}

const char* methodName(const std::string& code) {
  if (code == "D") return "without replacement";
  if (code == "R") return "with replacement";
  return "unknown";
}

// A file name as a JSON string, or null when it is not valid UTF-8.
std::string nameOrNull(const std::string& name) {
  return isValidUtf8(name) ? jsonString(name) : "null";
}

// The percent-encoded bytes of a name that is not valid UTF-8, else null.
std::string bytesOrNull(const std::string& name) {
  return isValidUtf8(name) ? "null" : jsonString(percentEncoded(name));
}

std::string list(const std::vector<std::string>& names, std::string (*item)(const std::string&)) {
  if (names.empty()) return "[]";
  std::string out = "[\n";
  for (std::size_t i = 0; i < names.size(); ++i)
    out += "    " + item(names[i]) + (i + 1 < names.size() ? ",\n" : "\n");
  return out + "  ]";
}

const char* injuryName(const std::string& code) {
  if (code == "F") return "fire scars only";
  if (code == "I") return "injuries of all types";
  return "unknown";
}

}  // namespace

std::string tidyCsvNumber(float value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string tidyCsvHeader() {
  return "span_first_year,span_last_year,years,trees,threshold,observed,simulations,"
         "mean,sd,lower_95,upper_95,lower_99,upper_99,lower_99_9,upper_99_9,"
         "p2_5,p97_5,p0_5,p99_5\n";
}

std::string tidyCsvRow(const ResultRow& row) {
  std::string line;
  line += integer(row.firstYear) + ',';
  line += integer(row.lastYear) + ',';
  line += integer(static_cast<long long>(row.lastYear) - row.firstYear + 1) + ',';
  line += integer(row.sampleSize) + ',';
  line += integer(row.threshold) + ',';
  line += row.observed ? "true," : "false,";
  line += integer(row.simulations) + ',';
  line += tidyCsvNumber(row.mean) + ',';
  line += tidyCsvNumber(row.sd);
  for (float limit : row.limits) line += ',' + tidyCsvNumber(limit);
  for (float percentile : row.percentiles) line += ',' + tidyCsvNumber(percentile);
  line += '\n';
  return line;
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      out += unicodeEscape(c);
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else if (std::size_t length = utf8SequenceLength(text, i)) {
      out.append(text, i, length);
      i += length;
    } else {
      out += unicodeEscape(c);  // the Latin-1 reading of a stray byte
      ++i;
    }
  }
  out += '"';
  return out;
}

std::string runMetadataJson(const RunMetadata& meta) {
  std::string out = "{\n";
  auto field = [&](const char* key, const std::string& valueText, bool last = false) {
    out += "  \"";
    out += key;
    out += "\": " + valueText + (last ? "\n" : ",\n");
  };
  field("program", jsonString("rova"));
  field("version", jsonString(meta.programVersion));
  field("input_file", nameOrNull(meta.inputFile));
  if (!isValidUtf8(meta.inputFile)) field("input_file_bytes", bytesOrNull(meta.inputFile));
  field("input_sha256", jsonString(meta.inputSha256));
  field("job", jsonString(meta.job));
  field("title", jsonString(meta.title));
  field("seed", integer(meta.seed));
  field("simulations", integer(meta.simulations));
  field("method", codeObject(meta.method, methodName(meta.method)));
  field("injuries", codeObject(meta.injuries, injuryName(meta.injuries)));
  field("first_year", integer(meta.firstYear));
  field("last_year", integer(meta.lastYear));
  field("segment_length", integer(meta.segmentLength));
  field("segment_lag", integer(meta.segmentLag));
  field("created", jsonString(meta.created));
  const bool namesAreText = std::all_of(meta.files.begin(), meta.files.end(), isValidUtf8);
  field("files", list(meta.files, nameOrNull), namesAreText);
  if (!namesAreText) field("files_bytes", list(meta.files, bytesOrNull), true);
  out += "}\n";
  return out;
}

}  // namespace rova
