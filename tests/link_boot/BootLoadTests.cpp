// Boot against a simulated device in its ROM loader, over a pty.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <mutex>

#include "BootTestSupport.h"
#include "boot/BootState.h"
#include "device/DeviceStateFile.h"
#include "platform/ParallelPort.h"

using boottest::Bytes;
using boottest::Shown;
using qelta::sim::BootLoaderKnobs;
using qelta::sim::BootStage;
using qelta::sim::BootstrapKind;

namespace {

const Bytes kBootCode = boottest::Pattern(24, 5);

// The prefixed image the ROM loader must have received for kBootCode.
Bytes StreamedImage() {
  Bytes out{0x00, static_cast<uint8_t>(kBootCode.size())};
  out.insert(out.end(), kBootCode.begin(), kBootCode.end());
  return out;
}

Bytes FlashAfter(const std::vector<boottest::Record>& records) {
  Bytes flash(0x10000, 0xFF);
  for (const auto& r : records) std::copy(r.data.begin(), r.data.end(), flash.begin() + r.address);
  return flash;
}

class BootTest : public ::testing::Test {
 protected:
  // A device waiting in its ROM loader, and the boot files of every kind in the working folder.
  void StartDevice(const BootLoaderKnobs& knobs) {
    line_ = std::make_unique<boottest::SimLine>(qelta::sim::kTypeHandTerminal, knobs);
    line_->Device().SetBootMode(true);
    link_ = std::make_unique<boottest::LinkOnLine>(*line_);
    for (const char* name : {"5vboot.a20", "5VBOOT11.a20", "boot1.A20", "boot11.A20"}) {
      boottest::WriteBootFile(name, 0xB600, kBootCode);
    }
  }
  void StartDevice(BootstrapKind kind) {
    BootLoaderKnobs knobs;
    knobs.rom_bootstrap = kind;
    StartDevice(knobs);
  }
  CHalvexCtrl& Link() { return link_->Link(); }
  const std::vector<Shown>& Messages() { return link_->Messages(); }
  qelta::sim::BootRomLoader& Loader() { return line_->Loader(); }
  uint8_t Mode() { return halvex::boot::Process().bootFileMode.load(); }

