#include "console/file_dialogue.h"

#include "format/text.h"
#include "format/fields.h"

namespace rova {

namespace {

// Answers are read this long, so that a name longer than a file name may
// be is seen as such rather than cut to another name.
constexpr std::size_t kTypedNameLength = 512;

}  // namespace

std::string FileDialogue::askFileName(const std::string& prompt) {
  for (;;) {
    const std::string answer = console_.askText(prompt, kTypedNameLength);
    const std::size_t first = answer.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    const std::string name(fmt::trimRight(answer.substr(first)));
    if (name.size() <= kFileNameLength) return name;
    console_.notice(" >> A file name may have at most" + fmt::I(kFileNameLength, 3) +
                   " characters; this one has" + fmt::I(name.size(), 4));
  }
}

std::unique_ptr<InputText> FileDialogue::openInputFile(const std::string& label,
                                                       std::string& typedName) {
  for (;;) {
    console_.write(" ");
    console_.write(" " + label);
    const std::string name = askFileName("$  ... Name of EXISTING INPUT file");
    typedName = fixedLength(name, kFileNameLength);
    if (name.empty()) {
      // Nothing typed: there is nothing to read, so the name is asked again.
      console_.notice(" >> A file name is needed: type the name of the fire-history file");
      continue;
    }
    std::string error;
    if (auto file = files_.openForReading(name, error)) return file;
    console_.write(" Cannot open file " + typedName + '\a');
    console_.notice(" >> " + error);
    // An answer script out of step would hand its next answer, a title
    // say, to the shell: without a person at the keyboard the run ends.
    if (!console_.keyboardIsPerson()) {
      throw ProgramStop{1, " >> Cannot open file " + screenSafe(name) + ": " + error};
    }
    console_.pauseForCommand();
  }
}

OutputText* FileDialogue::createOutputFile(OutputTransaction& outputs, const std::string& name,
                                           int unit, std::string& createdName) {
  using Refusal = OutputTransaction::Refusal;
  std::string target = name;
  bool replace = false;
  for (;;) {
    const OutputTransaction::Staged staged = outputs.stage(target, replace);
    if (staged.text != nullptr) {
      createdName = target;
      return staged.text;
    }
    replace = false;
    if (staged.refusal == Refusal::kInputFile || staged.refusal == Refusal::kOtherOutput) {
      console_.notice(" >> " + screenSafe(target) + ": " + staged.reason + "; give another name");
      target = askFileName("$  ... Name of NEW file to create");
      continue;
    }
    console_.write(" Cannot open new file " + target + fmt::I(unit, 6));
    if (staged.refusal != Refusal::kExists) console_.notice(" >> " + staged.reason);
    console_.write(" Overwrite existing file or give new file name");
    const std::string answer = console_.askText("Overwrite existing file?  <Y>/N", 1);
    if (answer == "N") {
      // The new name is checked like the first: one that exists is asked
      // about again, never replaced without a question.
      target = askFileName("$  ... Name of NEW file to create");
    } else {
      replace = true;
    }
  }
}

void FileDialogue::showFileHead(InputText& file, int count) {
  file.rewind();
  console_.write("+First" + fmt::I(count, 3) + " lines");
  for (int i = 0; i < count; ++i) {
    auto line = file.nextLine();
    if (!line) break;
    console_.write(" " + screenSafe(fmt::padded(*line, 80)).substr(0, 79));
  }
  file.rewind();
  std::string ruler = " ";
  for (int group = 1; group <= 8; ++group) ruler += "....:...." + std::to_string(group);
  console_.write(ruler);
}

}  // namespace rova
