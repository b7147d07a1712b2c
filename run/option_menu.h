// The numbered option menu: shown with the current values until the user
// answers with an empty line; each option asks its questions and applies
// its rules.
#pragma once

#include "run/run_context.h"

namespace rova {

void runOptionMenu(RunContext& run);

// One option 1..6, as chosen in the menu.
void runOption(RunContext& run, int choice);

// Years of the processing span outside the year table are set to its
// nearest limit, and a reversed span is turned round, each with a message.
void keepSpanInTable(RunContext& run);

}  // namespace rova
