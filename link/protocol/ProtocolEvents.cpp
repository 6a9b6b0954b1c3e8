// Events fired by the protocol operations and the BER indicator on the control's face.
#include "halvex/ControlFace.h"
#include "interface/LinkState.h"
#include "protocol/LinkIo.h"

namespace halvex {

void NotifyEepromBlockData(CHalvexCtrl::Impl& link, int16_t* data, int16_t blockLen,
                           int16_t startAddr, int16_t page) {
  (void)link;
  (void)data;
  (void)blockLen;
  (void)startAddr;
  (void)page;
}

void NotifyBERDataArrive(CHalvexCtrl::Impl& link, int16_t cnt) {
  (void)link;
  (void)cnt;
}

void ShowBerIndicator(CHalvexCtrl::Impl& link, bool on) { link.self.Face().SetBerWaiting(on); }

}  // namespace halvex
