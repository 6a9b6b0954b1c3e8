// Update against a simulated device running its normal firmware, over a pty.
#include <gtest/gtest.h>

#include <fstream>

#include "BootTestSupport.h"
#include "boot/BootState.h"
#include "interface/LinkState.h"

using boottest::Bytes;
using boottest::Shown;
using qelta::sim::BootLoaderKnobs;
using qelta::sim::BootPhase;
using qelta::sim::BootStage;

namespace {

const Bytes kUpdateCode = boottest::Pattern(20, 11);
const std::vector<boottest::Record> kProgram = {{0x2000, boottest::Pattern(35, 2)},
                                                {0x3000, {0x01, 0x02, 0x03}}};

class UpdateTest : public ::testing::Test {
 protected:
  void StartDevice(uint8_t type, const BootLoaderKnobs& knobs = {}) {
    line_ = std::make_unique<boottest::SimLine>(type, knobs);
    link_ = std::make_unique<boottest::LinkOnLine>(*line_);
    boottest::WriteBootFile("udkbase.a20", 0xC000, kUpdateCode);
    boottest::WriteBootFile("udkhs1.a20", 0xC000, kUpdateCode);
    boottest::WriteText("prog.a20", boottest::SRecordText(kProgram, 0x2000));
  }
  CHalvexCtrl& Link() { return link_->Link(); }
  const std::vector<Shown>& Messages() { return link_->Messages(); }
  qelta::sim::BootRomLoader& Loader() { return line_->Loader(); }

