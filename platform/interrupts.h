// Ctrl-C (SIGINT) and SIGTERM end the program at once, from any place: the
// terminal gets its plain colours back, one line says that the run was
// interrupted, unfinished output files of a batch run are removed, and the
// exit status is 128 plus the signal number.
//
// The handler does only what is safe inside a signal handler: it writes
// prepared bytes and unlinks prepared names.
#pragma once

#include <string>

namespace rova {

void installInterruptHandlers();

// The sequence that restores the screen's plain colours ("" for none).
void setInterruptRestoreSequence(const std::string& sequence);

// Names of files to remove when interrupted; a registered name stays until
// it is forgotten (at most 16 names are kept).
void registerInterruptCleanup(const std::string& name);
void forgetInterruptCleanup(const std::string& name);

}  // namespace rova
