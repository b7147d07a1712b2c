// Ctrl-C (SIGINT), SIGTERM, SIGHUP, SIGQUIT and SIGXCPU (the CPU time
// limit) end the program at once, from any place but the renames of a
// commit: the temporary files of the run's outputs are removed, the
// terminal gets its plain colours back, one line says that the run was not
// completed (and, once a commit has put outputs in place, that those are
// whole), and the program ends by the signal itself, with its default
// action, so that a shell loop running it stops as well.
//
// The handler only does what is safe inside a signal handler: it unlinks
// names stored whole beforehand and writes prepared bytes. A name is held
// in a slot as one pointer that is set and cleared atomically, so the
// handler sees, at any instant, either a whole name or none.
#pragma once

#include <signal.h>

#include <string>

namespace rova {

void installInterruptHandlers();

// The sequence that restores the screen's plain colours ("" for none).
void setInterruptRestoreSequence(const std::string& sequence);

// Names of files to remove when interrupted, of any length; a registered
// name stays until it is forgotten. False when every slot is taken (the
// caller must then not create the file).
bool registerInterruptCleanup(const std::string& name);
void forgetInterruptCleanup(const std::string& name);

// While an object lives, the calling thread does not take the interrupt
// signals; threads started meanwhile never take them, so the handler
// always runs on the thread that keeps the list of names.
class InterruptsBlocked {
 public:
  InterruptsBlocked();
  ~InterruptsBlocked();
  InterruptsBlocked(const InterruptsBlocked&) = delete;
  InterruptsBlocked& operator=(const InterruptsBlocked&) = delete;

 private:
  sigset_t saved_;
};

// While an object lives, the interrupt signals wait: the renames of a
// commit, once begun, are finished. Whatever came meanwhile is acted on
// when the object ends; if placed() was called, the farewell then says that
// the outputs written are whole and in place.
class InterruptsHeld {
 public:
  InterruptsHeld();
  ~InterruptsHeld();
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;
  void placed() { placed_ = true; }

 private:
  sigset_t saved_;
  bool placed_ = false;
};

// While an object lives, Ctrl-C and SIGQUIT are ignored, as while the
// command interpreter runs a command: they end the command, not ROVA.
class InterruptsIgnored {
 public:
  InterruptsIgnored();
  ~InterruptsIgnored();
  InterruptsIgnored(const InterruptsIgnored&) = delete;
  InterruptsIgnored& operator=(const InterruptsIgnored&) = delete;

 private:
  struct sigaction savedInterrupt_;
  struct sigaction savedQuit_;
};

}  // namespace rova
