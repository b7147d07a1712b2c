#include "cli/program.h"

#include "cli/command_line.h"
#include "run/run_driver.h"

namespace rova {

int runProgram(const std::vector<std::string>& arguments, Platform& platform,
               const BatchStreams& streams) {
  if (arguments.empty()) {
    const int status = runRova(platform);
    // After the program's exit colour, the terminal's own attributes come
    // back, so the shell's prompt is shown as the user set it.
    if (platform.coloursAllowed) {
      streams.out.write("\x1b[0m");
      streams.out.flush();
    }
    return status;
  }
  const CommandLine line = parseCommandLine(arguments);
  if (!line.error.empty()) {
    streams.err.write("rova: " + line.error + " (see rova --help)\n");
    return 2;
  }
  if (line.options.help) {
    streams.out.write(usageText());
    return streams.out.flush() ? 0 : 1;
  }
  if (line.options.version) {
    streams.out.write(versionText());
    return streams.out.flush() ? 0 : 1;
  }
  return runBatch(line.options, platform.files, platform.clock, platform.commands,
                  platform.locations, streams);
}

}  // namespace rova
