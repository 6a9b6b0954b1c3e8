#include "boot/BootTransfer.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "boot/SRecord.h"

namespace halvex::boot {
namespace {

constexpr int kStreamWait = 3000;
constexpr int kBootstrapStartMs = 3000;
constexpr int kRecordWait = 500;
constexpr int kBlockWait = 3000;
constexpr int kBinaryStartMs = 1500;
constexpr size_t kRecordLineBuffer = 254;
constexpr uint16_t kProtectedRecords = 0xF780;
constexpr const char* kLoadingText = "Loading Boot Software...";
constexpr const char* kWritingText = "Writing...     ";

}  // namespace

int16_t BootTransfer::Run() {
  if (st_.bootstrapPhase) {
    const int16_t streamed = StreamBootImage();
    if (streamed != 0) return streamed;
  }
  link_.Sleep(kBootstrapStartMs);
  if (mode_ == BootFileMode::SRecords) return ProgramRecords();
  return ProgramBinary();
}

int16_t BootTransfer::StreamFailure(int16_t result, const char* text) {
  link_.WaitCursor(false);
  if (mode_ == BootFileMode::SRecords) link_.Message(text, "Boot Load");
  link_.ClearProgress();
  return result;
}

// Every byte of the prefixed image is echoed by the ROM loader before the next one goes out.
int16_t BootTransfer::StreamBootImage() {
  const BootImage& image = *st_.image;
  const size_t total = image.StreamLength();
  link_.ClearProgress();
  link_.Draw(ControlFace::kProgressX, ControlFace::kProgressY, kLoadingText, kBlack, kRed);

  if (!link_.Exchange(&image.bytes[0], 1, kStreamWait)) {
    return StreamFailure(kNoFirstEcho, "No response from device 1");
  }
  size_t index = 1;
  for (;;) {
    if (link_.ReplyByte0() != image.bytes[index - 1]) {
      return StreamFailure(kWrongEcho, "No response from device 3");
    }
    link_.AdvanceLoadProgress();
    if (index == total) break;
    if (!link_.Exchange(&image.bytes[index], 1, kStreamWait)) {
      return StreamFailure(kNoEchoOrChecksum, "No response from device 2");
    }
    ++index;
  }
  return 0;
}

void BootTransfer::DrawAddress(uint32_t address) {
  link_.Draw(100, ControlFace::kProgressY, "Addr:" + std::to_string(address) + "      ", kBlack,
             kGreen);
}

BootTransfer::RecordStep BootTransfer::SendNextRecord(bool& answered) {
  answered = false;
  std::FILE* file = st_.program.get();
  std::string line;
  SRecord rec;
  bool haveLine = false;
  // Records for the bootstrap's own area are never sent.
  while ((haveLine = ReadLine(file, kRecordLineBuffer, line))) {
    rec = ParseSRecord(line);
    if (!(rec.kind == RecordKind::Data && rec.address >= kProtectedRecords)) break;
  }
  const bool isS1 = haveLine && line.size() >= 2 && line[0] == 'S' && line[1] == '1';
  if (isS1 && rec.kind == RecordKind::Malformed) return RecordStep::Broken;
  if (!haveLine || rec.kind != RecordKind::Data) {
    if (file != nullptr && std::ferror(file) != 0) return RecordStep::Broken;
    st_.program.reset();
    return RecordStep::NoMoreRecords;
  }

  link_.ClearProgress();
  link_.Draw(ControlFace::kProgressX, ControlFace::kProgressY, kWritingText, kBlack, kGreen);
  DrawAddress(rec.address);

  std::vector<uint8_t> frame;
  frame.reserve(rec.data.size() + 3);
  frame.push_back(static_cast<uint8_t>(rec.data.size()));
  frame.push_back(static_cast<uint8_t>(rec.address >> 8));
  frame.push_back(static_cast<uint8_t>(rec.address & 0xFF));
  frame.insert(frame.end(), rec.data.begin(), rec.data.end());

  uint8_t sum = 0;
  for (uint8_t b : rec.data) sum = static_cast<uint8_t>(sum + b);
  st_.recordChecksum = sum;
  st_.moreRecords = true;
  st_.totalBytes = static_cast<uint16_t>(st_.totalBytes + rec.data.size());

  answered = link_.Exchange(frame.data(), frame.size(), kRecordWait);
  link_.ClearProgress();
  return RecordStep::Sent;
}

int16_t BootTransfer::ProgramRecords() {
  st_.moreRecords = false;
  bool answered = false;
  RecordStep step = SendNextRecord(answered);
  while (step != RecordStep::Broken && st_.moreRecords) {
    // A silent device has not confirmed the record, whatever its checksum.
    if (!answered || link_.ReplyByte0() != st_.recordChecksum) {
      link_.WaitCursor(false);
      link_.Message("Wrong chksum from device.\nCheck battery condition.", "chksum fail");
      link_.ClearProgress();
      return kNoEchoOrChecksum;
    }
    link_.AdvanceLoadProgress();
    step = SendNextRecord(answered);
    if (step == RecordStep::NoMoreRecords) {
      st_.moreRecords = false;
      link_.WaitCursor(false);
      if (!bootType_) link_.Message("Device programmed succesfully", "Done");
      link_.Beep();
    }
  }
  link_.ClearProgress();
  if (step == RecordStep::Broken) {
    link_.WaitCursor(false);
    st_.program.reset();
    link_.Message("Bad record in program file", "file open error");
    return kBadProgramFile;
  }
  return kRecordsDone;
}

int16_t BootTransfer::ProgramBinary() {
  std::FILE* file = st_.program.get();
  link_.ClearProgress();
  const char fill = mode_ == BootFileMode::HandTerminalBinary ? '*' : '=';
  link_.Draw(ControlFace::kProgressX, ControlFace::kProgressY, std::string(49, fill), kBlack,
             kGreen);
  link_.Sleep(kBinaryStartMs);

  bool ok = file != nullptr && std::fseek(file, 0, SEEK_SET) == 0;
  std::array<uint8_t, kBlockSize + 2> block{};
  for (uint32_t address = 0; ok && address < kFlashEnd; address += kBlockSize) {
    // Bytes beyond the end of the file are erased flash.
    std::fill(block.begin(), block.end(), 0xFF);
    const size_t got = std::fread(block.data() + 2, 1, kBlockSize, file);
    if (got < kBlockSize && std::ferror(file) != 0) {
      ok = false;
      break;
    }
    const bool blank =
        std::all_of(block.begin() + 2, block.end(), [](uint8_t b) { return b == 0xFF; });
    link_.Draw(ControlFace::kProgressX, ControlFace::kProgressY, kWritingText, kBlack, kGreen);
    DrawAddress(address);
    if (blank) continue;
    block[0] = static_cast<uint8_t>(address >> 8);
    block[1] = static_cast<uint8_t>(address & 0xFF);
    st_.totalBytes = static_cast<uint16_t>(st_.totalBytes + kBlockSize);
    ok = link_.Exchange(block.data(), block.size(), kBlockWait) &&
         link_.ReplyByte0() == kBlockAccepted;
    if (ok) link_.AdvanceLoadProgress();
  }
  st_.program.reset();
  link_.WaitCursor(false);
  link_.ClearProgress();
  return ok ? kBinaryDone : kBinaryFailed;
}

}  // namespace halvex::boot
