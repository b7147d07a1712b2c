// ROVA: the effect of sample size on estimates of fire frequency.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "analysis/simulation_kernel_dispatch.h"
#include "cli/batch_run.h"
#include "cli/command_line.h"
#include "run/run_driver.h"
#include "platform/interrupts.h"
#include "platform/posix_platform.h"

namespace {

// Without arguments the program runs its dialogue; with arguments it runs
// the analysis of each FILE in batch mode.
int runProgram(int argc, char** argv) {
  // ROVA_KERNEL names the build of the simulations' inner loop to run (all
  // give the same numbers); one this processor cannot run is refused first.
  const rova::kernel::BuildChoice kernel = rova::kernel::chooseBuild(std::getenv("ROVA_KERNEL"));
  if (!kernel.refusal.empty()) {
    std::fprintf(stderr, "rova: %s\n", kernel.refusal.c_str());
    return 2;
  }
  rova::kernel::useBuild(kernel.build);
  rova::StreamTerminal terminal(stdin, stdout, stderr, !::isatty(STDIN_FILENO));
  rova::PosixFileSystem files;
  rova::SystemClock clock;
  rova::ShellInterpreter commands(terminal);
  const rova::ConfigLocations locations = rova::standardConfigLocations(
      std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"), rova::currentExecutablePath());
  if (argc <= 1) {
    rova::SignalInterrupts interrupts;
    rova::Platform platform{terminal, files, clock, commands, locations,
                            rova::coloursAllowedFor(std::getenv("NO_COLOR"), std::getenv("TERM"),
                                                    ::isatty(STDOUT_FILENO) != 0),
                            &interrupts};
    const int status = rova::runRova(platform);
    // After the program's exit colour, the terminal's own attributes come
    // back, so the shell's prompt is shown as the user set it.
    if (platform.coloursAllowed) {
      std::fputs("\x1b[0m", stdout);
      std::fflush(stdout);
    }
    return status;
  }
  const rova::CommandLine line = rova::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!line.error.empty()) {
    std::fprintf(stderr, "rova: %s (see rova --help)\n", line.error.c_str());
    return 2;
  }
  if (line.options.help) {
    std::fputs(rova::usageText().c_str(), stdout);
    return 0;
  }
  if (line.options.version) {
    std::fputs(rova::versionText().c_str(), stdout);
    return 0;
  }
  rova::FileStream out(stdout, false);
  rova::FileStream err(stderr, ::isatty(STDERR_FILENO) != 0);
  return rova::runBatch(line.options, files, clock, commands, locations, rova::BatchStreams{out, err});
}

}  // namespace

int main(int argc, char** argv) {
  // Standard input, output and error are always open: a file the program
  // opens must never take one of their numbers and receive messages.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) < 0) return 1;
  }
  rova::installInterruptHandlers();
  // A closed standard output is a write error to report, not a signal that
  // ends the run before its files are in place.
  ::signal(SIGPIPE, SIG_IGN);
  // So is a file-size limit (ulimit -f): the write fails with "File too
  // large", and the run stops with that message, its temporaries removed.
  ::signal(SIGXFSZ, SIG_IGN);
  // Whatever fails, the run ends with one line and status 1; unwinding
  // removes the temporary files of unfinished outputs.
  try {
    return runProgram(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("\nrova: out of memory; the run was not completed\n", stderr);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "\nrova: %s; the run was not completed\n", error.what());
  } catch (...) {
    std::fputs("\nrova: an unexpected failure; the run was not completed\n", stderr);
  }
  return 1;
}
