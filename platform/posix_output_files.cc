// The POSIX side of writing output files: temporary files created
// exclusively under unpredictable names, their checked writing and
// closing, and the names and folders that the output transaction checks.
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <signal.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/interrupts.h"
#include "platform/output_transaction.h"
#include "platform/placing.h"
#include "platform/posix_platform.h"

namespace rova {
namespace {

// Buffers what is written and hands it to the descriptor in blocks of
// about a MiB (a report of hundreds of megabytes takes a few hundred
// system calls); a block of that size or more given at once is written
// straight from where it is. Every write, the sync and the close are
// checked, and the first error is kept.
class FileOutputText : public OutputText {
 public:
  FileOutputText(int fd, std::string finalName) : fd_(fd), finalName_(std::move(finalName)) {}
  ~FileOutputText() override {
    if (fd_ >= 0) ::close(fd_);
  }
  void writeLine(std::string_view line) override {
    buffer_ += line;
    buffer_ += '\n';
    if (buffer_.size() >= kBlock) flushOrThrow();
  }
  void write(std::string_view bytes) override {
    if (bytes.size() >= kBlock) {
      flushOrThrow();
      writeAll(bytes.data(), bytes.size());
      throwOnError();
      return;
    }
    buffer_ += bytes;
    if (buffer_.size() >= kBlock) flushOrThrow();
  }
  bool close(std::string& error) override {
    if (fd_ >= 0) {
      flush();
      if (error_.empty() && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        error_ = std::strerror(errno);
      }
      if (::close(fd_) != 0 && error_.empty()) error_ = std::strerror(errno);
      fd_ = -1;
    }
    if (error_.empty()) return true;
    error = error_;
    return false;
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 20;

  void flush() {
    writeAll(buffer_.data(), buffer_.size());
    buffer_.clear();
  }
  void flushOrThrow() {
    flush();
    throwOnError();
  }
  void throwOnError() const {
    if (!error_.empty()) throw OutputWriteFailure("cannot write " + finalName_ + ": " + error_);
  }

  // Writes until all is written or the first error, which is kept; after
  // an error nothing more is written.
  void writeAll(const char* bytes, std::size_t size) {
    std::size_t done = 0;
    while (error_.empty() && done < size) {
      const ssize_t n = ::write(fd_, bytes + done, size - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        error_ = std::strerror(errno);
      } else {
        done += static_cast<std::size_t>(n);
      }
    }
  }

  int fd_;
  std::string finalName_;
  std::string buffer_;
  std::string error_;
};

std::string folderPart(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return name.substr(0, slash);
}

// Sixteen hexadecimal digits from the kernel's random source, so that no
// one can place a file or link at a temporary name beforehand.
std::string unpredictableSuffix() {
  unsigned char bytes[8] = {};
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  static const char* const kDigits = "0123456789abcdef";
  std::string text;
  for (unsigned char b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

int errorOf(int result) { return result == 0 ? 0 : errno; }

class SystemPlacingSteps : public PlacingSteps {
 public:
  int renameNoReplace(const std::string& from, const std::string& to) override {
#ifdef RENAME_NOREPLACE
    return errorOf(::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE));
#else
    return ENOSYS;
#endif
  }
  int link(const std::string& from, const std::string& to) override {
    return errorOf(::link(from.c_str(), to.c_str()));
  }
  int createExclusive(const std::string& to) override {
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
  }
  int renameOver(const std::string& from, const std::string& to) override {
    return errorOf(::rename(from.c_str(), to.c_str()));
  }
  int unlink(const std::string& name) override { return errorOf(::unlink(name.c_str())); }
};

}  // namespace

PathStatus PosixFileSystem::status(const std::string& name) {
  PathStatus result;
  struct stat entry {};
  if (name.empty() || ::lstat(name.c_str(), &entry) != 0) return result;
  if (S_ISLNK(entry.st_mode)) {
    result.kind = PathStatus::Kind::kLink;
  } else if (S_ISREG(entry.st_mode)) {
    result.kind = PathStatus::Kind::kRegular;
  } else if (S_ISDIR(entry.st_mode)) {
    result.kind = PathStatus::Kind::kDirectory;
  } else {
    result.kind = PathStatus::Kind::kOther;
  }
  struct stat target {};
  if (::stat(name.c_str(), &target) == 0) {
    result.device = static_cast<unsigned long long>(target.st_dev);
    result.inode = static_cast<unsigned long long>(target.st_ino);
  }
  return result;
}

std::string PosixFileSystem::resolvedFolder(const std::string& name) {
  char* resolved = ::realpath(folderPart(name).c_str(), nullptr);
  if (resolved == nullptr) return "";
  std::string folder(resolved);
  std::free(resolved);
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "";
  return folder;
}

bool PosixFileSystem::folderWritable(const std::string& name) {
  return ::access(folderPart(name).c_str(), W_OK | X_OK) == 0;
}

std::string temporaryHostTag() {
  // The boot of this machine and the PID namespace of this process: a PID
  // means the same process only where both are the same.
  std::string identity;
  if (std::FILE* boot = std::fopen("/proc/sys/kernel/random/boot_id", "re")) {
    char line[64] = {};
    if (std::fgets(line, sizeof line, boot) != nullptr) identity = line;
    std::fclose(boot);
  }
  std::error_code error;
  identity += std::filesystem::read_symlink("/proc/self/ns/pid", error).string();
  // FNV-1a, 32 bits: a tag, not a secret.
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : identity) hash = (hash ^ c) * 16777619u;
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(hash));
  return text;
}

namespace {

// The PID in a temporary name of a run of this machine and PID namespace
// (".rova-<pid>-<tag>-<16 hex digits>.tmp"), 0 for any other name.
long stalePidIn(const std::string& name, const std::string& tag) {
  const std::string start = ".rova-";
  if (name.rfind(start, 0) != 0 || name.size() < start.size() + 4) return 0;
  std::size_t at = start.size();
  long pid = 0;
  while (at < name.size() && name[at] >= '0' && name[at] <= '9' && pid < 100000000) {
    pid = pid * 10 + (name[at] - '0');
    ++at;
  }
  const std::string rest = "-" + tag + "-";
  if (pid <= 0 || name.compare(at, rest.size(), rest) != 0) return 0;
  at += rest.size();
  if (name.size() != at + 16 + 4 || name.compare(at + 16, 4, ".tmp") != 0) return 0;
  for (std::size_t k = at; k < at + 16; ++k)
    if (!std::isxdigit(static_cast<unsigned char>(name[k]))) return 0;
  return pid;
}

}  // namespace

std::vector<std::string> PosixFileSystem::removeLeftovers(const std::string& besideName) {
  std::vector<std::string> removed;
  const std::string folder = folderPart(besideName);
  const std::string resolved = resolvedFolder(besideName);
  if (resolved.empty() || !sweptFolders_.insert(resolved).second) return removed;
  const std::string tag = temporaryHostTag();
  const std::string prefix = (besideName.find('/') == std::string::npos ? "" : folder + "/");
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    const std::string name = entries->path().filename().string();
    const long pid = stalePidIn(name, tag);
    if (pid == 0 || pid == static_cast<long>(::getpid())) continue;
    // Provably left by a run that was killed: its process is gone from
    // this machine, the file is the user's own and a plain file with one
    // name.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    struct stat info {};
    const std::string path = prefix + name;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
        info.st_nlink != 1) {
      continue;
    }
    if (::unlink(path.c_str()) == 0) removed.push_back(path);
  }
  return removed;
}

