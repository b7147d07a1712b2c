// The platform of a Linux console: standard input and output, files named
// relative to the current directory, the local clock and /bin/sh.
#pragma once

#include <cstdio>
#include <set>

#include "platform/platform.h"

namespace rova {

// Maps carriage-control records onto a terminal or a plain output stream.
// A blank record ends the line that is open and writes its text on a new
// one; '+' writes a carriage return and the text over the current line.
// After a typed answer the terminal has already moved to a new line; when
// the keyboard is not a terminal (answers piped in) the answer is echoed
// with a line end so that the screen transcript reads the same.
class StreamTerminal : public Terminal {
 public:
  StreamTerminal(std::FILE* in, std::FILE* out, std::FILE* err, bool echoAnswers);
  void writeRecord(const std::string& record, RecordKind kind) override;
  std::optional<std::string> readLine() override;
  void writeError(const std::string& message) override;
  void finish() override;
  bool keyboardIsPerson() const override { return !echoAnswers_; }

 private:
  std::FILE* in_;
  std::FILE* out_;
  std::FILE* err_;
  bool echoAnswers_;
  bool lineOpen_ = false;
};

// A C stream as a TextStream.
class FileStream : public TextStream {
 public:
  FileStream(std::FILE* file, bool terminal) : file_(file), terminal_(terminal) {}
  void write(const std::string& text) override;
  bool flush() override;
  bool isTerminal() const override { return terminal_; }

 private:
  std::FILE* file_;
  bool terminal_;
};

// Interrupts handled by installInterruptHandlers (platform/interrupts.h).
class SignalInterrupts : public InterruptHandling {
 public:
  void setRestoreSequence(const std::string& sequence) override;
};

class PosixFileSystem : public FileSystem {
 public:
  std::unique_ptr<InputText> openForReading(const std::string& name,
                                            std::string& error) override;
  bool makeDirectories(const std::string& path) override;
  PathStatus status(const std::string& name) override;
  std::string resolvedFolder(const std::string& name) override;
  bool folderWritable(const std::string& name) override;
  std::unique_ptr<OutputText> createTemporary(const std::string& besideName,
                                              std::string& temporaryName,
                                              std::string& error) override;
  bool rename(const std::string& from, const std::string& to, bool replace,
              std::string& error) override;
  void remove(const std::string& name) override;
  std::string replaceRefusal(const std::string& name) override;
  std::string nameRefusal(const std::string& name) override;
  std::unique_ptr<FolderLock> lockFolder(const std::string& name, std::string& error) override;
  std::string followLinks(const std::string& name) override;
  std::vector<std::string> removeLeftovers(const std::string& besideName) override;
  void syncFolder(const std::string& name) override;
  bool readAll(const std::string& name, std::string& bytes, std::string& error) override;

 private:
  std::set<std::string> sweptFolders_;  // resolved folders already cleared of leftovers
};

// Eight hexadecimal digits that stand for this boot of this machine and
// this PID namespace, in the names of temporary files.
std::string temporaryHostTag();

// Whether rename() may replace an entry owned by `entryOwner` in a folder
// of `folderMode` owned by `folderOwner`, done by `user`: always, unless
// the folder has the sticky bit; then only for the owner of the entry or
// of the folder, or a user with the privilege to override ownership.
bool stickyFolderLetsReplace(unsigned folderMode, unsigned folderOwner, unsigned entryOwner,
                             unsigned user, bool privileged);

// Whether the screen may get colour sequences: not when NO_COLOR is set and
// not empty, when TERM is "dumb", or when the screen is not a terminal.
bool coloursAllowedFor(const char* noColor, const char* term, bool screenIsTerminal);

// The user's configuration folder for ROVA: $XDG_CONFIG_HOME/rova when that
// variable is set and absolute, otherwise $HOME/.config/rova ("" when
// neither is usable). Settings: GRN.INI there, then GRN.INI in the current
// directory. Sayings: DICHOS.TXT there, then the shipped file: the source
// tree's copy when the program runs from its build tree, otherwise the
// installed one.
ConfigLocations standardConfigLocations(const char* xdgConfigHome, const char* home,
                                        const std::string& executablePath);

// The path of the running program, "" when it cannot be found.
std::string currentExecutablePath();

class SystemClock : public Clock {
 public:
  LocalTime now() override;
  long long milliseconds() override;
};

class ShellInterpreter : public CommandInterpreter {
 public:
  explicit ShellInterpreter(Terminal& terminal) : terminal_(terminal) {}
  void run(const std::string& commandLine) override;

 private:
  Terminal& terminal_;
};

// The program's one platform on Linux, assembled from the process's
// surroundings: the terminal on the standard streams (answers echoed when
// they do not come from a terminal), the file system, the clock, the shell,
// the configuration locations of the environment, the screen's colours as
// NO_COLOR, TERM and the screen allow them, the interrupt handling, and
// batch mode's standard output and error.
class ProgramPlatform {
 public:
  ProgramPlatform();
  ProgramPlatform(const ProgramPlatform&) = delete;
  ProgramPlatform& operator=(const ProgramPlatform&) = delete;

 private:
  StreamTerminal terminal_;
  PosixFileSystem files_;
  SystemClock clock_;
  ShellInterpreter commands_;
  SignalInterrupts interrupts_;

 public:
  Platform platform;
  FileStream out;
  FileStream err;
};

}  // namespace rova
