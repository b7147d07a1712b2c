#include "platform/placing.h"

#include <cerrno>

namespace rova {
namespace {

// The errors by which a kernel or file system says that it lacks a way of
// doing something, as opposed to its having failed at it.
bool lacksTheWay(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP ||
         error == EPERM || error == EMLINK;
}

}  // namespace

int placeWithoutReplacing(PlacingSteps& steps, const std::string& from, const std::string& to) {
  int error = steps.renameNoReplace(from, to);
  if (error == 0 || !lacksTheWay(error)) return error;
  error = steps.link(from, to);
  if (error == 0) {
    steps.unlink(from);
    return 0;
  }
  if (!lacksTheWay(error)) return error;
  // Neither way exists here: the final name is taken first, empty and
  // exclusively, then the finished file replaces that empty file of the
  // program's own.
  error = steps.createExclusive(to);
  if (error != 0) return error;
  error = steps.renameOver(from, to);
  if (error != 0) steps.unlink(to);
  return error;
}

}  // namespace rova
