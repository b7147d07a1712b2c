#include "platform/memory_file_system.h"

#include <cerrno>
#include <cstring>
#include <functional>

#include "platform/placing.h"

namespace rova {

std::string pathFolder(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return name.substr(0, slash);
}

// Keeps what is written until close(), which puts it into the file; a
// failed write or close leaves the file as it was created.
class MemoryFileSystem::Writer : public OutputText {
 public:
  Writer(MemoryFileSystem& files, std::shared_ptr<Node> node) : files_(files), node_(std::move(node)) {}
  void writeLine(std::string_view line) override {
    if (closed_ || !error_.empty()) return;
    files_.fails(Step::kWrite, error_);
    buffer_ += line;
    buffer_ += '\n';
  }
  void write(std::string_view bytes) override {
    if (closed_ || !error_.empty()) return;
    files_.fails(Step::kWrite, error_);
    buffer_ += bytes;
  }
  bool close(std::string& error) override {
    if (!closed_) {
      closed_ = true;
      if (error_.empty() && !files_.fails(Step::kClose, error_)) node_->bytes += buffer_;
    }
    if (error_.empty()) return true;
    error = error_;
    return false;
  }

 private:
  MemoryFileSystem& files_;
  std::shared_ptr<Node> node_;
  std::string buffer_;
  std::string error_;
  bool closed_ = false;
};

// The steps of putting a file in place, as the file system was told to
// have them.
class MemoryFileSystem::Steps : public PlacingSteps {
 public:
  explicit Steps(MemoryFileSystem& files) : files_(files) {}
  int renameNoReplace(const std::string& from, const std::string& to) override {
    if (files_.lacksNoReplaceRename_) return EINVAL;
    if (files_.entries_.count(to) != 0) return EEXIST;
    return renameOver(from, to);
  }
  int link(const std::string& from, const std::string& to) override {
    if (files_.lacksHardLinks_) return EPERM;
    if (files_.entries_.count(to) != 0) return EEXIST;
    files_.entries_[to] = files_.entries_.at(from);
    return 0;
  }
  int createExclusive(const std::string& to) override {
    if (files_.entries_.count(to) != 0) return EEXIST;
    files_.entries_[to] = Entry{PathStatus::Kind::kRegular, files_.newNode(""), ""};
    return 0;
  }
  int renameOver(const std::string& from, const std::string& to) override {
    auto source = files_.entries_.find(from);
    if (source == files_.entries_.end()) return ENOENT;
    Entry moved = source->second;
    files_.entries_.erase(source);
    files_.entries_[to] = moved;
    return 0;
  }
  int unlink(const std::string& name) override {
    return files_.entries_.erase(name) != 0 ? 0 : ENOENT;
  }

