#include "console/console.h"

#include "console/date_time.h"
#include "format/text.h"
#include "format/fields.h"
#include "format/free_format.h"

namespace rova {
namespace {

const char kEscape = '\x1b';
const std::string kClearScreen = "\x1b[2J\x1b[H";
const char* const kBorderTable = "|:*==:=-@=*:|=";

bool holds(const std::string& code, char c) { return code.find(c) != std::string::npos; }

}  // namespace

std::string integerErrorRecord(bool cursorMoves) {
  // ESC[1A moves up to the line of the rejected answer's echo; the blanks
  // clear it and put "INTEGER!" in screen columns 68-75; a second ESC[1A
  // and the bell follow. A screen that takes no escape sequences gets the
  // marker on a line of its own.
  if (!cursorMoves) return " " + fmt::X(67) + "INTEGER!" + '\a';
  return std::string(" ") + kEscape + "[1A" + fmt::X(67) + "INTEGER!" + kEscape + "[1A" + '\a';
}

Console::Console(Terminal& terminal, CommandInterpreter& commands)
    : terminal_(terminal), commands_(commands) {}

void Console::write(const std::string& record, RecordKind kind) {
  terminal_.writeRecord(record, kind);
}

void Console::showLine(std::string text, const std::string& code) {
  const int last = trimmedLength(text);
  int first = 1;
  while (first < last && text[first - 1] == ' ') ++first;
  const int width = last - first + 1;

  int k = (80 - width) / 2;
  if (holds(code, 'R')) {
    k = 80 - width;
  } else if (holds(code, 'L')) {
    k = 1;
  }
  if (k < 2) k = 1;

  if (holds(code, 'B')) {
    if (ScreenColours::isOn(colours.textColour)) {
      write(colours.textColour + kClearScreen);
    } else {
      for (int i = 0; i < 3; ++i) write(" ");
    }
  }
  if (!code.empty() && code[0] == '|') write(" ");

  const std::string shown = text.substr(first - 1, width);
  if (holds(code, 'Z')) {
    std::string border = " ";
    for (int i = 0; i < 40; ++i) border += borderPair;
    write(border);
  } else if (holds(code, 'D')) {
    int spaced = k - 20;
    if (spaced < 2) spaced = 1;
    std::string record = fmt::X(spaced);
    for (char c : shown) {
      record += c;
      record += ' ';
    }
    write(record);
  } else {
    write(fmt::X(k) + shown);
  }
  if (code.size() > 1 && code[1] == '|') write(" ");
}

std::string Console::readAnswerLine() {
  auto line = terminal_.readLine();
  if (!line) throw ProgramStop{1, " >> End of keyboard input: ROVA stops before the run is complete"};
  return *line;
}

void Console::stop(const std::string& text) {
  std::string tail = " ";
  if (ScreenColours::isOn(colours.exitColour)) tail = colours.exitColour.substr(1);
  write(fmt::X(20) + text + tail);
  write(" ");
  throw ProgramStop{0, ""};
}

void Console::pauseForCommand() {
  write(" Pause - Please enter a blank line (to continue) or a DOS command.");
  std::string command = readAnswerLine().substr(0, 128);
  while (!command.empty() && (command.back() == ' ' || command.back() == '\t')) command.pop_back();
  if (!command.empty()) commands_.run(command);
}

std::string Console::askText(const std::string& promptText, std::size_t length) {
  std::string prompt = promptText;
  for (;;) {
    const int n = trimmedLength(prompt);
    const std::string typing =
        ScreenColours::isOn(colours.typingColour) ? colours.typingColour : std::string(" ");
    const char marker = prompt.empty() ? ' ' : prompt[0];
    const char second = prompt.size() > 1 ? prompt[1] : ' ';
    bool keepCase = false;
    if (marker == '|') {
      write(" ");
      write(" " + prompt.substr(1, n - 1) + " =>" + typing);
    } else if (marker == '$') {
      keepCase = true;
      const int from = second == '|' ? 3 : 2;
      if (second == '|') write(" ");
      write(" " + prompt.substr(from - 1, n - from + 1) + " =>" + typing);
    } else if (marker == '/') {
      stop(prompt.substr(1, n - 1));
    } else if (marker == '!') {
      keepCase = true;
      if (ScreenColours::isOn(colours.exitColour)) {
        write(" " + prompt.substr(1, n - 1) + " =>" + kEscape + "[8m ");
      } else {
        write(" " + prompt.substr(1, n - 1) + " ");
      }
    } else {
      write(" " + prompt.substr(0, n) + " =>" + typing);
    }

    std::string answer = fixedLength(readAnswerLine(), length);
    if (ScreenColours::isOn(colours.textColour)) write(colours.textColour);

    const char first = answer.empty() ? ' ' : answer[0];
    if (first == '/' && (length == 1 || answer[1] == ' ')) {
      colours.textColour = colours.exitColour;
      showLine(" ", "B_");
      stop("Exit");
    }
    if (first == '~') {
      setScreenColours(' ');
      continue;
    }
    if (first == '?') {
      showGeneralInformation();
      continue;
    }
    if (first == '`') {
      pauseForCommand();
      continue;
    }
    if (!keepCase) toUpperCase(answer);
    if (marker == '!' && ScreenColours::isOn(colours.textColour)) write(colours.textColour);
    return answer;
  }
}

std::int32_t Console::askInteger(const std::string& prompt) {
  for (;;) {
    std::string answer = askText(prompt, 10);
    const int n = trimmedLength(answer);
    if (auto value = readInteger(answer.substr(0, n))) return *value;
    // Nothing but blanks and tabs is an empty answer.
    if (answer.find_first_not_of(std::string(" \t\0", 3)) == std::string::npos) return 0;
    write(integerErrorRecord(coloursAllowed_));
  }
}

void Console::showGeneralInformation() {
  showLine("*=", "BZ");
  static const char* const kLines[] = {
      "",
      "GENERAL INFORMATION ABOUT THE HOLTWOOD",
      "",
      "A prompt on the screen ending with  =>  requests a response from you.",
      "Your response may be in either upper or lower case letters.",
      "The symbol <CR> means the ENTER or RETURN key.",
      "Default responses are displayed within angle brackets < > and are obtained",
      "  by simply pressing the ENTER key without typing anything, for example:",
      "  <Y>/N =>  indicates that pressing the ENTER key is a reply of YES.",
      "Responding to any prompt with a slash (/) exits the program.",
      "Responding with a reverse apostrophe (`) allows you in the PC version to",
      "  give a DOS command within the program; for example, DIR for a Directory,",
      "  or TRAXHELP to access the TRAXDB Help files.",
      "Responding with a tilde (~) allows you to change screen colors.",
      ""};
  for (const char* line : kLines) write(std::string(" ") + line);
  showLine("*=", "Z|");
}

void Console::startSession(Clock& clock, const std::string& suiteArgument) {
  sessionTime = clock.now();
  const LocalTime& t = sessionTime;
  const int yy = t.year % 100;
  const int year = expandTwoDigitYear(yy);
  const int day = dayNumber(year, t.month, t.day);
  const int weekday = weekdayIndex(day);
  const char* month = kMonthNames[(t.month - 1) % 12];

  const std::string dayOfMonth = twoDigits(t.day);
  const std::string hour = twoDigits(t.hour);
  const std::string minute = twoDigits(t.minute);
  Identification id;
  id.dayNumber = day;
  id.clockText = fmt::Line(hour + ":" + minute).x(2).a(kWeekdayNames[weekday - 1]).x(1)
                     .a(dayOfMonth).x(1).a(month).i(year, 5);
  id.stamp = fmt::Line("[").a(dayOfMonth).a(month).i(yy, 2).a("-").a(hour).a(minute).a("]");
  std::string suite = suiteArgument;
  if (suite.empty() || suite[0] == ' ') {
    suite = "HOLTWOOD";
  } else if (suite[0] == '@') {
    suite = "FENWOOD";
  }
  id.suiteName = suite;
  identification = id;

  borderPair = std::string(kBorderTable + 2 * (weekday - 1), 2);
  setScreenColours('I');
}

}  // namespace rova
