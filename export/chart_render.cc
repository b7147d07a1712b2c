#include "export/chart_render.h"

#include <atomic>

#include "platform/program_module.h"

namespace rova {

const char* chartExtension(ChartFormat format) {
  switch (format) {
    case ChartFormat::kSvg:
      return ".svg";
    case ChartFormat::kPdf:
      return ".pdf";
    case ChartFormat::kPng:
      return ".png";
  }
  return "";
}

namespace {

// The module is looked for and checked once; a failure is looked into
// again at the next call.
ChartDrawEntry drawEntry(std::string& error) {
  static std::atomic<ChartDrawEntry> loaded{nullptr};
  ChartDrawEntry entry = loaded.load();
  if (entry == nullptr) {
    entry = reinterpret_cast<ChartDrawEntry>(programModuleSymbol(
        kChartModule, "rova_chart_build", ROVA_CHART_BUILD, "rova_chart_draw", error));
    loaded.store(entry);
  }
  return entry;
}

}  // namespace

bool chartDrawingAvailable(std::string& error) { return drawEntry(error) != nullptr; }

ChartOutput renderChart(const ChartInfo& info, const std::vector<ChartSpan>& spans,
                        ChartFormat format) {
  ChartOutput out;
  if (ChartDrawEntry draw = drawEntry(out.error)) draw(info, spans, format, out);
  return out;
}

}  // namespace rova