std::unique_ptr<OutputText> PosixFileSystem::createTemporary(const std::string& besideName,
                                                             std::string& temporaryName,
                                                             std::string& error) {
  const std::string folder = folderPart(besideName);
  const std::string prefix = (besideName.find('/') == std::string::npos ? "" : folder + "/");
  // The PID and the machine's tag in the name let a later run tell that
  // the file was left by a run that was killed (SIGKILL, a power cut).
  const std::string owner = std::to_string(::getpid()) + "-" + temporaryHostTag() + "-";
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string name = prefix + ".rova-" + owner + unpredictableSuffix() + ".tmp";
    // The name is registered before the file exists, so that an interrupt
    // at any moment finds it; removing a name that was never created does
    // no harm.
    if (!registerInterruptCleanup(name)) {
      error = "too many temporary files at once";
      return nullptr;
    }
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      temporaryName = name;
      return std::make_unique<FileOutputText>(fd, besideName);
    }
    const int reason = errno;
    forgetInterruptCleanup(name);
    if (reason != EEXIST) {
      error = std::strerror(reason);
      return nullptr;
    }
  }
  error = "no unused temporary name was found";
  return nullptr;
}

bool stickyFolderLetsReplace(unsigned folderMode, unsigned folderOwner, unsigned entryOwner,
                             unsigned user, bool privileged) {
  if ((folderMode & S_ISVTX) == 0) return true;
  return privileged || user == entryOwner || user == folderOwner;
}

namespace {

// True when the process may act on files as if it owned them
// (CAP_FOWNER in its effective set), as root usually may.
bool mayOverrideOwnership() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return ::geteuid() == 0;
  return (data[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
}

}  // namespace

std::string PosixFileSystem::replaceRefusal(const std::string& name) {
  struct stat folder {}, entry {};
  if (::stat(folderPart(name).c_str(), &folder) != 0 || ::lstat(name.c_str(), &entry) != 0) return "";
  if (!stickyFolderLetsReplace(folder.st_mode, folder.st_uid, entry.st_uid, ::geteuid(),
                               mayOverrideOwnership())) {
    return "it belongs to another user, in a folder where only a file's owner may replace it";
  }
  // A file marked immutable or append-only (chattr +i, +a) cannot be
  // replaced by anyone. Links carry no such marks.
  if (S_ISREG(entry.st_mode)) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
      int flags = 0;
      const bool known = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
      ::close(fd);
      if (known && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0)
        return "it is marked immutable or append-only (chattr), so it cannot be replaced";
    }
  }
  return "";
}