  boottest::TempWorkDir dir_;
  std::unique_ptr<boottest::SimLine> line_;
  std::unique_ptr<boottest::LinkOnLine> link_;
};

TEST_F(BootTest, BinaryHandTerminalFirmwareIsProgrammedBlockByBlockWithoutBlankBlocks) {
  StartDevice(BootstrapKind::kBinaryBlocks);
  const Bytes firmware = boottest::Pattern(100);
  boottest::WriteBinary("Hsbt0105.a20", firmware);
  ASSERT_TRUE(Link().Connect(1, 19200));

  EXPECT_EQ(Link().Boot("Hsbt0105.a20"), 10);

  EXPECT_EQ(Mode(), 1);
  EXPECT_EQ(Loader().Bootstrap(), StreamedImage());
  EXPECT_EQ(Loader().BlockAddresses(), (std::vector<uint16_t>{0, 32, 64, 96}));
  EXPECT_EQ(Loader().Flash(), FlashAfter({{0, firmware}}));
  // Binary loads show neither a prompt nor a result box.
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(link_->Status(), "COM1 19200");
  EXPECT_TRUE(Link().Face().ProgressLine().find_first_not_of(' ') == std::string::npos);

  // The simulator's state file keeps the programmed flash.
  ASSERT_TRUE(qelta::sim::SaveDeviceState("state.txt", line_->Device()).ok);
  qelta::sim::SimDevice reloaded;
  auto& loader = qelta::sim::BootRomLoader::InstallInto(reloaded);
  ASSERT_TRUE(qelta::sim::LoadDeviceState("state.txt", reloaded).ok);
  EXPECT_EQ(loader.Flash(), FlashAfter({{0, firmware}}));
}

TEST_F(BootTest, BlankBlocksInsideTheFirmwareAreSkipped) {
  StartDevice(BootstrapKind::kBinaryBlocks);
  Bytes firmware(160, 0xFF);
  firmware[5] = 0x12;    // block 0
  firmware[130] = 0x34;  // block 128; blocks 32, 64, 96 stay erased
  boottest::WriteBinary("bsbt2.a20", firmware);
  ASSERT_TRUE(Link().Connect(1, 19200));

  EXPECT_EQ(Link().Boot("bsbt2.a20"), 10);

  EXPECT_EQ(Mode(), 2);
  EXPECT_EQ(Loader().BlockAddresses(), (std::vector<uint16_t>{0, 128}));
  EXPECT_EQ(Loader().Flash(), FlashAfter({{0, firmware}}));
}

TEST_F(BootTest, ImagesUpToTheWholeAddressSpaceLoadTheFlashBelowTheLoadersArea) {
  // One byte past the flash, and the whole 64 KiB: the blocks below 0xF780 go out, the rest of
  // the image (the loader's own area) is never sent.
  for (const size_t size : {size_t{0xF781}, size_t{0x10000}}) {
    SCOPED_TRACE(size);
    StartDevice(BootstrapKind::kBinaryBlocks);
    Bytes image(size, 0xFF);
    image[3] = 0x01;
    image[0xF77F] = 0x02;  // the last byte of the flash
    for (size_t a = 0xF780; a < size; ++a) image[a] = 0x5A;
    boottest::WriteBinary("hsbt64k.a20", image);
    ASSERT_TRUE(Link().Connect(1, 19200));

    EXPECT_EQ(Link().Boot("hsbt64k.a20"), 10);
    EXPECT_EQ(Link().LastFailure(), "");

    EXPECT_EQ(Loader().BlockAddresses(), (std::vector<uint16_t>{0, 0xF760}));
    EXPECT_EQ(Loader().Flash(), FlashAfter({{0, Bytes(image.begin(), image.begin() + 0xF780)}}));
  }
}

TEST_F(BootTest, AutomaticBootModeDrivesTheParallelLinesAroundTheLoad) {
  StartDevice(BootstrapKind::kBinaryBlocks);
  std::mutex m;
  std::vector<uint8_t> writes;
  halvex::SetParallelWriter([&](uint8_t v) {
    std::lock_guard lock(m);
    writes.push_back(v);
    return true;
  });
  halvex::boot::Process().parallelShadow = 0;
  boottest::WriteBinary("hsbt7.a20", boottest::Pattern(40));
  Link().SetBootType(true);

  // Boot opens the current port itself (COM1 on a fresh link).
  EXPECT_EQ(Link().Boot("hsbt7.a20"), 10);
  halvex::SetParallelWriter({});

  // Boot line up, reset pulse; afterwards boot line down, reset pulse.
  EXPECT_EQ(writes, (std::vector<uint8_t>{0x01, 0x03, 0x01, 0x00, 0x02, 0x00}));
  EXPECT_EQ(Loader().BlockAddresses(), (std::vector<uint16_t>{0, 32}));
  EXPECT_EQ(link_->Status(), "COM1 19200");
}

TEST_F(BootTest, SRecordFirmwareIsConfirmedRecordByRecordAndSkipsTheBootstrapArea) {
  StartDevice(BootstrapKind::kRecords);
  const std::vector<boottest::Record> program = {{0x1000, boottest::Pattern(40, 3)},
                                                 {0x4000, boottest::Pattern(7, 9)}};
  std::vector<boottest::Record> withProtected = program;
  withProtected.push_back({0xF780, {0xDE, 0xAD}});
  withProtected.push_back({0xFFF0, {0xBE, 0xEF}});
  boottest::WriteText("hs7prog.a20", boottest::SRecordText(withProtected, 0x1000));
  ASSERT_TRUE(Link().Connect(1, 19200));

  EXPECT_EQ(Link().Boot("hs7prog.a20"), -1);

  EXPECT_EQ(Mode(), 0);
  EXPECT_EQ(Loader().RecordAddresses(), (std::vector<uint16_t>{0x1000, 0x1010, 0x1020, 0x4000}));
  EXPECT_EQ(Loader().Flash(), FlashAfter(program));
  EXPECT_EQ(Messages(), (std::vector<Shown>{
                            {"Place batteries into the hand terminal", "Set device to Boot mode"},
                            {"Device programmed succesfully", "Done"}}));
  EXPECT_EQ(link_->Status(), "COM1 19200");
}

TEST_F(BootTest, MissingFilesEndTheLoadBeforeTheDeviceIsTouched) {
  StartDevice(BootstrapKind::kRecords);
  ASSERT_TRUE(Link().Connect(1, 19200));

  // No name rule matches: no boot file at all.
  EXPECT_EQ(Link().Boot("firmware.a20"), 1);
  EXPECT_EQ(Messages().back(), (Shown{"Can't open boot file:", "file open error"}));

  std::remove("boot11.A20");
  EXPECT_EQ(Link().Boot("bs7.a20"), 1);
  EXPECT_EQ(Messages().back(), (Shown{"Can't open boot file:boot11.A20", "file open error"}));

  boottest::WriteText("boot11.A20", boottest::S1Line(0x8000, {1}) + "\n");  // no start record
  EXPECT_EQ(Link().Boot("bs7.a20"), 1);
  EXPECT_EQ(Messages().back(), (Shown{"Invalid boot file:boot11.A20", "file open error"}));

  EXPECT_EQ(Link().Boot("hs7missing.a20"), 2);
  EXPECT_EQ(Messages().back(), (Shown{"Can't open program file", "file open error"}));

  // Binary loads fail silently.
  const size_t shown = Messages().size();
  EXPECT_EQ(Link().Boot("hsbtmissing.a20"), 2);
  std::remove("5vboot.a20");
  boottest::WriteBinary("hsbt1.a20", {1, 2});
  EXPECT_EQ(Link().Boot("hsbt1.a20"), 1);
  EXPECT_EQ(Messages().size(), shown);

  EXPECT_EQ(Loader().Bootstrap(), Bytes{});
  EXPECT_EQ(link_->Status(), "COM1 19200");
}

TEST_F(BootTest, ImagesThatCannotBeLoadedWholeAreRefusedBeforeAnythingIsSent) {
  StartDevice(BootstrapKind::kBinaryBlocks);
  const Bytes old = boottest::Pattern(0x10000, 7);
  Loader().RestoreFlash(old);
  const qelta::sim::BootPhase waiting = Loader().Phase();
  mkfifo("hsbt-fifo.a20", 0600);
  mkdir("bsbt-folder.a20", 0700);
  boottest::WriteBinary("hsbt-empty.a20", {});
  boottest::WriteBinary("hs7-empty.a20", {});
  boottest::WriteBinary("hsbt-long.a20", Bytes(0x10001, 0x11));
  const std::pair<const char*, const char*> cases[] = {
      {"hsbt-empty.a20", "file is empty"},
      {"hsbt-long.a20", "file is larger than the device's 64 KiB address space"},
      {"bsbt-folder.a20", "Is a directory"},
      {"hsbt-fifo.a20", "not a regular file"},
      {"hs7-empty.a20", "file is empty"},
  };
  for (const auto& [image, reason] : cases) {
    EXPECT_EQ(Link().Boot(image), 2) << image;
    EXPECT_EQ(Link().LastFailure(), reason);
  }
  // Only the S-record load says it in a message; binary loads stay silent.
  EXPECT_EQ(Messages(),
            (std::vector<Shown>{{"Can't open program file\nfile is empty", "file open error"}}));
  std::remove("5vboot.a20");
  mkfifo("5vboot.a20", 0600);  // a boot file in a FIFO's place is refused the same way
  EXPECT_EQ(Link().Boot("hsbt-empty.a20"), 1);
  EXPECT_EQ(Link().LastFailure(), "not a regular file");

  // Nothing reached the ROM loader: no bootstrap, no erase, the old firmware intact.
  EXPECT_EQ(Loader().Phase(), waiting);
  EXPECT_EQ(Loader().Bootstrap(), Bytes{});
  EXPECT_EQ(Loader().Flash(), old);
}

TEST_F(BootTest, SilentRomLoaderGivesThreeAndThePortReturnsToNormalSpeed) {
  BootLoaderKnobs knobs;
  knobs.silent_at = BootStage::kWakeUp;
  StartDevice(knobs);
  boottest::WriteText("hs7.a20", boottest::SRecordText({{0x100, {1, 2, 3}}}, 0x100));
  ASSERT_TRUE(Link().Connect(1, 19200));

  EXPECT_EQ(Link().Boot("hs7.a20"), 3);

  EXPECT_EQ(Messages().back(), (Shown{"Can't connect to device", "Waiting 00 "}));
  EXPECT_EQ(link_->Status(), "COM1 19200");
}

TEST_F(BootTest, NoAnswerToTheStartByteGivesFour) {
  BootLoaderKnobs knobs;
  knobs.silent_at = BootStage::kStart;
  StartDevice(knobs);
  boottest::WriteBinary("hsbt.a20", {1, 2, 3});
  ASSERT_TRUE(Link().Connect(1, 19200));

  // The start byte's retry waits 55 s.
  EXPECT_EQ(Link().Boot("hsbt.a20"), 4);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(link_->Status(), "COM1 19200");
}

struct StreamFault {
  const char* name;
  BootLoaderKnobs knobs;
  int16_t result;
  const char* message;
  friend void PrintTo(const StreamFault& f, std::ostream* os) { *os << f.name; }
};

class BootStreamFaultTest : public BootTest, public ::testing::WithParamInterface<StreamFault> {};

TEST_P(BootStreamFaultTest, EachStreamFaultHasItsOwnResult) {
  StartDevice(GetParam().knobs);
  boottest::WriteText("HS7x.a20", boottest::SRecordText({{0x100, {1, 2, 3}}}, 0x100));
  ASSERT_TRUE(Link().Connect(1, 19200));

  EXPECT_EQ(Link().Boot("HS7x.a20"), GetParam().result);

  EXPECT_EQ(Messages().back(), (Shown{GetParam().message, "Boot Load"}));
  EXPECT_EQ(link_->Status(), "COM1 19200");
  EXPECT_TRUE(Link().Face().ProgressLine().find_first_not_of(' ') == std::string::npos);
}

BootLoaderKnobs Knobs(std::optional<size_t> missing, std::optional<size_t> wrong) {
  BootLoaderKnobs k;
  k.rom_bootstrap = BootstrapKind::kRecords;
  k.missing_echo_at = missing;
  k.wrong_echo_at = wrong;
  return k;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BootStreamFaultTest,
    ::testing::Values(StreamFault{"NoFirstEcho", Knobs(0, {}), 5, "No response from device 1"},
                      StreamFault{"NoLaterEcho", Knobs(9, {}), 6, "No response from device 2"},
                      StreamFault{"WrongLengthEcho", Knobs({}, 1), 7, "No response from device 3"},
                      StreamFault{"WrongLastEcho", Knobs({}, 25), 7, "No response from device 3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BootTest, AnUnconfirmedRecordChecksumGivesSix) {
  BootLoaderKnobs knobs;
  knobs.rom_bootstrap = BootstrapKind::kRecords;
  knobs.wrong_checksum_at = 1;
  StartDevice(knobs);
  boottest::WriteText("hs7.a20", boottest::SRecordText({{0x100, boottest::Pattern(48)}}, 0x100));
  ASSERT_TRUE(Link().Connect(1, 19200));

  EXPECT_EQ(Link().Boot("hs7.a20"), 6);

  EXPECT_EQ(Loader().RecordAddresses(), (std::vector<uint16_t>{0x100, 0x110}));
  EXPECT_EQ(Messages().back(),
            (Shown{"Wrong chksum from device.\nCheck battery condition.", "chksum fail"}));
  EXPECT_EQ(link_->Status(), "COM1 19200");
}

TEST_F(BootTest, ASilentBootstrapDoesNotPassForAZeroChecksum) {
  BootLoaderKnobs knobs;
  knobs.rom_bootstrap = BootstrapKind::kRecords;
  knobs.silent_at = BootStage::kProgramming;
  StartDevice(knobs);
  // Data bytes summing to 0x00: an empty reply buffer would look like a confirmation.
  boottest::WriteText("hs7.a20", boottest::SRecordText({{0x100, {0x80, 0x80}}}, 0x100));
  ASSERT_TRUE(Link().Connect(1, 19200));

  EXPECT_EQ(Link().Boot("hs7.a20"), 6);
}

TEST_F(BootTest, ABrokenRecordStopsTheLoadInsteadOfEndingItQuietly) {
  StartDevice(BootstrapKind::kRecords);
  boottest::WriteText("hs7.a20", "S0030000FC\n" + boottest::S1Line(0x100, {1, 2}) +
                                     "\nS1130110AB\n" + boottest::S9Line(0x100) + "\n");
  ASSERT_TRUE(Link().Connect(1, 19200));

  EXPECT_EQ(Link().Boot("hs7.a20"), 2);
  EXPECT_EQ(Loader().RecordAddresses(), (std::vector<uint16_t>{0x100}));
  EXPECT_EQ(Messages().back(), (Shown{"Bad record in program file", "file open error"}));
}

TEST_F(BootTest, ARejectedBlockGivesEightAndStopsTheLoad) {
  BootLoaderKnobs knobs;
  knobs.reject_block_at = 1;
  StartDevice(knobs);
  boottest::WriteBinary("hsbt.a20", boottest::Pattern(128));
  ASSERT_TRUE(Link().Connect(1, 19200));

  EXPECT_EQ(Link().Boot("hsbt.a20"), 8);

  EXPECT_EQ(Loader().BlockAddresses(), (std::vector<uint16_t>{0, 32}));
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(link_->Status(), "COM1 19200");
}

}  // namespace
