// Writing a device from an EEPROM file and saving the images as one.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "LinkFixture.h"
#include "SimLine.h"
#include "transport/DeviceRunner.h"
#include "transport/PtyEndpoint.h"

namespace linktest {
namespace {

namespace fs = std::filesystem;

class EepromFileOps : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    dir = fs::temp_directory_path() / ("linkp-epr-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override {
    fs::remove_all(dir);
    LinkTest::TearDown();
  }
  std::string File(const std::string& name, const std::string& text) {
    const auto path = (dir / name).string();
    std::ofstream(path) << text;
    return path;
  }
  // The memory writes sent: (address, length) with the page in X.
  std::vector<std::tuple<int, int, int>> Writes() {
    std::vector<std::tuple<int, int, int>> w;
    for (const Bytes& f : line().SentBytes()) {
      if (f.size() > 6 && f[2] == 0x10) w.emplace_back(f[4], f[5], f[3]);
    }
    return w;
  }
  fs::path dir;
};

TEST_F(EepromFileOps, RunsOfThirteenThenTheRestThenScannerCommands) {
  std::string text = "//Eeprom settings\n";
  for (int a = 0; a < 30; ++a)
    text += "E:0:" + std::to_string(a) + ":" + std::to_string(a + 1) + ":**\n";
  text += "E:0:40:300:**\nE:1:253:1:**\nE:1:254:2:**\nE:1:255:3:**\nL:ZA\n";
  AnswerAll(B({0}));
  ASSERT_TRUE(link.ReadEprFile(File("a.epr", text)));
  EXPECT_EQ(Writes(), (std::vector<std::tuple<int, int, int>>{
                          {0, 0, 13}, {0, 13, 13}, {0, 26, 4}, {1, 253, 3}}));
  const auto sent = line().Sent();
  EXPECT_EQ(sent[1].bytes,
            B({2, 17, 0x10, 13, 0, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 3}));
  // The run still open at address 255 is written with the file's last bytes; the page waits
  // 500 ms after page 0 and 300 ms before the scanner commands.
  EXPECT_EQ(sent[3].bytes, B({2, 7, 0x10, 3, 1, 253, 1, 2, 3, 3}));
  EXPECT_GE(sent[3].at - sent[2].at, std::chrono::milliseconds(490));
  EXPECT_EQ(sent[4].bytes, B({2, 4, 0x11, 2, 'Z', 'A', 3}));
  EXPECT_GE(sent[4].at - sent[3].at, std::chrono::milliseconds(290));
}

TEST_F(EepromFileOps, BadFilesWriteNothing) {
  AnswerAll(B({0}));
  EXPECT_FALSE(link.ReadEprFile((dir / "missing.epr").string()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].first, "Can't open file:" + (dir / "missing.epr").string());
  EXPECT_EQ(messages[0].second, "file open error");
  EXPECT_FALSE(link.ReadEprFile(File("b.epr", "E:0:1:1:**\nE:0:256:1:**\n")));
  EXPECT_TRUE(line().Sent().empty());
  EXPECT_FALSE(link.WriteEepromFile(dir.string()));  // a folder cannot be written as a file
}

TEST_F(EepromFileOps, WhatIsNoRegularFileIsRefusedAtOnceWithItsReason) {
  AnswerAll(B({0}));
  const std::string fifo = (dir / "fifo.epr").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string big = File("big.epr", std::string((size_t{1} << 20) + 1, ' '));
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {dir.string(), "Is a directory"},
      {fifo, "not a regular file"},
      {"/dev/zero", "not a regular file"},
      {big, "file is larger than 1 MiB"},
  };
  for (const auto& c : cases) {
    messages.clear();
    EXPECT_FALSE(link.ReadEprFile(c.path)) << c.path;
    EXPECT_EQ(link.LastFailure(), c.reason);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].first, "Can't open file:" + c.path + "\n" + c.reason);
  }
  EXPECT_TRUE(line().Sent().empty());
  // Saving never writes into a device or waits for a reader of a FIFO.
  EXPECT_FALSE(link.WriteEepromFile(fifo));
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST_F(EepromFileOps, FailedFullRunIsReportedPerPageAndStops) {
  std::string text;
  for (int a = 0; a < 20; ++a) text += "E:0:" + std::to_string(a) + ":1:**\n";
  for (int a = 0; a < 13; ++a) text += "E:1:" + std::to_string(a) + ":1:**\n";
  const std::string path = File("c.epr", text);
  EXPECT_FALSE(link.ReadEprFile(path));  // silent device
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].second, "WriteBlockToEeprom Failure. Page0");
  EXPECT_EQ(Writes().size(), 2u);  // the first run, sent twice; the second run never

  // Page 0 is written, page 1 is not answered.
  line().SetScript([](const Bytes& f) { return f[4] == 0 ? std::optional(B({0})) : std::nullopt; });
  line().ClearSent();
  EXPECT_FALSE(link.ReadEprFile(path));
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].first, "WriteBlockToEeprom Failure Page1");
  EXPECT_EQ(Writes().size(), 4u);
}

// Over real ptys: a simulated device on each, the link's own serial port in between.
TEST_F(EepromFileOps, RoundTripBetweenTwoDevicesOverPtys) {
  auto source = MakeDevice(9), target = MakeDevice(9);
  std::mt19937 rng(7);
  source->WithMemory([&](qelta::sim::DeviceMemory& m) {
    for (auto area : {qelta::sim::MemoryArea::kPage0, qelta::sim::MemoryArea::kPage1}) {
      for (auto& b : m.Area(area)) b = static_cast<uint8_t>(rng());
    }
  });
  auto attach = [this](qelta::sim::SimDevice& device, int16_t com) {
    auto pty = std::make_unique<qelta::sim::PtyEndpoint>();
    EXPECT_TRUE(pty->Ok()) << pty->Error();
    link.SetComPortPath(com, pty->SlavePath());
    auto runner = std::make_unique<qelta::sim::DeviceRunner>(device, std::move(pty));
    runner->Start();
    return runner;
  };
  auto sourceLine = attach(*source, 7);
  auto targetLine = attach(*target, 8);

  ASSERT_TRUE(link.Connect(7, 19200));
  ASSERT_TRUE(link.ReadPage1(0, 255));
  ASSERT_TRUE(link.ReadPage2(0, 255));
  const std::string path = (dir / "saved.epr").string();
  ASSERT_TRUE(link.WriteEepromFile(path));

  ASSERT_TRUE(link.Connect(8, 19200));
  ASSERT_TRUE(link.ReadEprFile(path));
  link.Disconnect();
  for (int page : {0, 1}) {
    const auto want = source->Page(page), got = target->Page(page);
    EXPECT_TRUE(std::equal(want.begin(), want.begin() + 255, got.begin())) << page;
    EXPECT_EQ(got[255], qelta::sim::kErasedByte);  // outside the images: left alone
  }
}

}  // namespace
}  // namespace linktest
