// Fakes of the platform for tests: a scripted keyboard that records the
// screen, a fixed clock, a command interpreter that records the commands,
// and a temporary directory that is removed afterwards.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace rova::testing {

class ScriptedTerminal : public Terminal {
 public:
  explicit ScriptedTerminal(std::vector<std::string> answers = {})
      : answers_(answers.begin(), answers.end()) {}
  void writeRecord(const std::string& record) override { records.push_back(record); }
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
  std::vector<std::string> errors;

 private:
  std::deque<std::string> answers_;
};

class FixedClock : public Clock {
 public:
  explicit FixedClock(LocalTime t) : time(t) {}
  LocalTime now() override { return time; }
  LocalTime time;
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

// Changes the current directory for the lifetime of the object.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& path);
  ~CurrentDirectory();

 private:
  std::string previous_;
};

// The folder of real fire-history files, or "" when it is absent.
std::string realDataDirectory();

std::vector<std::string> splitLines(const std::string& text);

}  // namespace rova::testing
