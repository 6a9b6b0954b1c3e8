// Bit-error-rate test: the host starts a transmission; the device sends back framed records
// (01 N five-bytes payload[N] two-bytes) that arrive unrequested.
#include <mutex>
#include <string>

#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"
#include "protocol/Frame.h"
#include "protocol/LinkIo.h"

namespace halvex {

namespace {
constexpr uint8_t kBerStart = 0x01;
constexpr int kBerPayloadAt = 7;
}  // namespace

void BerReceive(CHalvexCtrl::Impl& link, const uint8_t* data, size_t n) {
  ProtocolState& s = link.proto;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = data[i];
    int16_t complete = -1;
    {
      std::lock_guard<std::mutex> lock(link.replyMutex);
      if (s.berInRecord) {
        ++s.berPos;
      } else if (b == kBerStart) {
        s.berInRecord = true;
        s.berPos = 0;
      } else {
        continue;  // noise between records
      }
      if (s.berPos == 1) link.replyLen = b;
      // N is one byte, so a record ends at position 263 at the latest: inside the buffer.
      if (s.berPos >= 0 && s.berPos < static_cast<int16_t>(sizeof(link.reply))) {
        link.reply[s.berPos] = b;
      }
      // ">=" rather than "==": should N change under a record (BER mode switched off and on
      // while plain chunks set the length), the record still ends instead of running on.
      if (s.berPos >= 1 && s.berPos >= link.replyLen + 8) {
        complete = link.replyLen;
        s.berInRecord = false;
        s.berPos = 0;
      }
    }
    if (complete >= 0) NotifyBERDataArrive(link, complete);
  }
}

}  // namespace halvex

bool CHalvexCtrl::SendBER(int16_t mrk, int16_t cnt) {
  Impl& d = impl();
  if (!d.HasLink()) return true;
  auto frame = halvex::CommandFrame(0x1B, {mrk, cnt});
  halvex::Post(d, frame);
  return true;
}

void CHalvexCtrl::WaitBERData(bool mode) {
  Impl& d = impl();
  d.proto.berMode = mode;
  d.ClearProgress();
  halvex::ShowBerIndicator(d, mode);
}

std::string CHalvexCtrl::GetBERData(int16_t koko) {
  Impl& d = impl();
  // Only the payload area of the 512-byte reply buffer can be handed out.
  if (koko < 0 || halvex::kBerPayloadAt + koko > static_cast<int>(sizeof(d.reply))) return "";
  std::lock_guard<std::mutex> lock(d.replyMutex);
  return halvex::BytesAsText(d.reply + halvex::kBerPayloadAt, static_cast<size_t>(koko));
}
