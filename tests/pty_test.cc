// Runs the real program under a pseudo-terminal, answers its prompts as a
// person would, and checks what the terminal receives: the banner centred,
// the menu at its columns, the progress line written over in place, and
// the colour sequences.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

struct Session {
  std::string screen;
  int status = -1;  // exit status; -1 when ended by a signal
  int signal = 0;   // the signal that ended it; 0 when it exited
};

// True when the screen ends with a prompt waiting for an answer: " =>"
// followed by the typing colour or a blank.
bool waitsForAnswer(const std::string& screen, std::size_t answered) {
  const std::size_t at = screen.rfind(" =>");
  if (at == std::string::npos || at < answered) return false;
  const std::string tail = screen.substr(at + 3);
  return tail == " " || (tail.size() == 11 && tail[1] == '\x1b' && tail.back() == 'm');
}

// Runs the program (with `arguments`, none for the dialogue) under a
// terminal, typing each answer when a prompt waits for it. With a signal
// given, sends it once the answers are used up and, for a batch run,
// after `signalDelay` and once the screen shows `signalWhenShown`.
Session runUnderTerminal(const std::string& dir, const std::vector<std::string>& answers,
                         const char* term = "xterm", const char* noColor = nullptr,
                         std::vector<std::string> arguments = {}, int signal = 0,
                         std::chrono::milliseconds signalDelay = std::chrono::milliseconds(0),
                         const std::string& signalWhenShown = "") {
  Session session;
  int master = -1;
  struct winsize size {};
  size.ws_row = 50;
  size.ws_col = 80;
  pid_t child = forkpty(&master, nullptr, nullptr, &size);
  if (child == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    setenv("HOME", dir.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("TERM", term, 1);
    if (noColor != nullptr) {
      setenv("NO_COLOR", noColor, 1);
    } else {
      unsetenv("NO_COLOR");
    }
    std::vector<char*> argv{const_cast<char*>("rova")};
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(ROVA_BINARY, argv.data());
    _exit(127);
  }
  if (child < 0) return session;
  std::size_t next = 0, answeredAt = 0;
  const auto started = std::chrono::steady_clock::now();
  const auto deadline = started + std::chrono::seconds(60);
  bool signalled = false;
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    if (signal != 0 && !signalled && next == answers.size() &&
        std::chrono::steady_clock::now() - started >= signalDelay &&
        session.screen.find(signalWhenShown) != std::string::npos &&
        (answers.empty() || waitsForAnswer(session.screen, answeredAt))) {
      kill(child, signal);
      signalled = true;
    }
    struct pollfd fd {master, POLLIN, 0};
    if (poll(&fd, 1, 200) > 0) {
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) break;  // the program closed the terminal
      session.screen.append(buffer, static_cast<std::size_t>(n));
    } else if (next < answers.size() && waitsForAnswer(session.screen, answeredAt)) {
      const std::string line = answers[next++] + "\r";
      if (write(master, line.data(), line.size()) < 0) break;
      answeredAt = session.screen.size();
    }
  }
  close(master);
  int status = 0;
  waitpid(child, &status, 0);
  session.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  session.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return session;
}

TEST(TerminalTest, ScreenShowsBannerMenuProgressAndColours) {
  rova::testing::TemporaryDirectory dir;
  std::filesystem::copy_file(std::string(ROVA_SOURCE_DIR) + "/tests/data/SMALL.FHX",
                             dir.file("SMALL.FHX"));
  const Session s = runUnderTerminal(dir.path(), {"pty", "SMALL.FHX", "Title", "3", "100", "7", ""});
  ASSERT_EQ(s.status, 0) << s.screen;
  // The banner's suite name is centred: 35 blanks before it on its line.
  EXPECT_NE(s.screen.find("\n" + std::string(35, ' ') + "FENWOOD"), std::string::npos);
  EXPECT_NE(s.screen.find("P R O G R A M     R O V A"), std::string::npos);
  // Menu values stand at their columns.
  EXPECT_NE(s.screen.find("       1  Time span to process" + std::string(26, ' ') + "  1801  1828"),
            std::string::npos);
  EXPECT_NE(s.screen.find("       3  Number of simulations" + std::string(23, ' ') + "     100  Seed       7"),
            std::string::npos);
  // The progress line is rewritten in place with a carriage return.
  EXPECT_NE(s.screen.find("\rSimulation     1    3 trees"), std::string::npos);
  EXPECT_NE(s.screen.find("\rSimulation   100"), std::string::npos);
  EXPECT_NE(s.screen.find("\rNew files: PTYRVA.OUT for printing"), std::string::npos);
  // Monochrome colours without a settings file: gray text, yellow typing,
  // plain colours at the end; the screen is cleared with escape sequences.
  EXPECT_NE(s.screen.find("\x1b[0;37;44m"), std::string::npos);
  EXPECT_NE(s.screen.find(" => \x1b[1;33;44m"), std::string::npos);
  EXPECT_NE(s.screen.find("\x1b[2J\x1b[H"), std::string::npos);
  EXPECT_NE(s.screen.find("- = [ ROVA ] = -\x1b[0;37;40m"), std::string::npos);
  // The last sequence gives the terminal its own attributes back.
  EXPECT_EQ(s.screen.rfind('\x1b'), s.screen.rfind("\x1b[0m")) << s.screen.substr(s.screen.size() - 40);
  EXPECT_GT(s.screen.rfind("\x1b[0m"), s.screen.rfind("\x1b[0;37;40m"));
  EXPECT_TRUE(dir.exists("PTYRVA.OUT"));
}

