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
#include "cli/program.h"
#include "platform/interrupts.h"
#include "platform/posix_platform.h"

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
    // ROVA_KERNEL names the build of the simulations' inner loop to run
    // (all give the same numbers); one this processor cannot run is
    // refused before anything else.
    const rova::kernel::BuildChoice kernel = rova::kernel::chooseBuild(std::getenv("ROVA_KERNEL"));
    if (!kernel.refusal.empty()) {
      std::fprintf(stderr, "rova: %s\n", kernel.refusal.c_str());
      return 2;
    }
    rova::kernel::useBuild(kernel.build);
    rova::ProgramPlatform program;
    return rova::runProgram(std::vector<std::string>(argv + 1, argv + argc), program.platform,
                            rova::BatchStreams{program.out, program.err});
  } catch (const std::bad_alloc&) {
    std::fputs("\nrova: out of memory; the run was not completed\n", stderr);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "\nrova: %s; the run was not completed\n", error.what());
  } catch (...) {
    std::fputs("\nrova: an unexpected failure; the run was not completed\n", stderr);
  }
  return 1;
}
