// The output files of one run, written whole or not at all.
//
// Each output is written to a temporary file of its own, created beside
// its final name (exclusively, under an unpredictable name, never through
// a link). Nothing appears under a final name until commit(): it closes
// and checks every file, checks that every final name can still be taken,
// and only then renames the files onto their final names. A run that
// fails, or an object destroyed without commit(), removes its temporary
// files and leaves every existing file as it was.
//
// Life of one output:
//
//   stage() --> temporary file, written by the caller --> commit(): closed,
//      |                                                  checked, renamed
//      +--> refused (exists, is an input, is another output, cannot be
//           replaced): nothing created
//   abandon() or destruction before commit(): temporary removed
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace rova {

class OutputTransaction {
 public:
  enum class Refusal {
    kNone,
    kExists,          // the final name exists and may not be replaced
    kInputFile,       // the final name is, or leads to, a file the run reads
    kOtherOutput,     // another output of this run has that name
    kNotReplaceable,  // a folder, or its folder cannot be written
    kFailed,          // the temporary file could not be created
  };

  struct Staged {
    OutputText* text = nullptr;  // owned by the transaction; nullptr when refused
    Refusal refusal = Refusal::kNone;
    std::string reason;  // for a refusal: why, in a few words
  };

  struct CommitResult {
    bool ok = true;
    std::vector<std::string> written;  // final names now in place, in staging order
    std::string failure;               // when !ok: what went wrong, naming the file
    // Temporary files that killed runs had left beside the outputs,
    // removed when the outputs were staged.
    std::vector<std::string> leftoversRemoved;
  };

  explicit OutputTransaction(FileSystem& files) : files_(files) {}
  ~OutputTransaction() { abandon(); }
  OutputTransaction(const OutputTransaction&) = delete;
  OutputTransaction& operator=(const OutputTransaction&) = delete;

  // A file that the run reads: no output may be or lead to it.
  void protect(const std::string& name);

  // What stage() would refuse for `finalName`, with the reason, without
  // creating anything.
  Refusal check(const std::string& finalName, bool replace, std::string& reason);

  // Starts an output under `finalName`. Without `replace`, an existing
  // entry of that name refuses it (kExists).
  Staged stage(const std::string& finalName, bool replace);

  // Closes every output, then gives each its final name: the new names
  // first, then the replaced ones. On a failure before the first
  // replacement nothing is left changed (new files already placed are
  // removed again); a failure after it names the files in place.
  CommitResult commit();

  // Removes every temporary file not yet committed.
  void abandon();

  bool empty() const { return outputs_.empty(); }

 private:
  struct Output {
    std::string finalName;
    std::string temporaryName;
    bool replace = false;
    std::unique_ptr<OutputText> text;
  };
  struct Identity {
    std::string folder;  // resolved folder
    std::string name;    // last part of the path
    PathStatus status;
  };

  Identity identify(const std::string& name);
  bool sameFile(const Identity& a, const Identity& b) const;
  std::string checkReplaceable(const std::string& finalName, bool replace, Refusal& refusal);
  bool closeAll(CommitResult& result);

  FileSystem& files_;
  std::vector<Identity> protected_;
  std::vector<Output> outputs_;
  std::vector<std::string> leftoversRemoved_;
};

// The last part of a path (after the last "/").
std::string lastPathPart(const std::string& path);

}  // namespace rova
