#include "platform/interrupts.h"

#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace rova {
namespace {

// Enough for every output of a run and the colour settings file, many
// times over.
constexpr int kMaxCleanups = 64;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU};

char restoreSequence[64] = {0};
std::atomic<char*> cleanups[kMaxCleanups] = {};
volatile sig_atomic_t inHandler = 0;
// Set once a commit has put outputs in place: from then on an interrupt
// says that those are whole.
volatile sig_atomic_t outputsInPlace = 0;

static_assert(std::atomic<char*>::is_always_lock_free, "the handler reads the names lock-free");

void writeAll(const char* text) {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<std::size_t>(n);
  }
}

const char* farewell(int signal) {
  if (outputsInPlace) {
    switch (signal) {
      case SIGINT:
        return "\nrova: interrupted (Ctrl-C); the output files already written are whole and in "
               "place, the rest of the run was not completed\n";
      case SIGHUP:
        return "\nrova: the terminal was closed (hangup); the output files already written are "
               "whole and in place, the rest of the run was not completed\n";
      case SIGQUIT:
        return "\nrova: quit; the output files already written are whole and in place, the rest "
               "of the run was not completed\n";
      case SIGXCPU:
        return "\nrova: the CPU time limit was reached; the output files already written are "
               "whole and in place, the rest of the run was not completed\n";
      default:
        return "\nrova: terminated; the output files already written are whole and in place, the "
               "rest of the run was not completed\n";
    }
  }
  switch (signal) {
    case SIGINT: return "\nrova: interrupted (Ctrl-C); the run was not completed\n";
    case SIGHUP: return "\nrova: the terminal was closed (hangup); the run was not completed\n";
    case SIGQUIT: return "\nrova: quit; the run was not completed\n";
    case SIGXCPU: return "\nrova: the CPU time limit was reached; the run was not completed\n";
    default: return "\nrova: terminated; the run was not completed\n";
  }
}

// Ends the process by the signal itself, with its default action, so that
// whoever started the program (a shell loop, make, a script) sees that it
// was interrupted rather than that it failed, and stops too. The status
// 128 + N is only the last resort, should the default action not end the
// process.
[[noreturn]] void dieBy(int signal) {
  // SIGQUIT and SIGXCPU dump core by default: a core file would be a file
  // the user never asked for, in the user's folder. The process ends by
  // the signal all the same.
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  sigaction(signal, &standard, nullptr);
  // The signal is blocked while its handler runs: raised now, it waits
  // until the mask lets it through, which the next call does.
  ::raise(signal);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  _exit(128 + signal);
}

void onInterrupt(int signal) {
  if (inHandler) dieBy(signal);
  inHandler = 1;
  for (auto& slot : cleanups) {
    const char* name = slot.load();
    if (name != nullptr) ::unlink(name);
  }
  if (restoreSequence[0] != '\0') {
    // The program's plain colours, then every attribute reset to the
    // terminal's own.
    if (::write(STDOUT_FILENO, restoreSequence, std::strlen(restoreSequence)) < 0 ||
        ::write(STDOUT_FILENO, "\x1b[0m", 4) < 0) {
      // Nothing more can be done for the screen.
    }
  }
  writeAll(farewell(signal));
  dieBy(signal);
}

sigset_t interruptSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kSignals) sigaddset(&set, signal);
  return set;
}

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

}  // namespace

void installInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  action.sa_mask = interruptSignals();
  for (int signal : kSignals) sigaction(signal, &action, nullptr);
}

void setInterruptRestoreSequence(const std::string& sequence) {
  copyText(restoreSequence, sizeof restoreSequence, sequence);
}

bool registerInterruptCleanup(const std::string& name) {
  char* copy = new char[name.size() + 1];
  std::memcpy(copy, name.c_str(), name.size() + 1);
  for (auto& slot : cleanups) {
    char* expected = nullptr;
    if (slot.compare_exchange_strong(expected, copy)) return true;
  }
  delete[] copy;
  return false;
}

void forgetInterruptCleanup(const std::string& name) {
  for (auto& slot : cleanups) {
    char* held = slot.load();
    if (held == nullptr || name != held) continue;
    // Cleared first, freed after: the handler, which runs on this thread
    // only, never sees a freed name.
    if (slot.compare_exchange_strong(held, nullptr)) delete[] held;
    return;
  }
}

InterruptsBlocked::InterruptsBlocked() {
  const sigset_t set = interruptSignals();
  pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

InterruptsBlocked::~InterruptsBlocked() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

InterruptsHeld::InterruptsHeld() {
  const sigset_t set = interruptSignals();
  pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

InterruptsHeld::~InterruptsHeld() {
  if (placed_) outputsInPlace = 1;
  // An interrupt that came meanwhile is acted on here, with the message
  // that fits what is now in place.
  pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

InterruptsIgnored::InterruptsIgnored() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGINT, &ignore, &savedInterrupt_);
  sigaction(SIGQUIT, &ignore, &savedQuit_);
}

InterruptsIgnored::~InterruptsIgnored() {
  sigaction(SIGINT, &savedInterrupt_, nullptr);
  sigaction(SIGQUIT, &savedQuit_, nullptr);
}

}  // namespace rova