TEST(TerminalTest, ColourChoiceSurvivesARestart) {
  rova::testing::TemporaryDirectory dir;
  std::filesystem::copy_file(std::string(ROVA_SOURCE_DIR) + "/tests/data/SMALL.FHX",
                             dir.file("SMALL.FHX"));
  Session first = runUnderTerminal(dir.path(), {"~", "d", "/"});
  EXPECT_EQ(first.status, 0);
  EXPECT_NE(first.screen.find("\x1b[1;33;43m"), std::string::npos);
  EXPECT_EQ(dir.read("config/rova/GRN.INI"), "P133173070\n");
  Session second = runUnderTerminal(dir.path(), {"/"});
  EXPECT_NE(second.screen.find("\x1b[1;33;43m"), std::string::npos);  // Desert from the start
}

TEST(TerminalTest, NoColorAndDumbTerminalsGetNoEscapeSequences) {
  rova::testing::TemporaryDirectory dir;
  std::filesystem::copy_file(std::string(ROVA_SOURCE_DIR) + "/tests/data/SMALL.FHX",
                             dir.file("SMALL.FHX"));
  const std::vector<std::string> answers = {"nc", "SMALL.FHX", "~", "", "3", "x", "10", "3", ""};
  for (auto [term, noColor] : {std::pair<const char*, const char*>{"xterm", "1"}, {"dumb", nullptr}}) {
    const Session s = runUnderTerminal(dir.path(), answers, term, noColor);
    EXPECT_EQ(s.status, 0) << term;
    EXPECT_EQ(s.screen.find('\x1b'), std::string::npos) << term;
    EXPECT_NE(s.screen.find("Colours are off"), std::string::npos) << term;
    EXPECT_NE(s.screen.find("INTEGER!"), std::string::npos) << term;
    EXPECT_FALSE(dir.exists("config/rova/GRN.INI"));
    std::filesystem::remove(dir.file("NCRVA.OUT"));
    std::filesystem::remove(dir.file("NCRVADF.XL1"));
    std::filesystem::remove(dir.file("NCRVADF.XL2"));
  }
}

TEST(TerminalTest, InterruptsRestoreThePlainColoursAndSayWhy) {
  rova::testing::TemporaryDirectory dir;
  const Session s = runUnderTerminal(dir.path(), {"job"}, "xterm", nullptr, {}, SIGINT);
  EXPECT_EQ(s.signal, SIGINT) << s.status;
  const std::size_t message = s.screen.find("rova: interrupted (Ctrl-C); the run was not completed");
  ASSERT_NE(message, std::string::npos) << s.screen;
  EXPECT_NE(s.screen.rfind("\x1b[0;37;40m\x1b[0m", message), std::string::npos);
}

TEST(TerminalTest, TerminatedBatchRunLeavesNoPartialFiles) {
  rova::testing::TemporaryDirectory dir;
  std::filesystem::copy_file(std::string(ROVA_SOURCE_DIR) + "/examples/ALDER.FHX", dir.file("ALDER.FHX"));
  // Terminated while its files are being written: once the simulations
  // show their progress and 300 ms have passed, in a run that takes over
  // a second on a fast machine.
  const Session s = runUnderTerminal(
      dir.path(), {}, "xterm", nullptr,
      {"-n", "4096", "-I", "--segment-length", "60", "--segment-lag", "1", "ALDER.FHX"}, SIGTERM,
      std::chrono::milliseconds(300), "\rSimulation");
  EXPECT_EQ(s.signal, SIGTERM) << s.status << s.screen;
  EXPECT_NE(s.screen.find("rova: terminated; the run was not completed"), std::string::npos);
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "ALDER.FHX" || name == "config") << name;
  }
}

}  // namespace
