// A file system held in memory, for tests: files, folders and links, with
// any step of writing made to fail on request. Names are plain paths; a
// name without "/" lies in the current folder ".", which always exists.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace rova {

class MemoryFileSystem : public FileSystem {
 public:
  // The steps of writing a file that can be made to fail.
  enum class Step { kCreate, kWrite, kClose, kRename, kRemove };

  MemoryFileSystem();

  // The `count`-th call of `step` from now on fails (1: the next one).
  void failAt(Step step, int count, std::string reason = "input/output error");
  // Calls back before every call of a step: tests stop a run there, as an
  // interrupt would.
  void onStep(std::function<void(Step)> callback) { onStep_ = std::move(callback); }

  void addFile(const std::string& name, const std::string& contents);
  void addFolder(const std::string& name);
  void addLink(const std::string& name, const std::string& target);
  void setReadOnly(const std::string& folder);
  // A file system without hard links (FAT, exFAT, many SMB mounts), and
  // one whose kernel cannot rename without replacing.
  void lackHardLinks() { lacksHardLinks_ = true; }
  void lackNoReplaceRename() { lacksNoReplaceRename_ = true; }

  // The contents of a file, links followed; "" with false when absent.
  bool contents(const std::string& name, std::string& bytes) const;
  // Every name that holds something, folders included, sorted.
  std::vector<std::string> names() const;
  bool isLink(const std::string& name) const;
  bool exists(const std::string& name) const { return entries_.count(name) != 0; }

  std::unique_ptr<InputText> openForReading(const std::string& name, std::string& error) override;
  bool makeDirectories(const std::string& path) override;
  PathStatus status(const std::string& name) override;
  std::string resolvedFolder(const std::string& name) override;
  bool folderWritable(const std::string& name) override;
  std::unique_ptr<OutputText> createTemporary(const std::string& besideName,
                                              std::string& temporaryName,
                                              std::string& error) override;
  bool rename(const std::string& from, const std::string& to, bool replace,
              std::string& error) override;
  void remove(const std::string& name) override;
  void syncFolder(const std::string&) override {}
  bool readAll(const std::string& name, std::string& bytes, std::string& error) override;

 private:
  struct Node {
    std::string bytes;
    unsigned long long inode;
  };
  struct Entry {
    PathStatus::Kind kind = PathStatus::Kind::kRegular;
    std::shared_ptr<Node> node;  // files
    std::string linkTarget;      // links
  };
  class Writer;
  class Steps;

  // True (with the reason) when this call of the step is to fail.
  bool fails(Step step, std::string& reason);
  const Entry* follow(const std::string& name) const;
  std::shared_ptr<Node> newNode(const std::string& bytes);

  std::map<std::string, Entry> entries_;
  std::vector<std::string> readOnly_;
  std::map<Step, std::pair<int, std::string>> failures_;
  std::function<void(Step)> onStep_;
  unsigned long long nextInode_ = 1;
  unsigned long long nextTemporary_ = 1;
  bool lacksHardLinks_ = false;
  bool lacksNoReplaceRename_ = false;
};

// The folder part of a path: "." without "/", "/" for a name in the root.
std::string pathFolder(const std::string& name);

}  // namespace rova
