// The numbered option menu: shown with the current values until the user
// answers with an empty line; each option asks its questions and applies
// the option rules, showing the changes the menu has words for.
#pragma once

#include "records/option_rules.h"
#include "run/run_context.h"

namespace rova {

void runOptionMenu(RunContext& run);

// One option 1..6, as chosen in the menu.
void runOption(RunContext& run, int choice);

// The line that says what a rule changed, as the menu and the batch run
// show it: a year set into the table, a span turned round, simulations cut
// to the maximum; "" for the other changes.
std::string changeMessage(const OptionChange& change);

}  // namespace rova
