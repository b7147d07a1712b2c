#include "platform/interrupts.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace rova {
namespace {

constexpr int kMaxCleanups = 16;
constexpr std::size_t kMaxText = 512;

char restoreSequence[64] = {0};
char cleanups[kMaxCleanups][kMaxText] = {};
volatile sig_atomic_t inHandler = 0;

// Copies a text into a fixed buffer so that the handler, reading it at any
// moment, sees either the old text, no text, or the whole new one.
void copyText(char* target, std::size_t size, const std::string& text) {
  const std::size_t n = std::min(text.size(), size - 1);
  target[0] = '\0';
  if (n == 0) return;
  std::memcpy(target + 1, text.data() + 1, n - 1);
  target[n] = '\0';
  target[0] = text[0];
}

void writeAll(const char* text) {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<std::size_t>(n);
  }
}

void onInterrupt(int signal) {
  if (inHandler) _exit(128 + signal);
  inHandler = 1;
  for (auto& name : cleanups)
    if (name[0] != '\0') ::unlink(name);
  if (restoreSequence[0] != '\0') {
    const std::size_t n = std::strlen(restoreSequence);
    if (::write(STDOUT_FILENO, restoreSequence, n) < 0) {
      // Nothing more can be done for the screen.
    }
  }
  writeAll(signal == SIGINT ? "\nrova: interrupted (Ctrl-C); the run was not completed\n"
                            : "\nrova: terminated; the run was not completed\n");
  _exit(128 + signal);
}

}  // namespace

void installInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void setInterruptRestoreSequence(const std::string& sequence) {
  copyText(restoreSequence, sizeof restoreSequence, sequence);
}

void registerInterruptCleanup(const std::string& name) {
  for (auto& slot : cleanups) {
    if (slot[0] == '\0') {
      copyText(slot, kMaxText, name);
      return;
    }
  }
}

void forgetInterruptCleanup(const std::string& name) {
  for (auto& slot : cleanups)
    if (name == slot) slot[0] = '\0';
}

}  // namespace rova
