// Frame building, address bytes, the information reply and the memory layouts.
#include <gtest/gtest.h>

#include "protocol/DeviceInfo.h"
#include "protocol/Frame.h"

namespace {

std::vector<int> Ints(const std::vector<int16_t>& v) { return {v.begin(), v.end()}; }

TEST(Frame, CommandFramesCountCommandAndArgumentsAndTakeLowBytes) {
  EXPECT_EQ(Ints(halvex::CommandFrame(0x12)), (std::vector<int>{0x02, 0x01, 0x12, 0x03}));
  EXPECT_EQ(Ints(halvex::CommandFrame(0x19, {5})),
            (std::vector<int>{0x02, 0x02, 0x19, 0x05, 0x03}));
  EXPECT_EQ(Ints(halvex::CommandFrame(0x1B, {1, 2})),
            (std::vector<int>{0x02, 0x03, 0x1B, 0x01, 0x02, 0x03}));
  // Arguments travel as their low 8 bits.
  EXPECT_EQ(Ints(halvex::CommandFrame(0x1C, {0x1234})),
            (std::vector<int>{0x02, 0x02, 0x1C, 0x34, 0x03}));
  EXPECT_EQ(Ints(halvex::CommandFrame(0x1C, {-1})),
            (std::vector<int>{0x02, 0x02, 0x1C, 0xFF, 0x03}));
}

TEST(Frame, MemoryAddressBytesPerPage) {
  auto xy = [](int16_t a, int16_t p) {
    auto m = halvex::MemoryAddressBytes(a, p);
    return std::pair<int, int>(m.x, m.y);
  };
  EXPECT_EQ(xy(19, 0), std::make_pair(0x00, 0x13));
  EXPECT_EQ(xy(300, 1), std::make_pair(0x01, 0x2C));  // pages carry only the low byte
  EXPECT_EQ(xy(125, 2), std::make_pair(0x00, 0x7D));
  EXPECT_EQ(xy(20000, 2), std::make_pair(0x4E, 0x20));
  EXPECT_EQ(xy(0x1234, 7), std::make_pair(0x12, 0x34));  // any other page: extended addressing
  EXPECT_EQ(xy(-2, 2), std::make_pair(0xFF, 0xFE));      // arithmetic shift of a signed address
}

TEST(Frame, MemoryReadAndWriteFrames) {
  EXPECT_EQ(Ints(halvex::MemoryReadFrame(1, 20000, 2)),
            (std::vector<int>{0x02, 0x04, 0x0F, 0x01, 0x4E, 0x20, 0x03}));
  const int16_t data[] = {5, 0x106};
  EXPECT_EQ(Ints(halvex::MemoryWriteFrame(13, 0, data)),
            (std::vector<int>{0x02, 0x06, 0x10, 0x02, 0x00, 0x0D, 0x05, 0x06, 0x03}));
  // The largest write fills the 256-element buffer exactly.
  std::vector<int16_t> big(halvex::kMaxWriteData, 0x55);
  auto f = halvex::MemoryWriteFrame(0, 1, big);
  ASSERT_EQ(f.size(), 256u);
  EXPECT_EQ(f[1], 253);
  EXPECT_EQ(f[3], 249);
  EXPECT_EQ(f.back(), 0x03);
}

TEST(DeviceInfoReply, CodeAtPositionZeroOrOne) {
  const uint8_t atZero[9] = {0x12, 0x05, 0x07, 0x01, 0x2C, 0x0F, 0x06, 0x06, 0x00};
  auto info = halvex::ParseInfoReply(atZero, sizeof atZero);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->type, 5);
  EXPECT_EQ(info->VersionText(), "7");
  EXPECT_EQ(info->IdText(), "300");
  EXPECT_EQ(info->DateText(), "15.6.6");

  // Both first bytes 0x12: the data starts at position 2.
  const uint8_t both[9] = {0x12, 0x12, 0x09, 0xFF, 0xFF, 0xFF, 0x1F, 0x0C, 0x63};
  info = halvex::ParseInfoReply(both, sizeof both);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->type, 9);
  EXPECT_EQ(info->VersionText(), "255");
  EXPECT_EQ(info->IdText(), "65535");
  EXPECT_EQ(info->DateText(), "31.12.99");

  const uint8_t noCode[9] = {0x13, 0x11, 0x08, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(halvex::ParseInfoReply(noCode, sizeof noCode));
  EXPECT_FALSE(halvex::ParseInfoReply(atZero, 8));  // too short to hold the data
}

TEST(DeviceInfoCache, StoreAndInvalidate) {
  halvex::InvalidateDeviceInfo();
  EXPECT_FALSE(halvex::CachedDeviceInfo());
  halvex::DeviceInfo info;
  info.type = 8;
  halvex::StoreDeviceInfo(info);
  ASSERT_TRUE(halvex::CachedDeviceInfo());
  EXPECT_EQ(halvex::CachedDeviceInfo()->type, 8);
  halvex::InvalidateDeviceInfo();
  EXPECT_FALSE(halvex::CachedDeviceInfo());
}

TEST(MemoryLayout, ChannelLocationByType) {
  for (int t : {0, 1, 4, 5, 12, 13}) {
    EXPECT_TRUE(halvex::IsLayoutA(t)) << t;
    EXPECT_EQ(halvex::ChannelLocationFor(t).addr, 19);
    EXPECT_EQ(halvex::ChannelLocationFor(t).page, 0);
  }
  EXPECT_EQ(halvex::ChannelLocationFor(8).addr, 125);
  EXPECT_EQ(halvex::ChannelLocationFor(8).page, 2);
  for (int t : {2, 3, 9, 14, 255}) {
    EXPECT_FALSE(halvex::IsLayoutA(t)) << t;
    EXPECT_EQ(halvex::ChannelLocationFor(t).addr, 13);
    EXPECT_EQ(halvex::ChannelLocationFor(t).page, 0);
  }
}

}  // namespace
