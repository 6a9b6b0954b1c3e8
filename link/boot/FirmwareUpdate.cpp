// Update: asks a device running its normal firmware to enter its loader, streams the update
// bootstrap, waits for the flash erase and programs S-record firmware.
#include <string>

#include "boot/BootImageLoader.h"
#include "boot/BootLink.h"
#include "boot/BootState.h"
#include "boot/BootTransfer.h"
#include "boot/LoadProgressCount.h"
#include "boot/ProgramFile.h"
#include "boot/SRecord.h"
#include "halvex/WholeFile.h"
#include "interface/LinkState.h"
#include "interface/Version.h"
#include "protocol/DeviceInfo.h"

using namespace halvex::boot;

namespace {

enum UpdateResult : int16_t {
  kUpdateFailed = -1,
  kNoProgramFile = 2,
  kNoBootAnswer = 46,
  kNoLengthAnswer = 47,
  kNoStreamEcho = 50,
  kEraseNotDone = 51,
  kWrongEchoOrNoErase = 52,
  kProgrammed = 53,
  kProgrammingStopped = 0,
};

constexpr size_t kBootFileLineBuffer = 1023;
constexpr size_t kHeaderLineBuffer = 129;
constexpr int16_t kBootBaud = 4800;
constexpr int16_t kNormalBaud = 19200;
constexpr uint8_t kBootRequest = 0x13;
constexpr uint8_t kBootLength = 0x14;
constexpr uint8_t kBootRequestAnswer = 'F';
constexpr uint8_t kBootLengthAnswer = 'G';
constexpr uint8_t kEraseDone = 0xBB;

// Streams the image's data bytes (the length prefix went in the boot-length frame).
int16_t StreamUpdateBootstrap(BootLink& link, const BootImage& image) {
  link.SetSendBootFlag(true);
  link.WaitCursor(true);
  link.ClearProgress();
  link.Draw(halvex::ControlFace::kProgressX, halvex::ControlFace::kProgressY,
            "Loading Boot Software...", halvex::kBlack, halvex::kRed);
  int16_t result = 0;
  for (size_t index = 2; index < image.StreamLength(); ++index) {
    if (!link.Exchange(&image.bytes[index], 1, 3000)) {
      result = kNoStreamEcho;
      break;
    }
    if (link.ReplyByte0() != image.bytes[index]) {
      result = kWrongEchoOrNoErase;
      break;
    }
    link.AdvanceLoadProgress();
    link.Draw(150, halvex::ControlFace::kProgressY, std::to_string(index), halvex::kBlack,
              halvex::kRed);
  }
  // The handshake must come back for normal frames, also after a failed stream.
  link.SetSendBootFlag(false);
  if (result != 0) link.WaitCursor(false);
  return result;
}

int16_t EraseAndProgram(BootLink& link, BootState& state) {
  link.ClearProgress();
  link.Draw(halvex::ControlFace::kProgressX, halvex::ControlFace::kProgressY,
            "Erasing flash...             ", halvex::kBlack, halvex::kMagenta);
  if (!link.AwaitData(32700)) return kWrongEchoOrNoErase;
  if (link.ReplyByte0() != kEraseDone) return kEraseNotDone;

  state.bootstrapPhase = false;
  const int16_t programmed =
      BootTransfer(link, state, BootFileMode::SRecords, /*bootType=*/true).Run();
  if (programmed != kRecordsDone) return kProgrammingStopped;
  // Six erased-flash bytes tell the bootstrap that the firmware is complete.
  const std::vector<uint8_t> end(6, 0xFF);
  link.Exchange(end.data(), end.size(), 3000);
  return kProgrammed;
}

}  // namespace

int16_t CHalvexCtrl::Update(const std::string& filename) {
  BootLink link(impl());
  impl().lastFailure.clear();
  const int16_t type = GetDevice();
  SetBootType(true);
  Process().bootFileMode = 0;
  if (type < 0) return kUpdateFailed;

  const std::string bootFile = halvex::IsLayoutA(type) ? "udkhs1.a20" : "udkbase.a20";
  BootState state;
  int bootError = 0;
  switch (LoadBootImage(bootFile, kBootFileLineBuffer, *state.image, &bootError)) {
    case ImageLoadResult::Ok:
      break;
    case ImageLoadResult::CannotOpen:
      link.Message(link.Refusal("bootfile open error", bootError,
                                halvex::WholeFileErrorText(bootError, kMaxBootFileSize)),
                   halvex::kHalvexName);
      return kUpdateFailed;
    case ImageLoadResult::Invalid:
      link.Refusal("", 0, "invalid boot file " + bootFile);
      link.Message("Invalid boot file:" + bootFile, halvex::kHalvexName);
      return kUpdateFailed;
  }

  // Checked whole before the device is asked into its loader, which erases the flash.
  const ProgramFileCheck program = OpenProgramFile(filename, BootFileMode::SRecords, state);
  if (!program.ok) {
    link.Message(link.Refusal("Can't open program file", program.error, program.reason),
                 "file open error");
    return kNoProgramFile;
  }
  std::string header;
  ReadLine(state.program.get(), kHeaderLineBuffer, header);

  const BootImage& image = *state.image;
  // The bootstrap's data bytes go one by one, then the records.
  link.StartLoadProgress(static_cast<uint32_t>(image.StreamLength() - 2) +
                         CountRecordsToSend(state.program.get()));
  if (!link.Exchange({0x02, 0x01, kBootRequest, 0x03}, 3000)) return kUpdateFailed;
  if (link.ReplyByte0() != kBootRequestAnswer) return kNoBootAnswer;
  if (!link.Exchange({0x02, 0x03, kBootLength, image.bytes[0], image.bytes[1], 0x03}, 3000)) {
    return kUpdateFailed;
  }
  if (link.ReplyByte0() != kBootLengthAnswer) return kNoLengthAnswer;

  int16_t result = StreamUpdateBootstrap(link, image);
  if (result == 0) {
    state.totalBytes = 0;
    link.Reopen(kBootBaud);
    result = EraseAndProgram(link, state);
  }
  link.WaitCursor(false);
  link.Reopen(kNormalBaud);
  return result;
}
