// The program's only ways to reach outside itself: the terminal, files,
// the clock, the command interpreter, the batch run's output streams and
// what an interrupt does to the screen. The real implementations sit in
// posix_platform.h; tests substitute scripted keyboards, fixed clocks and
// temporary directories without touching the program logic.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace rova {

// What a screen record is, so that a screen that shows only some of them
// (batch mode's error stream) chooses by kind, never by the record's text.
enum class RecordKind {
  kDialogue,  // banners, menus, prompts, explanations: the conversation
  kProgress,  // the simulations' progress, rewritten in place
  kReading,   // what the readers found in the data (the counts lines)
  kSpan,      // a span's analysis begins ("Time span ...")
  kEstimate,  // how long the simulations will take
  kNotice,    // " >> " lines: something changed, refused or not read as written
};

// Keyboard and screen. Screen output arrives as records: the first
// character of a record is its carriage control (' ' starts a new line,
// '+' returns to the start of the current line and writes over it).
class Terminal {
 public:
  virtual ~Terminal() = default;
  virtual void writeRecord(const std::string& record, RecordKind kind) = 0;
  // One typed line without its line end; nullopt at end of input.
  virtual std::optional<std::string> readLine() = 0;
  // A message for the person at the console that must be seen even when
  // the screen goes to a file (end of input, fatal errors).
  virtual void writeError(const std::string& message) = 0;
  // Ends the last screen line, if one is open.
  virtual void finish() = 0;
  // True when a person types the answers; false when they come from a pipe
  // or a file, where an answer out of step must not become a command.
  virtual bool keyboardIsPerson() const { return true; }
};

// Where a DOS end-of-file mark (Ctrl-Z) ended a text early: the line it
// stands on (1-based; 0 when the text has no such mark) and how many lines
// after it hold something other than blanks, NULs and more marks.
struct TextEndMark {
  std::size_t line = 0;
  std::size_t linesAfter = 0;
};

// A text file opened for reading: its lines without line ends, readable
// from the start again after rewind().
class InputText {
 public:
  using EndMark = TextEndMark;
  explicit InputText(std::vector<std::string> lines, EndMark mark = {})
      : lines_(std::move(lines)), endMark_(mark) {}
  std::optional<std::string> nextLine() {
    if (next_ >= lines_.size()) return std::nullopt;
    return lines_[next_++];
  }
  void rewind() { next_ = 0; }
  // Number of the line that nextLine() returned last (1-based).
  std::size_t lineNumber() const { return next_; }
  const std::vector<std::string>& lines() const { return lines_; }
  const EndMark& endMark() const { return endMark_; }

 private:
  std::vector<std::string> lines_;
  EndMark endMark_;
  std::size_t next_ = 0;
};

// The text of file contents, split as splitTextLines does, knowing what a
// Ctrl-Z left out.
InputText textOf(const std::string& contents);

// The most lines an input text may have, as the bytes of an input file are
// bounded: the largest fire history has 4096 data lines besides its header;
// a file of millions of line ends is none, and splitting it would take
// gigabytes.
constexpr std::size_t kMaxInputLines = std::size_t{1} << 20;

// Why file contents are not read as a text: "" when they may be, else that
// they have more than kMaxInputLines lines.
std::string textLimitReason(const std::string& contents);

// Splits file contents into lines: LF, CR-LF and a lone CR each end a line
// (carriage returns just before an LF belong to it), a DOS end-of-file
// mark (Ctrl-Z) ends the text, no empty last line for a final line end, a
// UTF-8 byte-order mark at the start dropped.
std::vector<std::string> splitTextLines(const std::string& contents);

// What writing an output throws when its bytes cannot be written (a full
// disk, a file-size limit): the run stops at once instead of computing,
// for minutes perhaps, what could not be kept. The text names the file
// and the reason.
class OutputWriteFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class OutputText {
 public:
  virtual ~OutputText() = default;
  // One line; its line end is added.
  virtual void writeLine(std::string_view line) = 0;
  // The bytes as they are, no line end added: binary outputs (a PDF or PNG
  // chart) written whole, and blocks of lines prepared with their line
  // ends, such as a report's table.
  virtual void write(std::string_view bytes) = 0;
  // Files written by the program throw OutputWriteFailure from writeLine
  // and write at the first error. close() never throws:
  // flushes and closes; false with a reason when the file could not be
  // written to the end.
  virtual bool close(std::string& error) = 0;
};

