// The program's main flow: start-up, the data, the title and the option
// menu, the report head and spreadsheet files, the analysis passes over
// the whole span or its segments, and the end of the run.
#pragma once

#include "platform/platform.h"

namespace rova {

// Runs the whole dialogue and analysis; returns the exit status: 0 after
// a complete run or a "/" answer, non-zero when the run could not be
// completed (end of keyboard input, unusable data, an output file that
// could not be written).
int runRova(Platform& platform);

}  // namespace rova