  boottest::TempWorkDir dir_;
  std::unique_ptr<boottest::SimLine> line_;
  std::unique_ptr<boottest::LinkOnLine> link_;
};

TEST_F(UpdateTest, AFullUpdateStreamsTheBootstrapWaitsForTheEraseAndProgramsTheRecords) {
  StartDevice(qelta::sim::kTypeBaseStation);
  ASSERT_TRUE(Link().Connect(1, 19200));

  EXPECT_EQ(Link().Update("prog.a20"), 53);

  EXPECT_EQ(Loader().Bootstrap(), kUpdateCode);
  EXPECT_EQ(Loader().RecordAddresses(), (std::vector<uint16_t>{0x2000, 0x2010, 0x2020, 0x3000}));
  Bytes flash(0x10000, 0xFF);
  for (const auto& r : kProgram) std::copy(r.data.begin(), r.data.end(), flash.begin() + r.address);
  EXPECT_EQ(Loader().Flash(), flash);
  // The six 0xFF bytes ended the load and the device runs normally again.
  EXPECT_EQ(Loader().Phase(), BootPhase::kDone);
  EXPECT_FALSE(line_->Device().BootMode());

  EXPECT_TRUE(Link().GetBootType());
  EXPECT_TRUE(Messages().empty());  // BootType suppresses the success box
  EXPECT_EQ(link_->Status(), "COM1 19200");
  EXPECT_FALSE(Link().impl().BootFlag());
  EXPECT_EQ(halvex::boot::Process().bootFileMode.load(), 0);
}

TEST_F(UpdateTest, TheBootFileFollowsTheDeviceLayout) {
  // Layout A (type 0) takes "udkhs1.a20": with only that file the load goes on to the request.
  BootLoaderKnobs refuse;
  refuse.boot_request_answer = 'X';
  StartDevice(0, refuse);
  std::remove("udkbase.a20");
  ASSERT_TRUE(Link().Connect(1, 19200));
  EXPECT_EQ(Link().Update("prog.a20"), 46);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(link_->Status(), "COM1 19200");

  // Type 8 is not layout A: it needs "udkbase.a20".
  line_->Device().SetIdentity({qelta::sim::kTypeHandTerminal});
  ASSERT_TRUE(Link().Connect(1, 19200));  // forgets the cached device information
  EXPECT_EQ(Link().Update("prog.a20"), -1);
  EXPECT_EQ(Messages(), (std::vector<Shown>{{"bootfile open error", "Halvex Control"}}));
}

TEST_F(UpdateTest, BootTypeStaysSetWhenNoDeviceAnswered) {
  StartDevice(qelta::sim::kTypeBaseStation);
  qelta::sim::FaultKnobs silent;
  silent.silent = true;
  line_->Device().SetFaults(silent);
  ASSERT_TRUE(Link().Connect(1, 19200));
  ASSERT_FALSE(Link().GetBootType());

  EXPECT_EQ(Link().Update("prog.a20"), -1);
  EXPECT_TRUE(Link().GetBootType());

  // Also without any link.
  CHalvexCtrl fresh;
  fresh.SetComPortPath(1, "/nonexistent/tty");
  EXPECT_EQ(fresh.Update("prog.a20"), -1);
  EXPECT_TRUE(fresh.GetBootType());
}

TEST_F(UpdateTest, AMissingProgramFileIsReportedInEveryMode) {
  StartDevice(qelta::sim::kTypeBaseStation);
  ASSERT_TRUE(Link().Connect(1, 19200));
  EXPECT_EQ(Link().Update("nothere.a20"), 2);
  EXPECT_EQ(Messages(), (std::vector<Shown>{{"Can't open program file", "file open error"}}));
  // An empty program file is refused before the device is asked into its loader.
  std::ofstream("empty.a20").flush();
  EXPECT_EQ(Link().Update("empty.a20"), 2);
  EXPECT_EQ(Messages().back(),
            (Shown{"Can't open program file\nfile is empty", "file open error"}));
  EXPECT_EQ(Loader().Bootstrap(), Bytes{});
}

struct UpdateFault {
  const char* name;
  BootLoaderKnobs knobs;
  int16_t result;
  friend void PrintTo(const UpdateFault& f, std::ostream* os) { *os << f.name; }
};

class UpdateFaultTest : public UpdateTest, public ::testing::WithParamInterface<UpdateFault> {};

TEST_P(UpdateFaultTest, EachStageFailsWithItsOwnResult) {
  StartDevice(qelta::sim::kTypeBaseStation, GetParam().knobs);
  ASSERT_TRUE(Link().Connect(1, 19200));

  EXPECT_EQ(Link().Update("prog.a20"), GetParam().result);

  EXPECT_EQ(link_->Status(), "COM1 19200");
  // The handshake is back for normal frames whatever happened.
  EXPECT_FALSE(Link().impl().BootFlag());
  EXPECT_TRUE(Link().GetBootType());
}

BootLoaderKnobs With(void (*set)(BootLoaderKnobs&)) {
  BootLoaderKnobs k;
  set(k);
  return k;
}

INSTANTIATE_TEST_SUITE_P(
    Stages, UpdateFaultTest,
    ::testing::Values(
        UpdateFault{"NoBootRequestAnswer",
                    With([](BootLoaderKnobs& k) { k.silent_at = BootStage::kBootRequest; }), -1},
        UpdateFault{"BootRequestNotF",
                    With([](BootLoaderKnobs& k) { k.boot_request_answer = 'E'; }), 46},
        UpdateFault{"NoBootLengthAnswer",
                    With([](BootLoaderKnobs& k) { k.silent_at = BootStage::kBootLength; }), -1},
        UpdateFault{"BootLengthNotG", With([](BootLoaderKnobs& k) { k.boot_length_answer = 'H'; }),
                    47},
        UpdateFault{"NoStreamEcho", With([](BootLoaderKnobs& k) { k.missing_echo_at = 4; }), 50},
        UpdateFault{"WrongStreamEcho", With([](BootLoaderKnobs& k) { k.wrong_echo_at = 19; }), 52},
        UpdateFault{"EraseNotBB", With([](BootLoaderKnobs& k) { k.erase_answer = 0xBA; }), 51},
        UpdateFault{"NoEraseAnswer",
                    With([](BootLoaderKnobs& k) { k.silent_at = BootStage::kErase; }), 52},
        UpdateFault{"WrongChecksum", With([](BootLoaderKnobs& k) { k.wrong_checksum_at = 2; }), 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
