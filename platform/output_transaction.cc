#include "platform/output_transaction.h"

#include <map>

#include "platform/interrupts.h"

namespace rova {

std::string lastPathPart(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

OutputTransaction::Identity OutputTransaction::identify(const std::string& name) {
  return Identity{files_.resolvedFolder(name), lastPathPart(name), files_.status(name)};
}

// Two names are one file when they name the same entry of the same folder,
// or when both lead to the same existing file.
bool OutputTransaction::sameFile(const Identity& a, const Identity& b) const {
  if (!a.folder.empty() && a.folder == b.folder && a.name == b.name) return true;
  return a.status.leadsSomewhere() && a.status.device == b.status.device &&
         a.status.inode == b.status.inode;
}

void OutputTransaction::protect(const std::string& name) {
  if (!name.empty()) protected_.push_back(identify(name));
}

std::string OutputTransaction::checkReplaceable(const std::string& finalName, bool replace,
                                                Refusal& refusal) {
  refusal = Refusal::kNotReplaceable;
  if (finalName.empty() || lastPathPart(finalName).empty()) return "no file name";
  if (std::string reason = files_.nameRefusal(finalName); !reason.empty()) return reason;
  if (files_.resolvedFolder(finalName).empty()) return "its folder does not exist";
  const PathStatus status = files_.status(finalName);
  if (status.kind == PathStatus::Kind::kDirectory) return "it is a folder";
  if (status.kind == PathStatus::Kind::kOther) return "it is not a regular file";
  if (!files_.folderWritable(finalName)) return "its folder cannot be written";
  if (status.kind != PathStatus::Kind::kMissing && !replace) {
    refusal = Refusal::kExists;
    return "it exists";
  }
  if (status.kind != PathStatus::Kind::kMissing) {
    std::string reason = files_.replaceRefusal(finalName);
    if (!reason.empty()) return reason;
  }
  refusal = Refusal::kNone;
  return "";
}

OutputTransaction::Refusal OutputTransaction::check(const std::string& finalName, bool replace,
                                                    std::string& reason) {
  const Identity wanted = identify(finalName);
  for (const Identity& input : protected_) {
    if (sameFile(wanted, input)) {
      reason = "it is the input file";
      return Refusal::kInputFile;
    }
  }
  for (const Output& output : outputs_) {
    if (sameFile(wanted, identify(output.finalName))) {
      reason = "another output of this run has that name";
      return Refusal::kOtherOutput;
    }
  }
  Refusal refusal = Refusal::kNone;
  reason = checkReplaceable(finalName, replace, refusal);
  return refusal;
}

OutputTransaction::Staged OutputTransaction::stage(const std::string& finalName, bool replace) {
  Staged staged;
  staged.refusal = check(finalName, replace, staged.reason);
  if (staged.refusal != Refusal::kNone) return staged;
  for (std::string& name : files_.removeLeftovers(finalName))
    leftoversRemoved_.push_back(std::move(name));
  Output output{finalName, "", replace, nullptr};
  output.text = files_.createTemporary(finalName, output.temporaryName, staged.reason);
  if (!output.text) {
    staged.refusal = Refusal::kFailed;
    return staged;
  }
  staged.text = output.text.get();
  outputs_.push_back(std::move(output));
  return staged;
}

bool OutputTransaction::closeAll(CommitResult& result) {
  for (Output& output : outputs_) {
    std::string error;
    if (!output.text->close(error) && result.ok) {
      result.ok = false;
      result.failure = "cannot write " + output.finalName + ": " + error;
    }
  }
  return result.ok;
}

OutputTransaction::CommitResult OutputTransaction::commit() {
  CommitResult result;
  result.leftoversRemoved = std::move(leftoversRemoved_);
  leftoversRemoved_.clear();
  if (!closeAll(result)) {
    abandon();
    return result;
  }
  // While this run puts its files in place, no other run does in the same
  // folders: two runs writing the same outputs never interleave them. The
  // folders are locked in one order, so that two runs never wait for each
  // other.
  std::map<std::string, std::string> folders;  // resolved folder -> a name in it
  for (const Output& output : outputs_)
    folders.emplace(files_.resolvedFolder(output.finalName), output.finalName);
  std::vector<std::unique_ptr<FileSystem::FolderLock>> locks;
  for (const auto& [folder, name] : folders) {
    std::string error;
    locks.push_back(files_.lockFolder(name, error));
    if (!locks.back()) {
      result.ok = false;
      result.failure = "cannot write " + name + ": " + error;
      abandon();
      return result;
    }
  }
  // Every final name is checked again before the first rename, under the
  // locks: the folders may have changed while the run wrote its files.
  for (const Output& output : outputs_) {
    Refusal refusal = Refusal::kNone;
    const std::string reason = checkReplaceable(output.finalName, output.replace, refusal);
    if (refusal != Refusal::kNone) {
      result.ok = false;
      result.failure = "cannot write " + output.finalName + ": " + reason;
      abandon();
      return result;
    }
  }
  // From the first rename to the last, an interrupt waits: a set of
  // outputs half new and half old is what this class exists to prevent.
  InterruptsHeld held;
  // New names first: should one be refused (a file of that name appeared
  // meanwhile, a device went away), the new files already placed, the
  // run's own, are removed again and nothing has changed. Replacements
  // last: once an old file is replaced it is gone, and a failure after it
  // names the files in place.
  std::vector<bool> placed(outputs_.size(), false);
  bool replacedAny = false;
  for (const bool replacing : {false, true}) {
    for (std::size_t i = 0; i < outputs_.size(); ++i) {
      const Output& output = outputs_[i];
      if (output.replace != replacing) continue;
      std::string error;
      if (files_.rename(output.temporaryName, output.finalName, output.replace, error)) {
        placed[i] = true;
        replacedAny = replacedAny || replacing;
        continue;
      }
      result.ok = false;
      result.failure = "cannot write " + output.finalName + ": " + error;
      std::vector<Output> unplaced;
      for (std::size_t k = 0; k < outputs_.size(); ++k) {
        if (!placed[k]) {
          unplaced.push_back(std::move(outputs_[k]));
        } else if (!replacedAny) {
          files_.remove(outputs_[k].finalName);
        } else {
          result.written.push_back(outputs_[k].finalName);
        }
      }
      outputs_ = std::move(unplaced);
      abandon();
      return result;
    }
  }
  for (const Output& output : outputs_) result.written.push_back(output.finalName);
  for (const std::string& name : result.written) files_.syncFolder(name);
  outputs_.clear();
  held.placed();
  return result;
}

void OutputTransaction::abandon() {
  for (Output& output : outputs_) {
    if (output.text) {
      std::string ignored;
      output.text->close(ignored);
    }
    files_.remove(output.temporaryName);
  }
  outputs_.clear();
}

}  // namespace rova
