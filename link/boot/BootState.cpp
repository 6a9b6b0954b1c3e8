#include "boot/BootState.h"

namespace halvex::boot {

ProcessBootState& Process() {
  static ProcessBootState state;
  return state;
}

}  // namespace halvex::boot
