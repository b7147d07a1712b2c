// Putting a finished file in place under a name that must not exist yet,
// on every file system: where the kernel can rename without replacing
// (renameat2 with RENAME_NOREPLACE) that is one step; where it cannot but
// the file system has hard links, link() and unlink(); where it has
// neither (FAT, exFAT, many SMB mounts), the final name is first created
// empty and exclusively, so that it is the program's own, and then
// replaced by the finished file. In no case is an entry that existed
// before replaced.
#pragma once

#include <string>

namespace rova {

// The steps of a file system that placing needs. Each returns 0 or an
// errno value.
class PlacingSteps {
 public:
  virtual ~PlacingSteps() = default;
  // Renames without replacing; EEXIST when `to` exists, EINVAL (or ENOSYS,
  // EOPNOTSUPP) when the kernel or the file system cannot.
  virtual int renameNoReplace(const std::string& from, const std::string& to) = 0;
  // A second name for the file; EEXIST when `to` exists, EPERM (or
  // EOPNOTSUPP, ENOSYS, EMLINK) when the file system has no hard links.
  virtual int link(const std::string& from, const std::string& to) = 0;
  // Creates `to` empty, only when nothing of that name exists (EEXIST),
  // never through a link.
  virtual int createExclusive(const std::string& to) = 0;
  // Renames, replacing what is at `to`.
  virtual int renameOver(const std::string& from, const std::string& to) = 0;
  virtual int unlink(const std::string& name) = 0;
};

// Gives `from` the name `to`, which must not exist: 0, EEXIST when it
// does (nothing changed), or the errno value of the step that failed
// (nothing changed either).
int placeWithoutReplacing(PlacingSteps& steps, const std::string& from, const std::string& to);

}  // namespace rova
