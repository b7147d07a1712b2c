#include "input/file_dialogue.h"

#include "console/text.h"
#include "format/fields.h"

namespace rova {

std::unique_ptr<InputText> FileDialogue::openInputFile(const std::string& label,
                                                       std::string& typedName) {
  for (;;) {
    console_.write(" ");
    console_.write(" " + label);
    std::string answer = console_.askText("$  ... Name of EXISTING INPUT file", kFileNameLength);
    typedName = answer;
    if (answer[0] == ' ') return std::make_unique<InputText>(std::vector<std::string>{});
    std::string error;
    if (auto file = files_.openForReading(packName(answer), error)) return file;
    console_.write(" Cannot open file " + answer + '\a');
    console_.write(" >> " + error);
    console_.pauseForCommand();
  }
}

std::unique_ptr<OutputText> FileDialogue::createOutputFile(const std::string& name, int unit,
                                                           std::string& createdName) {
  std::string target = packName(name);
  std::string error;
  bool exists = false;
  if (auto file = files_.create(target, CreateMode::kNewOnly, error, exists)) {
    createdName = target;
    return file;
  }
  for (;;) {
    console_.write(" Cannot open new file " + std::string(fmt::trimRight(target)) + fmt::I(unit, 6));
    if (!exists) console_.write(" >> " + error);
    console_.write(" Overwrite existing file or give new file name");
    std::string answer = console_.askText("Overwrite existing file?  <Y>/N", 1);
    if (answer == "N") {
      target = packName(console_.askText("$  ... Name of NEW file to create", kFileNameLength));
    }
    if (auto file = files_.create(target, CreateMode::kReplace, error, exists)) {
      createdName = target;
      return file;
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
