// Boot loading is not part of this build yet: both entry points answer as if the boot file could
// not be opened, which is the loader's own failure result.
#include "halvex/HalvexCtrl.h"

int16_t CHalvexCtrl::Boot(const std::string& /*filename*/) { return 1; }

int16_t CHalvexCtrl::Update(const std::string& /*filename*/) { return -1; }