// What a name in the file system is, the last link of the name not
// followed, and which file the name leads to when links are followed.
struct PathStatus {
  enum class Kind { kMissing, kRegular, kDirectory, kLink, kOther };
  Kind kind = Kind::kMissing;
  // The file the name leads to (device and inode); both 0 when it leads
  // nowhere.
  unsigned long long device = 0;
  unsigned long long inode = 0;
  bool leadsSomewhere() const { return device != 0 || inode != 0; }
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // nullptr with a reason when the file cannot be opened for reading.
  virtual std::unique_ptr<InputText> openForReading(const std::string& name,
                                                    std::string& error) = 0;
  // Creates a directory and its parents when missing; false on failure.
  virtual bool makeDirectories(const std::string& path) = 0;
  virtual PathStatus status(const std::string& name) = 0;
  // The absolute path of the folder that holds `name`, links resolved;
  // "" when that folder does not exist.
  virtual std::string resolvedFolder(const std::string& name) = 0;
  // True when files can be created, renamed and removed in the folder that
  // holds `name`.
  virtual bool folderWritable(const std::string& name) = 0;
  // A new empty file in the folder that holds `besideName`, under a name
  // that no one can predict (given in `temporaryName`), created only if
  // nothing of that name exists and never through a link, with the
  // permissions a newly created file gets. It is removed if the program is
  // interrupted before it is renamed or removed. nullptr with a reason on
  // failure.
  virtual std::unique_ptr<OutputText> createTemporary(const std::string& besideName,
                                                      std::string& temporaryName,
                                                      std::string& error) = 0;
  // Gives a file its final name. With `replace` an existing entry of that
  // name (a file, or a link, never the link's target) is replaced; without
  // it an existing entry is an error and stays as it is.
  virtual bool rename(const std::string& from, const std::string& to, bool replace,
                      std::string& error) = 0;
  virtual void remove(const std::string& name) = 0;
  // Why no file can be made under `name` on its file system: a last part
  // longer than the file system's NAME_MAX, or a path (or that of the
  // temporary file beside it) of PATH_MAX bytes or more. "" when it can.
  virtual std::string nameRefusal(const std::string& /*name*/) { return ""; }
  // Holds, while the lock lives, the right to put files in place in the
  // folder that holds `name`: two runs writing the same outputs at once
  // then put them in place one after the other, never interleaved. Waits
  // a while for another run; nullptr with the reason when it cannot be
  // had.
  class FolderLock {
   public:
    virtual ~FolderLock() = default;
  };
  virtual std::unique_ptr<FolderLock> lockFolder(const std::string& /*name*/,
                                                 std::string& /*error*/) {
    return std::make_unique<FolderLock>();
  }
  // Why rename() could not replace the existing entry `name` although its
  // folder can be written: in a folder with the sticky bit (like /tmp)
  // only the owner of the entry or of the folder, or a privileged user,
  // may replace it. "" when it could.
  virtual std::string replaceRefusal(const std::string& /*name*/) { return ""; }
  // Where links at `name` lead in the end: the name of the first entry on
  // the way that is not a link (which need not exist); `name` itself when
  // it is no link. Only the user's own links are followed.
  virtual std::string followLinks(const std::string& name) { return name; }
  // Removes the temporary files that runs of this program, killed before
  // they could clean up, left in the folder that holds `besideName`, once
  // per folder, and only those that provably are such leftovers: named
  // with the process number of a run of this machine that no longer runs,
  // and the user's own. Returns the names removed.
  virtual std::vector<std::string> removeLeftovers(const std::string& /*besideName*/) { return {}; }
  // Makes the names given in the folder that holds `name` durable.
  virtual void syncFolder(const std::string& name) = 0;
  // The whole contents of a file, byte for byte.
  virtual bool readAll(const std::string& name, std::string& bytes, std::string& error) = 0;
};

struct LocalTime {
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int utcOffsetMinutes = 0;  // local time minus UTC
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime now() = 0;
  // Milliseconds from some fixed moment, never going back: for spacing
  // out progress shown on a terminal, not a time of day.
  virtual long long milliseconds() = 0;
};

class CommandInterpreter {
 public:
  virtual ~CommandInterpreter() = default;
  // Runs one command line and waits for it to finish.
  virtual void run(const std::string& commandLine) = 0;
};

// A stream of text that the batch run writes as it goes: standard output
// (the names of the files written) or standard error (messages, progress).
class TextStream {
 public:
  virtual ~TextStream() = default;
  virtual void write(const std::string& text) = 0;
  // Sends on what was written; false when some of it could not be written
  // (a closed pipe, a full disk). The failure is then forgotten, so a
  // later flush tells of later writes only.
  virtual bool flush() = 0;
  // True when a person watches the stream (a terminal).
  virtual bool isTerminal() const { return false; }
};

// What an interrupt (Ctrl-C, a hangup, termination) does besides removing
// the run's temporary files: it gives the screen back its plain colours
// with the sequence set here.
class InterruptHandling {
 public:
  virtual ~InterruptHandling() = default;
  // The sequence without its carriage control; "" for none.
  virtual void setRestoreSequence(const std::string& sequence) = 0;
};

// Where the program keeps its settings and finds its sayings, in the order
// in which they are tried.
struct ConfigLocations {
  std::string configDirectory;                 // the user's folder for ROVA; "" when unknown
  std::vector<std::string> settingsFiles;      // colour settings, tried in order
  std::vector<std::string> sayingsFiles;       // closing sayings, tried in order
};

struct Platform {
  Terminal& terminal;
  FileSystem& files;
  Clock& clock;
  CommandInterpreter& commands;
  ConfigLocations locations;
  // False when the screen must get no colour sequences: NO_COLOR set, TERM
  // dumb, or the screen not a terminal.
  bool coloursAllowed = true;
  // Told the screen's restore sequence; none (nullptr) where no interrupt
  // can reach the screen, as in a batch run or a test.
  InterruptHandling* interrupts = nullptr;
};

}  // namespace rova
