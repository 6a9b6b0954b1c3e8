// The load's progress on the control's face during Boot and Update against a simulated device:
// 0 of the total at the start, one step per confirmed exchange, cleared at the end however the
// load ends.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../link_boot/BootTestSupport.h"
#include "ProgressRecorder.h"
#include "boot/LoadProgressCount.h"

using boottest::Bytes;
using fwprogtest::ProgressRecorder;
using qelta::sim::BootLoaderKnobs;
using qelta::sim::BootstrapKind;

namespace {

const Bytes kBootCode = boottest::Pattern(24, 5);
constexpr uint32_t kStreamed = 24 + 2;  // the prefixed image

class LoadProgressTest : public ::testing::Test {
 protected:
  void StartDevice(const BootLoaderKnobs& knobs, bool bootMode = true,
                   uint8_t type = qelta::sim::kTypeHandTerminal) {
    line_ = std::make_unique<boottest::SimLine>(type, knobs);
    line_->Device().SetBootMode(bootMode);
    link_ = std::make_unique<boottest::LinkOnLine>(*line_);
    for (const char* name : {"5vboot.a20", "boot1.A20", "udkbase.a20"}) {
      boottest::WriteBootFile(name, 0xB600, kBootCode);
    }
    recorder_ = std::make_unique<ProgressRecorder>(Link().Face());
    ASSERT_TRUE(Link().Connect(1, 19200));
  }
  CHalvexCtrl& Link() { return link_->Link(); }
  void TearDown() override { recorder_.reset(); }

