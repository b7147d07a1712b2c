// The simulations' inner loop for any processor.
#include "analysis/simulation_kernel_portable.h"

#include "analysis/simulation_kernel_body.h"

namespace rova::kernel {

const Entry& portableEntry() {
  static constexpr Entry kEntry = entryOf<SearchSelection>();
  return kEntry;
}

}  // namespace rova::kernel
