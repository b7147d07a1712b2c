// The console of one run: laid-out screen lines, the prompts with their
// markers and special answers, and the identification line of the session.
//
// Prompt markers (first characters of a prompt text):
//   "|"  an empty line before the prompt; the answer is upper-cased
//   "$|" the same, the answer keeps its case
//   "$"  no empty line, the answer keeps its case
//   "/"  display the text and end the program (no answer is read)
//   "!"  the answer is not shown while typed and keeps its case
// Special answers at every prompt: "/" ends the program, "~" the colour
// choice, "?" general information, "`" a system command. After all but
// "/" the same prompt is asked again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "records/identification.h"

namespace rova {

// Thrown to end the program from any depth: a "/" answer, the closing
// prompt, or the end of keyboard input. The driver catches it.
struct ProgramStop {
  int status;
  std::string message;  // for the error stream; empty for a normal stop
};

// Three colour sequences; a sequence is off when its first character is NUL.
struct ScreenColours {
  std::string textColour = std::string(11, '\0');
  std::string typingColour = std::string(11, '\0');
  std::string exitColour = std::string(11, '\0');
  static bool isOn(const std::string& sequence) { return !sequence.empty() && sequence[0] != '\0'; }
};

class Console {
 public:
  Console(Terminal& terminal, CommandInterpreter& commands);

  // Where the colour settings are read and saved; without it the colour
  // choice works but nothing is read or saved.
  void useSettings(FileSystem& files, ConfigLocations locations);
  // A file the run reads: the settings file is never saved onto it.
  void protectFromSettings(const std::string& name) { readFiles_.push_back(name); }

  // Without permission the screen gets no escape sequences at all (no
  // colours, no cursor movement) and the colour choice is not offered.
  void allowColours(bool allowed) { coloursAllowed_ = allowed; }

  // Told the sequence that gives the screen its plain colours back
  // whenever the colours change; nullptr: no one is told.
  void tellInterrupts(InterruptHandling* interrupts) { interrupts_ = interrupts; }

  // Chooses the screen colours: ' ' asks the user, 'I' loads the settings
  // file at start-up, any other letter selects that scheme. A choice is
  // saved in the settings file; the screen is cleared in the new colours.
  void setScreenColours(char code);

  // Writes one record; its first character is the carriage control. Its
  // kind says what it is to a screen that shows only some records.
  void write(const std::string& record, RecordKind kind = RecordKind::kDialogue);
  // A " >> " line: a change, a refusal or something not read as written.
  void notice(const std::string& record) { write(record, RecordKind::kNotice); }

  // True when a person types the answers (not a pipe or a file).
  bool keyboardIsPerson() const { return terminal_.keyboardIsPerson(); }

  // One text laid out by a two-character code: centred by default, "R"
  // right, "L" left, "D" letter-spaced, "Z" a border line instead of the
  // text, "B" clears the screen first, "|" first/second an empty line
  // before/after.
  void showLine(std::string text, const std::string& code);

  // Asks until an ordinary answer is read; returns its first `length`
  // characters, blank-padded.
  std::string askText(const std::string& prompt, std::size_t length);

  // Asks until the answer is a whole number or empty (which gives 0).
  std::int32_t askInteger(const std::string& prompt);

  void showGeneralInformation();

  // Fixes the date and time of the session, fills the identification,
  // picks the weekday's border pair and sets up the screen.
  void startSession(Clock& clock, const std::string& suiteArgument);

  // Shows the text indented by 19 blanks and ends the program normally.
  [[noreturn]] void stop(const std::string& text);

  // The pause for a system command: reads one line and, unless it is
  // blank, runs it and waits for it.
  void pauseForCommand();

  Identification identification;
  std::string borderPair = "*=";
  ScreenColours colours;
  LocalTime sessionTime;

 private:
  std::string readAnswerLine();

  bool loadColourSettings();
  void saveColourSettings(char code);

  Terminal& terminal_;
  CommandInterpreter& commands_;
  FileSystem* files_ = nullptr;
  bool coloursAllowed_ = true;
  InterruptHandling* interrupts_ = nullptr;
  ConfigLocations locations_;
  std::vector<std::string> readFiles_;
};

// The record that marks a rejected integer answer on the line under it;
// without cursor movement for a screen that takes no escape sequences.
std::string integerErrorRecord(bool cursorMoves = true);

}  // namespace rova