  boottest::TempWorkDir dir_;
  std::unique_ptr<boottest::SimLine> line_;
  std::unique_ptr<boottest::LinkOnLine> link_;
  std::unique_ptr<ProgressRecorder> recorder_;
};

TEST_F(LoadProgressTest, BinaryLoadCountsBootstrapBytesAndSentBlocksOnly) {
  StartDevice({});
  // Blocks at 0, 32 and 96 hold data; the one at 64 is blank and is not sent.
  Bytes firmware = boottest::Pattern(100);
  std::fill(firmware.begin() + 64, firmware.begin() + 96, 0xFF);
  boottest::WriteBinary("Hsbt0105.a20", firmware);

  EXPECT_EQ(Link().Boot("Hsbt0105.a20"), 10);

  uint32_t done = 0, total = 0;
  EXPECT_TRUE(fwprogtest::IsOneMonotonicLoad(recorder_->Values(), done, total));
  EXPECT_EQ(total, kStreamed + 3);
  EXPECT_EQ(done, total);
  EXPECT_FALSE(Link().Face().CurrentLoadProgress());
  // Progress is data beside the strip: the strip itself is left as the load leaves it.
  EXPECT_EQ(Link().Face().ProgressLine().find_first_not_of(' '), std::string::npos);
}

TEST_F(LoadProgressTest, RecordLoadCountsRecordsBelowTheBootstrapArea) {
  BootLoaderKnobs knobs;
  knobs.rom_bootstrap = BootstrapKind::kRecords;
  StartDevice(knobs);
  // 40 bytes in three lines, 7 in one, and two records the sender skips.
  boottest::WriteText("hs7prog.a20", boottest::SRecordText({{0x1000, boottest::Pattern(40, 3)},
                                                            {0xF780, {0xDE, 0xAD}},
                                                            {0x4000, boottest::Pattern(7, 9)},
                                                            {0xFFF0, {0xBE, 0xEF}}},
                                                           0x1000));

  EXPECT_EQ(Link().Boot("hs7prog.a20"), -1);

  uint32_t done = 0, total = 0;
  EXPECT_TRUE(fwprogtest::IsOneMonotonicLoad(recorder_->Values(), done, total));
  EXPECT_EQ(total, kStreamed + 4);
  EXPECT_EQ(done, total);
}

TEST_F(LoadProgressTest, FailuresClearTheProgressWhereTheyStop) {
  struct Case {
    const char* name;
    BootLoaderKnobs knobs;
    int16_t result;
    uint32_t doneAtStop;
  };
  BootLoaderKnobs wrongEcho;
  wrongEcho.wrong_echo_at = 5;
  BootLoaderKnobs rejected;
  rejected.reject_block_at = 1;
  BootLoaderKnobs silentWakeUp;
  silentWakeUp.silent_at = qelta::sim::BootStage::kWakeUp;
  for (const Case& c :
       {Case{"wrong echo", wrongEcho, 7, 5}, Case{"rejected block", rejected, 8, kStreamed + 1},
        Case{"no wake-up answer", silentWakeUp, 3, 0}}) {
    SCOPED_TRACE(c.name);
    StartDevice(c.knobs);
    boottest::WriteBinary("Hsbt0105.a20", boottest::Pattern(100));

    EXPECT_EQ(Link().Boot("Hsbt0105.a20"), c.result);

    uint32_t done = 0, total = 0;
    EXPECT_TRUE(fwprogtest::IsOneMonotonicLoad(recorder_->Values(), done, total));
    EXPECT_EQ(total, kStreamed + 4);
    EXPECT_EQ(done, c.doneAtStop);
    EXPECT_FALSE(Link().Face().CurrentLoadProgress());
    recorder_.reset();
    link_.reset();
    line_.reset();
  }
}

TEST_F(LoadProgressTest, LoadsThatNeverReachTheDeviceShowNoProgress) {
  StartDevice({});
  EXPECT_EQ(Link().Boot("Hsbt-missing.a20"), 2);
  EXPECT_EQ(Link().Boot("nothing-known.a20"), 1);
  EXPECT_TRUE(recorder_->Values().empty());
}

TEST_F(LoadProgressTest, UpdateCountsTheBootstrapDataAndTheRecords) {
  StartDevice({}, /*bootMode=*/false, qelta::sim::kTypeBaseStation);
  boottest::WriteText(
      "prog.a20", boottest::SRecordText(
                      {{0x2000, boottest::Pattern(35, 2)}, {0x3000, {0x01, 0x02, 0x03}}}, 0x2000));

  EXPECT_EQ(Link().Update("prog.a20"), 53);

  uint32_t done = 0, total = 0;
  EXPECT_TRUE(fwprogtest::IsOneMonotonicLoad(recorder_->Values(), done, total));
  EXPECT_EQ(total, 24u + 4u);  // the length went in the boot-length frame
  EXPECT_EQ(done, total);
}

TEST_F(LoadProgressTest, UpdateRefusedAtTheBootRequestClearsTheProgress) {
  BootLoaderKnobs refuse;
  refuse.boot_request_answer = 'X';
  StartDevice(refuse, /*bootMode=*/false, qelta::sim::kTypeBaseStation);
  boottest::WriteText("prog.a20", boottest::SRecordText({{0x2000, {1, 2}}}, 0x2000));

  EXPECT_EQ(Link().Update("prog.a20"), 46);

  uint32_t done = 0, total = 0;
  EXPECT_TRUE(fwprogtest::IsOneMonotonicLoad(recorder_->Values(), done, total));
  EXPECT_EQ(done, 0u);
}

// The counts are taken ahead of the load from the open program file; the load then reads the
// file from where it was.
TEST(LoadProgressCountTest, CountsLeaveTheFilePositionAlone) {
  boottest::TempWorkDir dir;
  Bytes firmware(0xF780 + 64, 0xFF);
  firmware[5] = 1;             // block 0
  firmware[32 * 10 + 31] = 2;  // block 10
  firmware[0xF780 + 3] = 3;    // beyond the flash area: never sent
  boottest::WriteBinary("fw.bin", firmware);
  std::FILE* f = std::fopen("fw.bin", "rb");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 7, SEEK_SET);
  EXPECT_EQ(halvex::boot::CountBlocksToSend(f), 2u);
  EXPECT_EQ(std::ftell(f), 7);
  std::fclose(f);

  // A short last block is padded, and counts when it holds data.
  boottest::WriteBinary("short.bin", Bytes(33, 0x10));
  f = std::fopen("short.bin", "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(halvex::boot::CountBlocksToSend(f), 2u);
  std::fclose(f);

  // Records stop at the first line that is not a data record, as the sender does.
  boottest::WriteText("p.a20", "S0030000FC\n" + boottest::S1Line(0x100, {1}) + "\n" +
                                   boottest::S1Line(0xF800, {2}) + "\n" +
                                   boottest::S1Line(0x200, {3}) + "\nS5030003F9\n" +
                                   boottest::S1Line(0x300, {4}) + "\n");
  f = std::fopen("p.a20", "r");
  ASSERT_NE(f, nullptr);
  char header[64];
  ASSERT_NE(std::fgets(header, sizeof header, f), nullptr);
  const long after = std::ftell(f);
  EXPECT_EQ(halvex::boot::CountRecordsToSend(f), 2u);
  EXPECT_EQ(std::ftell(f), after);
  std::fclose(f);
}

}  // namespace
