// Fakes of the platform for tests: a scripted keyboard that records the
// screen, a fixed clock, a command interpreter that records the commands,
// and a temporary directory that is removed afterwards.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace rova::testing {

class ScriptedTerminal : public Terminal {
 public:
  explicit ScriptedTerminal(std::vector<std::string> answers = {})
      : answers_(answers.begin(), answers.end()) {}
  void writeRecord(const std::string& record, RecordKind kind) override {
    records.push_back(record);
    kinds.push_back(kind);
  }
  std::optional<std::string> readLine() override {
    if (answers_.empty()) return std::nullopt;
    std::string line = answers_.front();
    answers_.pop_front();
    return line;
  }
  void writeError(const std::string& message) override { errors.push_back(message); }
  void finish() override {}
  bool keyboardIsPerson() const override { return person; }
  std::size_t answersLeft() const { return answers_.size(); }

  // False: the answers come from a pipe or a file.
  bool person = true;

  // The records written so far, without their carriage control.
  std::vector<std::string> shown() const;
  // True when some record contains the text.
  bool showed(const std::string& text) const;

  std::vector<std::string> records;
  std::vector<RecordKind> kinds;  // of each record
  std::vector<std::string> errors;

 private:
  std::deque<std::string> answers_;
};

class FixedClock : public Clock {
 public:
  explicit FixedClock(LocalTime t) : time(t) {}
  LocalTime now() override { return time; }
  // Moves by `step` at each reading (0: only when a test moves it).
  long long milliseconds() override {
    const long long now = ms;
    ms += step;
    return now;
  }
  LocalTime time;
  long long ms = 0;
  long long step = 0;
};

class RecordingInterpreter : public CommandInterpreter {
 public:
  void run(const std::string& commandLine) override { commands.push_back(commandLine); }
  std::vector<std::string> commands;
};

// A text stream kept in memory; a failing one loses everything written
// to it, as a closed pipe does.
class StringStream : public TextStream {
 public:
  void write(const std::string& text) override {
    if (failing) lost = true; else this->text += text;
  }
  bool flush() override {
    const bool ok = !lost;
    lost = false;
    return ok;
  }
  bool isTerminal() const override { return terminal; }

  std::string text;
  bool failing = false;
  bool terminal = false;

 private:
  bool lost = false;
};

// Records the restore sequences that an interrupt would write.
class RecordingInterrupts : public InterruptHandling {
 public:
  void setRestoreSequence(const std::string& sequence) override { sequences.push_back(sequence); }
  std::vector<std::string> sequences;
};

class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& contents) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;

 private:
  std::string path_;
};

// A file system that takes every relative name in one folder, as if that
// folder were the current directory, and passes absolute names on as they
// are: a dialogue's output files land in a test's temporary directory
// without the test process changing its working folder.
class FolderFileSystem : public FileSystem {
 public:
  FolderFileSystem(FileSystem& inner, std::string folder)
      : inner_(inner), folder_(std::move(folder)) {}

  std::unique_ptr<InputText> openForReading(const std::string& name, std::string& error) override {
    return inner_.openForReading(in(name), error);
  }
  bool makeDirectories(const std::string& path) override { return inner_.makeDirectories(in(path)); }
  PathStatus status(const std::string& name) override { return inner_.status(in(name)); }
  std::string resolvedFolder(const std::string& name) override {
    return inner_.resolvedFolder(in(name));
  }
  bool folderWritable(const std::string& name) override { return inner_.folderWritable(in(name)); }
  std::unique_ptr<OutputText> createTemporary(const std::string& besideName,
                                              std::string& temporaryName,
                                              std::string& error) override {
    return inner_.createTemporary(in(besideName), temporaryName, error);
  }
  bool rename(const std::string& from, const std::string& to, bool replace,
              std::string& error) override {
    return inner_.rename(in(from), in(to), replace, error);
  }
  void remove(const std::string& name) override { inner_.remove(in(name)); }
  std::string nameRefusal(const std::string& name) override { return inner_.nameRefusal(in(name)); }
  std::unique_ptr<FolderLock> lockFolder(const std::string& name, std::string& error) override {
    return inner_.lockFolder(in(name), error);
  }
  std::string replaceRefusal(const std::string& name) override {
    return inner_.replaceRefusal(in(name));
  }
  // A link's target comes back as the inner file system names it; absolute
  // names pass through in() unchanged.
  std::string followLinks(const std::string& name) override { return inner_.followLinks(in(name)); }
  std::vector<std::string> removeLeftovers(const std::string& besideName) override {
    return inner_.removeLeftovers(in(besideName));
  }
  void syncFolder(const std::string& name) override { inner_.syncFolder(in(name)); }
  bool readAll(const std::string& name, std::string& bytes, std::string& error) override {
    return inner_.readAll(in(name), bytes, error);
  }

 private:
  std::string in(const std::string& name) const {
    return name.empty() || name[0] == '/' ? name : folder_ + "/" + name;
  }
  FileSystem& inner_;
  std::string folder_;
};

// The folder of real fire-history files, or "" when it is absent.
std::string realDataDirectory();
// Why a test of the real files is skipped: where they were looked for.
std::string realDataMissing();

std::vector<std::string> splitLines(const std::string& text);

}  // namespace rova::testing
