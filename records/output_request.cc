#include "records/output_request.h"

namespace rova {

std::vector<CompositeFilter> compositeFilters(const OutputRequest& request) {
  if (request.composites.empty()) return {CompositeFilter{25, 2, 1}, CompositeFilter{0, 1, 1}};
  std::vector<CompositeFilter> filters;
  for (const CompositeFilter& f : request.composites) {
    bool seen = false;
    for (const CompositeFilter& g : filters)
      seen = seen || (g.percent == f.percent && g.minRecorders == f.minRecorders &&
                      g.minScarred == f.minScarred);
    if (!seen) filters.push_back(f);
  }
  return filters;
}

std::vector<CompositeFilter> intervalFilters(const OutputRequest& request) {
  return request.intervals ? compositeFilters(request) : std::vector<CompositeFilter>{};
}

std::optional<std::vector<ChartFormat>> parseChartFormats(const std::string& list) {
  const ChartFormat known[] = {ChartFormat::kSvg, ChartFormat::kPdf, ChartFormat::kPng};
  bool wanted[3] = {false, false, false};
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    for (char& c : item) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    bool found = false;
    for (int k = 0; k < 3; ++k) {
      if (item == chartFormatName(known[k])) wanted[k] = found = true;
    }
    if (!found) return std::nullopt;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::vector<ChartFormat> formats;
  for (int k = 0; k < 3; ++k)
    if (wanted[k]) formats.push_back(known[k]);
  return formats;
}

const char* chartFormatName(ChartFormat format) {
  switch (format) {
    case ChartFormat::kPdf:
      return "pdf";
    case ChartFormat::kPng:
      return "png";
    default:
      return "svg";
  }
}

}  // namespace rova
