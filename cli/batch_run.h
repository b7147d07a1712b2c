// Batch runs: the analysis of each FILE of the command line with the
// options given there, asking nothing. The files written are those of the
// dialogue answered with the same values; they appear under their final
// names only once complete.
#pragma once

#include "cli/command_line.h"
#include "platform/platform.h"

namespace rova {

struct BatchStreams {
  TextStream& out;  // the names of the files written
  TextStream& err;  // messages, and progress when it is a terminal
};

// Runs every FILE in turn; returns 0 when all succeeded, 1 when any failed.
int runBatch(const BatchOptions& options, FileSystem& files, Clock& clock,
             CommandInterpreter& commands, const ConfigLocations& locations,
             const BatchStreams& streams);

// The job identifier a file's name gives: its name up to the first ".",
// upper-cased, characters other than letters, digits and "-" as "_", at
// most 5 characters; "" when nothing is left.
std::string jobFromFileName(const std::string& path);

// The base of the output names that --full-names gives: the file's name
// without its folder and its last extension, by the same rules as a job
// identifier but of any length.
std::string fileBaseFromFileName(const std::string& path);

}  // namespace rova
