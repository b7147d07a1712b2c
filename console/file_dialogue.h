// Opening the run's files with the console dialogues that go with them:
// the name of an existing input file (asked again until one opens), new
// output files (with the overwrite dialogue when one cannot be created),
// and the preview of the first lines of a file.
#pragma once

#include <memory>
#include <string>

#include "console/console.h"
#include "platform/output_transaction.h"
#include "platform/platform.h"

namespace rova {

constexpr std::size_t kFileNameLength = 40;

class FileDialogue {
 public:
  FileDialogue(Console& console, FileSystem& files) : console_(console), files_(files) {}

  // Shows the label, asks for the name of an existing input file and opens
  // it, asking again after a failure while a person types the answers;
  // when the answers come from a pipe or a file, a failure stops the run.
  // `typedName` receives the name (40 characters). An answer of blanks
  // is asked again.
  std::unique_ptr<InputText> openInputFile(const std::string& label, std::string& typedName);

  // Starts the output file `name` in the run's outputs. When that name
  // exists, asks whether to overwrite it or for another name; a name that
  // is the input file or another output of the run is refused and another
  // asked for. `unit` is the file's number in the messages; `createdName`
  // receives the name the file will have. The text is owned by `outputs`.
  OutputText* createOutputFile(OutputTransaction& outputs, const std::string& name, int unit,
                               std::string& createdName);

  // Shows the first `count` lines of the file, each cut to 79 columns with
  // control and non-ASCII characters as "_", then a column ruler. The file
  // is left rewound.
  void showFileHead(InputText& file, int count);

 private:
  // A typed file name without its leading and trailing blanks, asked
  // again while it is longer than a name may be.
  std::string askFileName(const std::string& prompt);

  Console& console_;
  FileSystem& files_;
};

}  // namespace rova
