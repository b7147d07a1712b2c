// ROVA: the effect of sample size on estimates of fire frequency.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "driver/run_driver.h"
#include "platform/posix_platform.h"

int main() {
  rova::StreamTerminal terminal(stdin, stdout, stderr, !::isatty(STDIN_FILENO));
  rova::PosixFileSystem files;
  rova::SystemClock clock;
  rova::ShellInterpreter commands(terminal);
  rova::Platform platform{terminal, files, clock, commands,
                          rova::standardConfigLocations(std::getenv("XDG_CONFIG_HOME"),
                                                        std::getenv("HOME"),
                                                        rova::currentExecutablePath())};
  return rova::runRova(platform);
}
