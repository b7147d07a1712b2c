#include "platform/program_module.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/posix_platform.h"

namespace rova {

namespace {

std::vector<std::string> candidatesOf(const std::string& executablePath,
                                      const std::string& file) {
  std::vector<std::string> candidates;
  const std::size_t slash = executablePath.find_last_of('/');
  if (slash == std::string::npos) return candidates;
  const std::string folder = executablePath.substr(0, slash + 1);
  candidates.push_back(folder + file);
  candidates.push_back(folder + ROVA_MODULE_DIR_FROM_PROGRAM + "/" + file);
  return candidates;
}

// The most bytes a module may have; the chart module is a few hundred
// kilobytes.
constexpr std::size_t kMaxModuleBytes = std::size_t{256} << 20;

bool readWhole(int fd, std::size_t size, std::string& bytes) {
  bytes.resize(size);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, bytes.data() + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Why the bytes are not a whole shared object for this machine that is a
// module of this program, "" when they are. The loader maps a module's segments as the
// headers say; a segment that runs past the end of a file cut short would
// be read as a bus error (SIGBUS) instead of failing with a message.
std::string moduleProblem(const std::string& bytes, const char* buildSymbol) {
  if (bytes.size() < sizeof(Elf64_Ehdr) || std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0)
    return "it is not a shared library";
  Elf64_Ehdr header;
  std::memcpy(&header, bytes.data(), sizeof header);
  if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
      header.e_type != ET_DYN || header.e_machine != EM_X86_64 ||
      header.e_phentsize != sizeof(Elf64_Phdr)) {
    return "it is not a shared library for this machine";
  }
  const unsigned long long size = bytes.size();
  const auto inside = [size](unsigned long long offset, unsigned long long length) {
    return offset <= size && length <= size - offset;
  };
  if (!inside(header.e_phoff, static_cast<unsigned long long>(header.e_phnum) * sizeof(Elf64_Phdr)) ||
      !inside(header.e_shoff, static_cast<unsigned long long>(header.e_shnum) * header.e_shentsize)) {
    return "it is cut short (" + std::to_string(size) + " bytes)";
  }
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr segment;
    std::memcpy(&segment, bytes.data() + header.e_phoff + i * sizeof segment, sizeof segment);
    if (!inside(segment.p_offset, segment.p_filesz))
      return "it is cut short (" + std::to_string(size) + " bytes)";
  }
  // A module of the program names the function that tells its build (its
  // table of names holds it, with its end); a library of some other
  // program, whose initialisation would run on loading, does not.
  if (bytes.find(std::string(buildSymbol) + '\0') == std::string::npos)
    return std::string("it is not a module of this program (it has no ") + buildSymbol + ")";
  return "";
}

}  // namespace

void* moduleSymbolAt(const std::string& path, const char* buildSymbol, const std::string& build,
                     const char* symbol, std::string& error) {
  // The file checked is the file loaded: it is opened once, checked, and
  // loaded through its descriptor.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  std::string bytes;
  std::string problem;
  if (fd < 0 || ::fstat(fd, &status) != 0) {
    problem = std::strerror(errno);
  } else if (!S_ISREG(status.st_mode)) {
    problem = "it is not a regular file";
  } else if (static_cast<unsigned long long>(status.st_size) > kMaxModuleBytes) {
    problem = "it is larger than any module of the program";
  } else if (!readWhole(fd, static_cast<std::size_t>(status.st_size), bytes)) {
    problem = "it could not be read";
  } else {
    problem = moduleProblem(bytes, buildSymbol);
  }
  if (!problem.empty()) {
    if (fd >= 0) ::close(fd);
    error = "cannot load " + path + ": " + problem;
    return nullptr;
  }
  // An absolute path: no library search path is consulted. Never closed:
  // the libraries it brings keep caches for the life of the process.
  const std::string loaded = "/proc/self/fd/" + std::to_string(fd);
  void* handle = ::dlopen(loaded.c_str(), RTLD_NOW | RTLD_LOCAL);
  ::close(fd);
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    error = "cannot load " + path + ": " + (reason != nullptr ? reason : "unknown error");
    return nullptr;
  }
  using BuildFunction = const char* (*)();
  auto moduleBuild = reinterpret_cast<BuildFunction>(::dlsym(handle, buildSymbol));
  if (moduleBuild == nullptr || build != moduleBuild()) {
    error = path + " belongs to another build of the program (" +
            (moduleBuild != nullptr ? moduleBuild() : "unknown") + ", this is " + build + ")";
    return nullptr;
  }
  void* address = ::dlsym(handle, symbol);
  if (address == nullptr) error = path + " lacks " + symbol;
  return address;
}

void* programModuleSymbol(const std::string& file, const char* buildSymbol,
                          const std::string& build, const char* symbol, std::string& error) {
  const std::string program = currentExecutablePath();
  std::string path;
  for (const std::string& candidate : candidatesOf(program, file)) {
    struct stat status {};
    if (::stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
      path = candidate;
      break;
    }
  }
  if (path.empty()) {
    error = "the program's module " + file + " is not installed beside " +
            (program.empty() ? std::string("the program") : program);
    return nullptr;
  }
  return moduleSymbolAt(path, buildSymbol, build, symbol, error);
}

}  // namespace rova
