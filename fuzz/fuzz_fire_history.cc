// The fire-history readers through the driver's entry: FIRE2/FHX2 first,
// Fire Events when the text has no format line. Whatever the bytes, the
// run either stops with a non-zero status and a message, or leaves a data
// set that the analysis can index without leaving its tables.
#include <cstddef>
#include <cstdint>
#include <string>

#include "run/run_context.h"
#include "run/run_steps.h"
#include "fuzz/fuzz_support.h"

using namespace rova;

namespace {

void checkDataSet(const FireHistory& d) {
  ROVA_FUZZ_CHECK(d.seriesCount >= 0 && d.seriesCount <= kMaxSeries);
  const bool anyYear = d.firstYear <= d.lastYear;
  if (anyYear) ROVA_FUZZ_CHECK(yearInTable(d.firstYear) && yearInTable(d.lastYear));
  if (d.formatKind == FormatKind::kFire2) ROVA_FUZZ_CHECK(anyYear && d.seriesCount >= 1);
  for (int s = 1; s <= d.seriesCount; ++s) {
    const int first = d.seriesFirstYear[s];
    const int last = d.seriesLastYear[s];
    const bool noRecord = first == kLastYearSlot && last == kFirstYearSlot;
    ROVA_FUZZ_CHECK(noRecord || (d.firstYear <= first && first <= last && last <= d.lastYear));
    ROVA_FUZZ_CHECK(d.seriesIds[s].size() == static_cast<std::size_t>(kSeriesIdLength));
  }
  // The slot after the last tree must stay empty: selections may name it.
  const int after = d.seriesCount + 1;
  ROVA_FUZZ_CHECK(d.seriesFirstYear[after] == kLastYearSlot &&
                  d.seriesLastYear[after] == kFirstYearSlot);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string contents(reinterpret_cast<const char*>(bytes), size);
  InputText text = textOf(contents);
  fuzzing::FakePlatform fake;
  RunContext run(fake.platform);
  bool stopped = false;
  try {
    readFireHistory(run, text);
  } catch (const ProgramStop& stop) {
    // A reader stops only for a fault of the file, and says what it is.
    ROVA_FUZZ_CHECK(stop.status != 0);
    ROVA_FUZZ_CHECK(!stop.message.empty());
    ROVA_FUZZ_CHECK(fuzzing::isScreenSafe(stop.message, false));
    stopped = true;
  }
  // Colours are off: nothing from the file may reach the screen raw.
  for (const std::string& record : fake.terminal.records)
    ROVA_FUZZ_CHECK(fuzzing::isScreenSafe(record, false));
  if (stopped) return 0;
  checkDataSet(*run.data);
  ROVA_FUZZ_CHECK(run.options.processFirstYear == run.data->firstYear);
  ROVA_FUZZ_CHECK(run.options.processLastYear == run.data->lastYear);
  return 0;
}
