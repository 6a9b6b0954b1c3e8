// Events fired by the protocol operations and the BER indicator on the control's face.
#include "interface/LinkState.h"
#include "protocol/LinkIo.h"

namespace halvex {

void NotifyEepromBlockData(CHalvexCtrl::Impl& link, int16_t* data, int16_t blockLen,
                           int16_t startAddr, int16_t page) {
  if (HalvexEvents* sink = link.sink.load()) sink->EepromBlockData(data, blockLen, startAddr, page);
}

void NotifyBERDataArrive(CHalvexCtrl::Impl& link, int16_t cnt) {
  if (HalvexEvents* sink = link.sink.load()) sink->BERDataArrive(cnt);
}

void ShowBerIndicator(CHalvexCtrl::Impl& link, bool on) { link.ShowBerWaiting(on); }

}  // namespace halvex
