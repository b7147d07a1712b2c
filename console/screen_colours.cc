// Screen colour schemes and the one-line settings file that keeps the
// choice between runs.
//
// A colour sequence is 11 characters: a carriage control ('+' for text and
// exit colours, so writing them does not move the cursor; a blank for the
// typing colour, which follows the prompt), ESC, "[", the attribute digit,
// ";3", the foreground digit, ";4", the background digit and "m".
//
// The settings file holds "P" and nine digits (attribute, foreground and
// background of the text, typing and exit colours), or "P" and nine NUL
// characters for colours off. Lines of a key "S", "T" or "X" followed by a
// whole 11-character sequence are read too.
#include <cstring>

#include "console/console.h"
#include "format/fields.h"
#include "format/text.h"
#include "platform/output_transaction.h"

namespace rova {
namespace {

const char kEscape = '\x1b';

std::string sequence(char control, const std::string& sgr) { return std::string{control, kEscape} + sgr; }

std::string sequenceFromDigits(char control, char attribute, char foreground, char background) {
  return sequence(control, std::string("[") + attribute + ";3" + foreground + ";4" + background + "m");
}

struct Scheme {
  char code;
  const char* text;
  const char* typing;
};

constexpr Scheme kSchemes[] = {
    {'S', "[1;33;41m", "[1;37;41m"}, {'D', "[1;33;43m", "[1;37;43m"},
    {'F', "[1;32;40m", "[1;33;40m"}, {'C', "[1;37;44m", "[1;33;44m"},
    {'M', "[0;37;44m", "[1;33;44m"}, {'O', "[0;34;46m", "[1;33;46m"},
    {'T', "[0;30;47m", "[0;34;47m"},
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isColourDigit(char c) { return (c >= '0' && c <= '7') || c == '9'; }

// A stored sequence is taken only when it is off (NUL first) or has the
// shape of a colour sequence: anything else would send arbitrary bytes to
// the terminal.
bool usableSequence(const std::string& value) {
  if (value[0] == '\0') return true;
  if (value[0] != '+' && value[0] != ' ') return false;
  return value.compare(2, 1, "[") == 0 && isDigit(value[3]) && value.compare(4, 2, ";3") == 0 &&
         isColourDigit(value[6]) && value.compare(7, 2, ";4") == 0 && isColourDigit(value[9]) &&
         value[10] == 'm';
}

bool usableDigits(const std::string& digits) {
  for (int i = 0; i < 9; i += 3) {
    if (!isDigit(digits[i]) || !isColourDigit(digits[i + 1]) || !isColourDigit(digits[i + 2]))
      return false;
  }
  return true;
}

void switchOff(ScreenColours& colours) {
  colours.textColour.assign(11, '\0');
  colours.typingColour.assign(11, '\0');
  colours.exitColour.assign(11, '\0');
}

void showColourMenu(Console& console) {
  console.write(" ");
  console.write("     SCREEN COLORS: CODE  NAME    TEXT    SCREEN  TYPING");
  for (const char* row : {"S   Sunset  Yellow  Red     White", "D   Desert  Yellow  Brown   White",
                          "F   Forest  Green   Black   Yellow", "C   Cielo   White   Blue    Yellow",
                          "M   Monochr Gray    Blue    Yellow", "O   Ocean * Blue    Cyan    Yellow",
                          "T   Times * Black   White   Blue", "X   (if ANSI.SYS is not enabled on PC)"}) {
    console.write(fmt::X(22) + row);
  }
  console.write(fmt::X(32) + "* = Not recommended for monochrome monitors");
  console.write(" Screen color code => ");
}

}  // namespace

void Console::useSettings(FileSystem& files, ConfigLocations locations) {
  files_ = &files;
  locations_ = std::move(locations);
}

bool Console::loadColourSettings() {
  if (files_ == nullptr) return false;
  for (const std::string& path : locations_.settingsFiles) {
    std::string error;
    auto file = files_->openForReading(path, error);
    if (!file) continue;
    for (int i = 0; i < 3; ++i) {
      auto line = file->nextLine();
      if (!line || line->empty()) break;
      const char key = (*line)[0];
      const std::string value = fmt::padded(line->substr(1), 11);
      if (key == 'P') {
        if (value[0] == '\0') {
          switchOff(colours);
        } else if (usableDigits(value)) {
          colours.textColour = sequenceFromDigits('+', value[0], value[1], value[2]);
          colours.typingColour = sequenceFromDigits(' ', value[3], value[4], value[5]);
          colours.exitColour = sequenceFromDigits('+', value[6], value[7], value[8]);
        }
        break;
      }
      std::string* target = key == 'S'   ? &colours.textColour
                            : key == 'T' ? &colours.typingColour
                            : key == 'X' ? &colours.exitColour
                                         : nullptr;
      if (target != nullptr && usableSequence(value)) *target = value;
    }
    return true;
  }
  return false;
}

void Console::saveColourSettings(char code) {
  if (files_ == nullptr) return;
  std::string line = "P";
  if (code == 'X') {
    line += std::string(9, '\0');
  } else {
    for (const std::string* s : {&colours.textColour, &colours.typingColour, &colours.exitColour}) {
      line += std::string{(*s)[3], (*s)[6], (*s)[9]};
    }
  }
  if (!locations_.configDirectory.empty()) files_->makeDirectories(locations_.configDirectory);
  // Written whole or not at all, like every output: a settings file is
  // never left cut short.
  // A settings file that is a link (kept with the user's other
  // configuration elsewhere) stays one: the file it leads to is replaced.
  for (const std::string& path : locations_.settingsFiles) {
    OutputTransaction settings(*files_);
    for (const std::string& name : readFiles_) settings.protect(name);
    OutputText* file = settings.stage(files_->followLinks(path), true).text;
    if (file == nullptr) continue;
    file->writeLine(line);
    const OutputTransaction::CommitResult result = settings.commit();
    for (const std::string& name : result.leftoversRemoved) {
      notice(" >> removed " + screenSafe(name) +
            ", a temporary file left by an earlier run that was killed");
    }
    if (result.ok) return;
  }
}

void Console::setScreenColours(char code) {
  if (!coloursAllowed_) {
    if (code == ' ') {
      notice(" >> Colours are off: NO_COLOR is set, TERM is dumb or the screen is not a terminal");
      return;
    }
    switchOff(colours);
    if (interrupts_ != nullptr) interrupts_->setRestoreSequence("");
    showLine(" ", "B|");
    return;
  }
  colours.textColour = sequence('+', "[0;37;44m");
  colours.typingColour = sequence(' ', "[1;33;44m");
  colours.exitColour = sequence('+', "[0;37;40m");

  if (code == ' ') {
    showColourMenu(*this);
    std::string answer = readAnswerLine();
    code = answer.empty() ? ' ' : answer[0];
    if (code >= 'a' && code <= 'z') code = static_cast<char>(code - 32);
  } else if (loadColourSettings()) {
    code = '|';
  }

  if (code == ' ') code = 'S';
  if (code == 'I') code = '|';  // Monochr, the entry values, not saved
  if (code == 'X') {
    switchOff(colours);
  } else if (code == '/') {
    colours.textColour = colours.exitColour;
    showLine(" ", "B_");
    stop("Exit");
  } else {
    for (const Scheme& scheme : kSchemes) {
      if (scheme.code == code) {
        colours.textColour = sequence('+', scheme.text);
        colours.typingColour = sequence(' ', scheme.typing);
      }
    }
  }
  for (std::string* s : {&colours.textColour, &colours.typingColour, &colours.exitColour}) {
    (*s)[1] = kEscape;
  }
  if (interrupts_ != nullptr) {
    interrupts_->setRestoreSequence(ScreenColours::isOn(colours.exitColour) ? colours.exitColour.substr(1)
                                                                             : "");
  }
  showLine(" ", "B|");
  if (code != '|') saveColourSettings(code);
}

}  // namespace rova