 private:
  MemoryFileSystem& files_;
};

MemoryFileSystem::MemoryFileSystem() { addFolder("."); }

void MemoryFileSystem::failAt(Step step, int count, std::string reason) {
  failures_[step] = {count, std::move(reason)};
}

bool MemoryFileSystem::fails(Step step, std::string& reason) {
  if (onStep_) onStep_(step);
  auto it = failures_.find(step);
  if (it == failures_.end() || --it->second.first > 0) return false;
  reason = it->second.second;
  failures_.erase(it);
  return true;
}

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::newNode(const std::string& bytes) {
  return std::make_shared<Node>(Node{bytes, nextInode_++});
}

void MemoryFileSystem::addFile(const std::string& name, const std::string& contents) {
  entries_[name] = Entry{PathStatus::Kind::kRegular, newNode(contents), ""};
}

void MemoryFileSystem::addFolder(const std::string& name) {
  entries_[name] = Entry{PathStatus::Kind::kDirectory, newNode(""), ""};
}

void MemoryFileSystem::addLink(const std::string& name, const std::string& target) {
  entries_[name] = Entry{PathStatus::Kind::kLink, nullptr, target};
}

void MemoryFileSystem::setReadOnly(const std::string& folder) { readOnly_.push_back(folder); }

const MemoryFileSystem::Entry* MemoryFileSystem::follow(const std::string& name) const {
  std::string current = name;
  for (int hops = 0; hops < 8; ++hops) {
    auto it = entries_.find(current);
    if (it == entries_.end()) return nullptr;
    if (it->second.kind != PathStatus::Kind::kLink) return &it->second;
    current = it->second.linkTarget;
  }
  return nullptr;
}

bool MemoryFileSystem::contents(const std::string& name, std::string& bytes) const {
  const Entry* entry = follow(name);
  if (entry == nullptr || entry->kind != PathStatus::Kind::kRegular) return false;
  bytes = entry->node->bytes;
  return true;
}

std::vector<std::string> MemoryFileSystem::names() const {
  std::vector<std::string> all;
  for (const auto& [name, entry] : entries_)
    if (name != ".") all.push_back(name);
  return all;
}

bool MemoryFileSystem::isLink(const std::string& name) const {
  auto it = entries_.find(name);
  return it != entries_.end() && it->second.kind == PathStatus::Kind::kLink;
}

bool MemoryFileSystem::readAll(const std::string& name, std::string& bytes, std::string& error) {
  const Entry* entry = follow(name);
  if (entry == nullptr) {
    error = "No such file or directory";
    return false;
  }
  if (entry->kind != PathStatus::Kind::kRegular) {
    error = "it is not a regular file";
    return false;
  }
  bytes = entry->node->bytes;
  return true;
}

std::unique_ptr<InputText> MemoryFileSystem::openForReading(const std::string& name,
                                                            std::string& error) {
  std::string bytes;
  if (!readAll(name, bytes, error)) return nullptr;
  error = textLimitReason(bytes);
  if (!error.empty()) return nullptr;
  return std::make_unique<InputText>(textOf(bytes));
}

bool MemoryFileSystem::makeDirectories(const std::string& path) {
  auto it = entries_.find(path);
  if (it != entries_.end()) return it->second.kind == PathStatus::Kind::kDirectory;
  addFolder(path);
  return true;
}

PathStatus MemoryFileSystem::status(const std::string& name) {
  PathStatus result;
  auto it = entries_.find(name);
  if (it == entries_.end()) return result;
  result.kind = it->second.kind;
  if (const Entry* target = follow(name)) {
    result.device = 1;
    result.inode = target->node->inode;
  }
  return result;
}

std::string MemoryFileSystem::resolvedFolder(const std::string& name) {
  const std::string folder = pathFolder(name);
  const Entry* entry = follow(folder);
  if (entry == nullptr || entry->kind != PathStatus::Kind::kDirectory) return "";
  return "/memory/" + std::to_string(entry->node->inode);
}

bool MemoryFileSystem::folderWritable(const std::string& name) {
  const std::string folder = pathFolder(name);
  for (const std::string& locked : readOnly_)
    if (locked == folder) return false;
  return !resolvedFolder(name).empty();
}

std::unique_ptr<OutputText> MemoryFileSystem::createTemporary(const std::string& besideName,
                                                              std::string& temporaryName,
                                                              std::string& error) {
  if (fails(Step::kCreate, error)) return nullptr;
  if (!folderWritable(besideName)) {
    error = "Permission denied";
    return nullptr;
  }
  const std::string folder = pathFolder(besideName);
  const std::string prefix = besideName.find('/') == std::string::npos ? "" : folder + "/";
  temporaryName = prefix + ".rova-" + std::to_string(nextTemporary_++) + ".tmp";
  auto node = newNode("");
  entries_[temporaryName] = Entry{PathStatus::Kind::kRegular, node, ""};
  return std::make_unique<Writer>(*this, node);
}

bool MemoryFileSystem::rename(const std::string& from, const std::string& to, bool replace,
                              std::string& error) {
  if (fails(Step::kRename, error)) return false;
  auto source = entries_.find(from);
  if (source == entries_.end()) {
    error = "No such file or directory";
    return false;
  }
  if (!replace) {
    Steps steps(*this);
    const int result = placeWithoutReplacing(steps, from, to);
    if (result != 0) error = std::strerror(result);
    return result == 0;
  }
  auto target = entries_.find(to);
  if (target != entries_.end()) {
    if (target->second.kind == PathStatus::Kind::kDirectory) {
      error = "Is a directory";
      return false;
    }
  }
  Entry moved = source->second;
  entries_.erase(source);
  entries_[to] = moved;
  return true;
}

void MemoryFileSystem::remove(const std::string& name) {
  std::string ignored;
  if (fails(Step::kRemove, ignored)) return;
  auto it = entries_.find(name);
  if (it != entries_.end() && it->second.kind != PathStatus::Kind::kDirectory) entries_.erase(it);
}

}  // namespace rova
