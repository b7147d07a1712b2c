#include "platform/program_module.h"

#include <dlfcn.h>
#include <sys/stat.h>

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

}  // namespace

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
  // An absolute path: no library search path is consulted. Never closed:
  // the libraries it brings keep caches for the life of the process.
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
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

}  // namespace rova
