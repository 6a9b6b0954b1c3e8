#include "network/StationDirectory.h"

namespace qelta::network {

uint32_t StationDirectory::Count(int waitMs) {
  NamedMutexGuard hold(ListLock(), waitMs);
  return hold.Owned() ? Table().count : 0;
}

bool StationDirectory::ClearTable(int waitMs) {
  NamedMutexGuard hold(ListLock(), waitMs);
  if (!hold.Owned()) return false;
  Table() = BaseStationList{};
  return true;
}

}  // namespace qelta::network
