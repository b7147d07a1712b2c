// The program's one dispatcher: without arguments the dialogue, with them
// batch mode, or the help, the version or a usage error.
#pragma once

#include <string>
#include <vector>

#include "cli/batch_run.h"
#include "platform/platform.h"

namespace rova {

// Runs the program on its arguments (without the program's name) and
// returns its exit status: the dialogue's or batch mode's, 0 for the help
// and the version, 2 for a command line that cannot be used.
int runProgram(const std::vector<std::string>& arguments, Platform& platform,
               const BatchStreams& streams);

}  // namespace rova
