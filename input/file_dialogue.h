// Opening the run's files with the console dialogues that go with them:
// the name of an existing input file (asked again until one opens), new
// output files (with the overwrite dialogue when one cannot be created),
// and the preview of the first lines of a file.
#pragma once

#include <memory>
#include <string>

#include "console/console.h"
#include "platform/platform.h"

namespace rova {

constexpr std::size_t kFileNameLength = 40;

class FileDialogue {
 public:
  FileDialogue(Console& console, FileSystem& files) : console_(console), files_(files) {}

  // Shows the label, asks for the name of an existing input file and opens
  // it, asking again after a failure. `typedName` receives the answer as
  // typed (40 characters). A blank answer gives an empty text.
  std::unique_ptr<InputText> openInputFile(const std::string& label, std::string& typedName);

  // Creates a new output file named by `name` with its blanks removed;
  // when that fails, asks whether to overwrite it or for another name,
  // until a file opens. `unit` is the file's number in the messages.
  // `createdName` receives the name of the file opened.
  std::unique_ptr<OutputText> createOutputFile(const std::string& name, int unit,
                                               std::string& createdName);

  // Shows the first `count` lines of the file, each cut to 79 columns with
  // control and non-ASCII characters as "_", then a column ruler. The file
  // is left rewound.
  void showFileHead(InputText& file, int count);

 private:
  Console& console_;
  FileSystem& files_;
};

}  // namespace rova
