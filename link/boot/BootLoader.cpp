// Boot: loads firmware into a device that waits in its ROM loader.
#include <string>

#include "boot/BootFileChoice.h"
#include "boot/BootImageLoader.h"
#include "boot/BootLink.h"
#include "boot/BootState.h"
#include "boot/BootTransfer.h"
#include "boot/LoadProgressCount.h"
#include "boot/ParallelLines.h"
#include "boot/ProgramFile.h"
#include "boot/SRecord.h"
#include "halvex/WholeFile.h"
#include "interface/LinkState.h"

using namespace halvex::boot;

namespace {

enum BootResult : int16_t {
  kNoBootFile = 1,
  kNoProgramFile = 2,
  kNoWakeUpAnswer = 3,
  kNoStartAnswer = 4,
};

constexpr size_t kBootFileLineBuffer = 134;
constexpr size_t kHeaderLineBuffer = 129;
constexpr int16_t kBootBaud = 4800;
constexpr int16_t kNormalBaud = 19200;
constexpr uint8_t kStartByte = 0x55;
constexpr size_t kWakeUpBytes = 15;

// The ROM loader's handshake, then the transfer.
int16_t HandshakeAndTransfer(BootLink& link, BootState& state, BootFileMode mode, bool bootType) {
  const bool sRecords = mode == BootFileMode::SRecords;
  const std::vector<uint8_t> wakeUp(kWakeUpBytes, 0x00);
  if (!link.Exchange(wakeUp.data(), wakeUp.size(), 1000)) {
    if (sRecords) link.Message("Can't connect to device", "Waiting 00 ");
    return kNoWakeUpAnswer;
  }
  link.Beep();
  link.Draw(halvex::ControlFace::kProgressX, halvex::ControlFace::kProgressY, "Erasing flash...",
            halvex::kBlack, halvex::kRed);
  link.Sleep(300);
  if (!link.Exchange({kStartByte}, 32700)) {
    if (sRecords) link.Message("No response from device", "Waiting AA");
    link.ClearProgress();
    return kNoStartAnswer;
  }
  state.bootstrapPhase = true;
  link.WaitCursor(true);
  link.ClearProgress();
  return BootTransfer(link, state, mode, bootType).Run();
}

}  // namespace

int16_t CHalvexCtrl::Boot(const std::string& filename) {
  BootLink link(impl());
  impl().lastFailure.clear();
  Process().bootFileMode = 0;
  link.PurgeSerial();

  const BootFileChoice choice = ChooseBootFile(filename);
  const BootFileMode mode = choice.mode;
  const bool sRecords = mode == BootFileMode::SRecords;
  Process().bootFileMode = static_cast<uint8_t>(mode);

  BootState state;
  int bootError = 0;
  switch (LoadBootImage(choice.bootFile, kBootFileLineBuffer, *state.image, &bootError)) {
    case ImageLoadResult::Ok:
      break;
    case ImageLoadResult::CannotOpen: {
      const std::string text =
          link.Refusal("Can't open boot file:" + choice.bootFile, bootError,
                       halvex::WholeFileErrorText(bootError, kMaxBootFileSize));
      if (sRecords) link.Message(text, "file open error");
      return kNoBootFile;
    }
    case ImageLoadResult::Invalid:
      // A boot file whose records do not fit the image is refused, never partly loaded.
      link.Refusal("", 0, "invalid boot file " + choice.bootFile);
      if (sRecords) link.Message("Invalid boot file:" + choice.bootFile, "file open error");
      return kNoBootFile;
  }

  // The image is checked whole before the port is touched: a load that could not finish would
  // leave the device with its flash erased.
  const ProgramFileCheck program = OpenProgramFile(filename, mode, state);
  if (!program.ok) {
    const std::string text = link.Refusal("Can't open program file", program.error, program.reason);
    if (sRecords) link.Message(text, "file open error");
    return kNoProgramFile;
  }
  std::string header;
  ReadLine(state.program.get(), kHeaderLineBuffer, header);

  link.Reopen(kBootBaud);
  const bool bootType = GetBootType();
  if (bootType) {
    EnterBootMode(link);
  } else if (choice.prompt == PromptKind::HandTerminal &&
             mode != BootFileMode::HandTerminalBinary) {
    link.Message("Place batteries into the hand terminal", "Set device to Boot mode");
  } else if (choice.prompt == PromptKind::BaseStation && sRecords) {
    link.Message("Switch power up to the base station", "Set device to Boot mode");
  }

  // Every exchange the device confirms: the bootstrap's bytes, then the records or blocks.
  link.StartLoadProgress(static_cast<uint32_t>(state.image->StreamLength()) +
                         (sRecords ? CountRecordsToSend(state.program.get())
                                   : CountBlocksToSend(state.program.get())));
  const int16_t result = HandshakeAndTransfer(link, state, mode, bootType);

  // Every outcome leaves boot mode and returns the port to its normal speed.
  if (bootType) LeaveBootMode(link);
  link.Reopen(kNormalBaud);
  return result;
}
