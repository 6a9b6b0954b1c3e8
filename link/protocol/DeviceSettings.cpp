// Settings kept at fixed places of device memory: radio channel, communication ID with its date,
// base-station mode.
#include <ctime>
#include <string>

#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"
#include "protocol/DeviceInfo.h"

int16_t CHalvexCtrl::SetChannel(int16_t channel) {
  Impl& d = impl();
  if (!d.HasLink()) return -1;
  const int16_t type = GetDevice();
  if (type < 0) return -1;
  Impl::SleepMs(300);
  const auto where = halvex::ChannelLocationFor(type);
  if (SetEepromVal(where.addr, channel, where.page) == -1) return -1;
  return channel;
}

int16_t CHalvexCtrl::GetChannel() {
  Impl& d = impl();
  if (!d.HasLink()) return -1;
  const int16_t type = GetDevice();
  if (type < 0) return type;
  Impl::SleepMs(300);
  const auto where = halvex::ChannelLocationFor(type);
  const int16_t value = ReadEepromVal(where.addr, where.page);
  if (value == -1) {
    if (type == 8) return -1;
    return d.OverTcp() ? -2 : -1;
  }
  return value;
}

bool CHalvexCtrl::SetID(int32_t id) {
  const int16_t type = GetDevice();
  if (type < 0) return false;
  const int32_t high = id / 256;
  const int32_t low = static_cast<int32_t>((id * 0.00390625 - high) * 256);
  int16_t idBytes[2] = {static_cast<int16_t>(high & 0xFF), static_cast<int16_t>(low & 0xFF)};
  const bool layoutA = halvex::IsLayoutA(type);
  if (!WriteBlockToEeprom(layoutA ? 1 : 15, 0, 2, idBytes)) return false;

  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  int16_t date[3] = {static_cast<int16_t>(local.tm_mday), static_cast<int16_t>(local.tm_mon + 1),
                     static_cast<int16_t>(local.tm_year + 1900 - 2000)};
  return WriteBlockToEeprom(layoutA ? 65 : 17, 0, 3, date);
}

void CHalvexCtrl::SetBSMode(int16_t mode) {
  // The device takes the new mode only after a restart, so it is restarted whatever the write
  // answered.
  SetEepromVal(12, mode, 0);
  Reset();
}
