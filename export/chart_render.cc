#include "export/chart_render.h"

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

ChartDrawEntry drawEntry(std::string& error) {
  return reinterpret_cast<ChartDrawEntry>(programModuleSymbol(
      kChartModule, "rova_chart_build", ROVA_CHART_BUILD, "rova_chart_draw", error));
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
