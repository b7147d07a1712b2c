// The numbered option menu: shown with the current values until the user
// answers with an empty line; each option asks its questions and applies
// its rules.
#pragma once

#include "driver/run_options.h"

namespace rova {

void runOptionMenu(RunContext& run);

// One option 1..6, as chosen in the menu.
void runOption(RunContext& run, int choice);

}  // namespace rova