namespace {

// The longest temporary name: ".rova-", a PID of up to ten digits, "-",
// eight digits of the machine, "-", sixteen random digits, ".tmp".
constexpr std::size_t kLongestTemporaryName = 6 + 10 + 1 + 8 + 1 + 16 + 4;

// How long a run waits for another that puts its files in place in the
// same folder: that takes milliseconds, unless the other run was stopped.
constexpr int kLockWaitMilliseconds = 10000;

class FlockedFolder : public FileSystem::FolderLock {
 public:
  explicit FlockedFolder(int fd) : fd_(fd) {}
  ~FlockedFolder() override {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }

 private:
  int fd_;
};

}  // namespace

std::string PosixFileSystem::nameRefusal(const std::string& name) {
  const std::string folder = folderPart(name);
  const std::string last = name.substr(name.find_last_of('/') + 1);
  errno = 0;
  long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (nameMax <= 0) nameMax = NAME_MAX;
  if (last.size() > static_cast<std::size_t>(nameMax)) {
    return "its name is " + std::to_string(last.size()) + " bytes long, more than the " +
           std::to_string(nameMax) + " its file system allows";
  }
  const std::size_t longest = std::max(name.size(), folder.size() + 1 + kLongestTemporaryName);
  if (longest >= PATH_MAX) {
    return "its path (or that of its temporary file) is " + std::to_string(longest) +
           " bytes long, more than the " + std::to_string(PATH_MAX - 1) + " a path may have";
  }
  return "";
}

std::unique_ptr<FileSystem::FolderLock> PosixFileSystem::lockFolder(const std::string& name,
                                                                     std::string& error) {
  const int fd = ::open(folderPart(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  // A folder that cannot be opened cannot be locked either; its outputs
  // are then put in place as before, checked name by name.
  if (fd < 0) return std::make_unique<FolderLock>();
  for (int waited = 0;; waited += 20) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return std::make_unique<FlockedFolder>(fd);
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || waited >= kLockWaitMilliseconds) break;
    ::usleep(20000);
  }
  const int reason = errno;
  ::close(fd);
  // A file system without locks (some network mounts): as before.
  if (reason != EWOULDBLOCK) return std::make_unique<FolderLock>();
  error = "another run of ROVA has been putting its files in place in the same folder for " +
          std::to_string(kLockWaitMilliseconds / 1000) + " s";
  return nullptr;
}

std::string PosixFileSystem::followLinks(const std::string& name) {
  std::string current = name;
  // As many links as the kernel follows in one path.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat entry {};
    if (::lstat(current.c_str(), &entry) != 0 || !S_ISLNK(entry.st_mode)) return current;
    // A link someone else made (in a shared folder, say) must not lead a
    // write to a file of the user's choosing: it is replaced itself.
    if (entry.st_uid != ::geteuid()) return current;
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(current, error);
    if (error) return current;
    current = target.is_absolute() || current.find('/') == std::string::npos
                  ? target.string()
                  : folderPart(current) + "/" + target.string();
  }
  return current;
}

bool PosixFileSystem::rename(const std::string& from, const std::string& to, bool replace,
                             std::string& error) {
  // A file replaced keeps what its owner set: its permission bits, and its
  // group where the user may give the new file that group. A link at `to`
  // is replaced by a file with the usual permissions.
  struct stat old {};
  if (replace && ::lstat(to.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    if (::fchownat(AT_FDCWD, from.c_str(), static_cast<uid_t>(-1), old.st_gid,
                   AT_SYMLINK_NOFOLLOW) != 0) {
      // Not a group of the user's: the new file keeps the folder's group.
    }
    ::fchmodat(AT_FDCWD, from.c_str(), old.st_mode & 0777, 0);
  }
  // rename() replaces the directory entry itself: a link at `to` is
  // replaced, its target is left alone. Without `replace` an existing
  // entry is never replaced, whatever the file system offers.
  SystemPlacingSteps steps;
  const int result = replace ? (::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno)
                             : placeWithoutReplacing(steps, from, to);
  if (result == 0) {
    forgetInterruptCleanup(from);
    return true;
  }
  error = std::strerror(result);
  return false;
}

void PosixFileSystem::remove(const std::string& name) {
  ::unlink(name.c_str());
  forgetInterruptCleanup(name);
}

void PosixFileSystem::syncFolder(const std::string& name) {
  const int fd = ::open(folderPart(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool PosixFileSystem::makeDirectories(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return !error && std::filesystem::is_directory(path, error);
}

}  // namespace rova
