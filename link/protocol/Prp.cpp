// The PRP table: ten low/high value pairs the device reports on request.
#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"
#include "protocol/Frame.h"
#include "protocol/LinkIo.h"

bool CHalvexCtrl::GetPRPData() {
  Impl& d = impl();
  if (!d.HasLink()) return false;
  halvex::CaptureScope capture(d);
  auto frame = halvex::CommandFrame(0x11);
  if (!halvex::Exchange(d, frame, 1000)) return false;
  Impl::SleepMs(300);
  const auto captured = halvex::TakeCapturedBytes(d, 2 * halvex::kPrpEntries + 1);
  // A short answer would fill the table with bytes that never came: keep the old values.
  if (captured.size() < 2 * halvex::kPrpEntries) return false;
  for (int i = 0; i < halvex::kPrpEntries; ++i) {
    d.proto.prpLow[static_cast<size_t>(i)] = captured[static_cast<size_t>(2 * i)];
    d.proto.prpHigh[static_cast<size_t>(i)] = captured[static_cast<size_t>(2 * i + 1)];
  }
  return true;
}

int16_t CHalvexCtrl::GetPRPLow(int16_t addr) {
  if (addr < 0 || addr >= halvex::kPrpEntries) return -1;
  return impl().proto.prpLow[static_cast<size_t>(addr)];
}

int16_t CHalvexCtrl::GetPRPHi(int16_t addr) {
  if (addr < 0 || addr >= halvex::kPrpEntries) return -1;
  return impl().proto.prpHigh[static_cast<size_t>(addr)];
}
