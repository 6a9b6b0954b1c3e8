#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "SimTestHelpers.h"
#include "device/DeviceStateFile.h"

namespace qelta::sim {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

class DeviceStateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("simstate-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path) << text;
    return path;
  }

  fs::path dir_;
};

TEST_F(DeviceStateFileTest, RoundTripKeepsIdentityAndEveryArea) {
  SimDevice terminal(DeviceIdentity{8, 7, 300, {15, 6, 6}});
  terminal.Exchange(test::WriteFrame(125, 2, {7}));
  terminal.Exchange(test::WriteFrame(32700, 2, {0, 1, 2, 0xFF, 0xFE}));
  terminal.WithMemory([](DeviceMemory& m) {
    m.Area(MemoryArea::kPage0)[3] = 0x33;  // stored even though a terminal does not reach it
  });
  const std::string path = (dir_ / "terminal.state").string();
  ASSERT_TRUE(SaveDeviceState(path, terminal).ok);

  SimDevice loaded;
  StateFileResult result = LoadDeviceState(path, loaded);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(loaded.Identity(), terminal.Identity());
  EXPECT_EQ(loaded.Extended(), terminal.Extended());
  EXPECT_EQ(loaded.Page(0), terminal.Page(0));
  // The loaded device has the hand terminal's layout, so the wire reaches the same bytes.
  EXPECT_EQ(loaded.Exchange(test::ReadFrame(125, 2, 1)), (Bytes{0x0F, 1, 0, 125, 7}));
  loaded.WithMemory([](DeviceMemory& m) { EXPECT_EQ(m.Area(MemoryArea::kPage0)[3], 0x33); });

  SimDevice station(DeviceIdentity{9, 1, 0xFFFF, {31, 12, 255}});
  station.Exchange(test::WriteFrame(0, 0, Bytes(200, 0x00)));
  station.Exchange(test::WriteFrame(250, 1, {1, 2, 3, 4, 5, 6}));
  ASSERT_TRUE(SaveDeviceState(path, station).ok) << "saving replaces the file";
  SimDevice again;
  ASSERT_TRUE(LoadDeviceState(path, again).ok);
  EXPECT_EQ(again.Identity(), station.Identity());
  EXPECT_EQ(again.Page(0), station.Page(0));
  EXPECT_EQ(again.Page(1), station.Page(1));
  EXPECT_FALSE(fs::exists(path + ".tmp"));
}

TEST_F(DeviceStateFileTest, HandWrittenFileWithCommentsAndCrLf) {
  const std::string path = Write("hand.state",
                                 "# a base station on the bench\r\n"
                                 "qelta-sim-state 1\r\n"
                                 "\r\n"
                                 "id 1234\r\n"
                                 "page0 000D 05\r\n"
                                 "page1 00FE aabb\r\n");
  SimDevice device(DeviceIdentity{9, 4, 0, {1, 2, 3}});
  ASSERT_TRUE(LoadDeviceState(path, device).ok);
  EXPECT_EQ(device.Identity().id, 1234);
  EXPECT_EQ(device.Identity().version, 4) << "what the file does not name stays";
  EXPECT_EQ(device.Page(0)[13], 5);
  EXPECT_EQ(device.Page(0)[12], kErasedByte);
  EXPECT_EQ(device.Page(1)[254], 0xAA);
  EXPECT_EQ(device.Page(1)[255], 0xBB);
}

TEST_F(DeviceStateFileTest, BadFilesAreRefusedWholeAndNameTheLine) {
  struct Case {
    const char* what;
    std::string text;
    const char* line;
  };
  const std::string header = "qelta-sim-state 1\n";
  const Case cases[] = {
      {"no header", "type 9\n", ":1:"},
      {"empty", "", ":0:"},
      {"binary junk", std::string("\x00\xff\x13garbage\n", 11), ":1:"},
      {"type too big", header + "type 256\n", ":2:"},
      {"negative id", header + "id -1\n", ":2:"},
      {"id too big", header + "id 65536\n", ":2:"},
      {"bad date", header + "date 1.2\n", ":2:"},
      {"unknown key", header + "color blue\n", ":2:"},
      {"odd hex", header + "page0 0000 ABC\n", ":2:"},
      {"not hex", header + "page0 0000 ZZ\n", ":2:"},
      {"short offset", header + "page0 10 AA\n", ":2:"},
      {"past page end", header + "page1 00FF AABB\n", ":2:"},
      {"past ext end", header + "ext 7FFF 0102\n", ":2:"},
      {"trailing text", header + "page0 0000 AA BB\n", ":2:"},
      {"late fault", header + "page0 0000 AA\nid 5\nversion x\n", ":4:"},
  };
  for (const Case& c : cases) {
    SimDevice device(DeviceIdentity{9, 3, 77, {1, 1, 1}});
    const std::string path = Write("bad.state", c.text);
    StateFileResult result = LoadDeviceState(path, device);
    EXPECT_FALSE(result.ok) << c.what;
    EXPECT_NE(result.error.find(c.line), std::string::npos) << c.what << ": " << result.error;
    EXPECT_EQ(device.Identity(), (DeviceIdentity{9, 3, 77, {1, 1, 1}})) << c.what;
    EXPECT_EQ(device.Page(0), Bytes(kPageSize, kErasedByte)) << c.what;
  }
  SimDevice device;
  EXPECT_FALSE(LoadDeviceState((dir_ / "missing").string(), device).ok);
  EXPECT_FALSE(SaveDeviceState((dir_ / "no/such/dir/x").string(), device).ok);
}

}  // namespace
}  // namespace qelta::sim
