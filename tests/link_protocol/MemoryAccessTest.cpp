// Memory reads and writes on a scripted line, and the bounds of the memory images.
#include "LinkFixture.h"

namespace linktest {
namespace {

using MemoryAccess = LinkTest;

// Answers a read request 0F count X Y with the echo and count bytes from `data`.
Script ReadAnswer(Bytes data) {
  return [data](const Bytes& f) -> std::optional<Bytes> {
    if (f.size() < 7 || f[2] != 0x0F) return B({0});
    Bytes a = {0x0F, f[3], f[4], f[5]};
    a.insert(a.end(), data.begin(), data.begin() + std::min<size_t>(f[3], data.size()));
    return a;
  };
}

TEST_F(MemoryAccess, SingleByteFrames) {
  line().SetScript(ReadAnswer(B({0x77})));
  EXPECT_EQ(link.ReadEepromVal(19, 0), 0x77);
  EXPECT_EQ(link.ReadEepromVal(125, 2), 0x77);
  EXPECT_EQ(link.ReadEepromVal(20000, 2), 0x77);
  EXPECT_EQ(link.SetEepromVal(13, 5, 0), 0);
  EXPECT_TRUE(link.WriteStringToEeprom(300, 2, "Hi"));
  EXPECT_EQ(
      line().SentBytes(),
      (std::vector<Bytes>{B({2, 4, 0x0F, 1, 0, 0x13, 3}), B({2, 4, 0x0F, 1, 0, 0x7D, 3}),
                          B({2, 4, 0x0F, 1, 0x4E, 0x20, 3}), B({2, 5, 0x10, 1, 0, 0x0D, 5, 3}),
                          B({2, 6, 0x10, 2, 1, 0x2C, 'H', 'i', 3})}));
}

TEST_F(MemoryAccess, BlockReadFillsTheImageAndFiresTheEvent) {
  Bytes data(100);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(200 - i);
  line().SetScript(ReadAnswer(data));
  ASSERT_TRUE(link.ReadEepromBlock(0, 0, 100));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(link.GetEepByte(0, i), 200 - i) << i;
  EXPECT_EQ(link.GetEepByte(0, 100), 0);
  ASSERT_EQ(sink.blockData.size(), 104u);
  EXPECT_EQ(sink.blockData[0], 0x0F);
  EXPECT_EQ(sink.blockData[1], 100);
  EXPECT_EQ(sink.blockData[103], 101);
  EXPECT_EQ(sink.blockLen, 100);

  // Near the end of an image the bytes past it are left out; the event still carries them all.
  ASSERT_TRUE(link.ReadEepromBlock(32700, 2, 100));
  EXPECT_EQ(link.GetEepByte(2, 32767), 200 - 67);
  ASSERT_TRUE(link.ReadEepromBlock(200, 1, 100));
  EXPECT_EQ(link.GetEepByte(1, 254), 200 - 54);
  EXPECT_EQ(link.GetEepByte(1, 255), -1);

  line().ClearSent();
  EXPECT_FALSE(link.ReadEepromBlock(0, 0, 256));  // the count is one byte
  line().SetScript(ReadAnswer(Bytes(10, 1)));     // answer shorter than asked for
  EXPECT_FALSE(link.ReadEepromBlock(0, 0, 20));
  EXPECT_EQ(line().Sent().size(), 1u);
}

TEST_F(MemoryAccess, PageReadsAndTheirRange) {
  Bytes data(255);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i ^ 0x5A);
  line().SetScript(ReadAnswer(data));
  ASSERT_TRUE(link.ReadPage1(10, 20));
  ASSERT_TRUE(link.ReadPage2(0, 255));
  EXPECT_EQ(line().SentBytes(),
            (std::vector<Bytes>{B({2, 4, 0x0F, 10, 0, 10, 3}), B({2, 4, 0x0F, 255, 1, 0, 3})}));
  EXPECT_EQ(link.GetEepByte(0, 10), 0 ^ 0x5A);
  EXPECT_EQ(link.GetEepByte(0, 20), 0);
  EXPECT_EQ(link.GetEepByte(1, 254), 254 ^ 0x5A);
  EXPECT_FALSE(link.ReadPage1(200, 256));
  EXPECT_FALSE(link.ReadPage2(-1, 5));
  EXPECT_FALSE(link.ReadPage2(5, 4));
  EXPECT_EQ(line().Sent().size(), 2u);
}

TEST_F(MemoryAccess, DeviceTextKeepsZeroBytesImageTextStopsAtThem) {
  line().SetScript(ReadAnswer(B({'A', 'B', 0, 'C'})));
  EXPECT_EQ(link.ReadEepStr(40, 2, 4), std::string("AB\0C", 4));
  ASSERT_TRUE(link.ReadEepromBlock(40, 2, 4));
  EXPECT_EQ(link.ReadMemStr(40, 2, 4), "AB");
  EXPECT_EQ(link.ReadMemStr(40, 5, 2), "AB");  // any page above 1 is the extended image
  EXPECT_EQ(link.ReadMemStr(40, -1, 2), "");
  line().SetScript({});
  EXPECT_EQ(link.ReadEepStr(40, 2, 4), "NoComm");
}

TEST_F(MemoryAccess, BlockWriteFromDataOrFromTheImage) {
  AnswerAll(B({0}));
  for (int i = 0; i < 3; ++i) link.SetEepByte(1, 250 + i, 0x100 + i);  // low byte kept
  ASSERT_TRUE(link.WriteBlockToEeprom(250, 1, 3, nullptr));
  int16_t data[4] = {0x11, 0x122, 0x33, 0x44};
  ASSERT_TRUE(link.WriteBlockToEeprom(0x1234, 2, 3, data));  // only `length` elements
  EXPECT_EQ(line().SentBytes(),
            (std::vector<Bytes>{B({2, 7, 0x10, 3, 1, 250, 0, 1, 2, 3}),
                                B({2, 7, 0x10, 3, 0x12, 0x34, 0x11, 0x22, 0x33, 3})}));
  // Rejected without traffic: no image for page 3, past the image, more than a frame holds.
  EXPECT_FALSE(link.WriteBlockToEeprom(0, 3, 2, nullptr));
  EXPECT_FALSE(link.WriteBlockToEeprom(253, 0, 3, nullptr));
  std::vector<int16_t> big(250, 1);
  EXPECT_FALSE(link.WriteBlockToEeprom(0, 2, 250, big.data()));
  EXPECT_FALSE(link.WriteStringToEeprom(0, 2, std::string(250, 'x')));
  EXPECT_TRUE(link.WriteBlockToEeprom(0, 2, 249, big.data()));
  EXPECT_EQ(line().Sent().size(), 3u);
}

TEST(MemoryImages, BoundsAndPageSelection) {
  CHalvexCtrl link;
  link.SetEepByte(0, 254, 9);
  link.SetEepByte(0, 255, 9);  // outside: ignored
  link.SetEepByte(-1, 0, 9);   // negative page: ignored
  link.SetEepByte(2, 32767, 0x1FF);
  EXPECT_EQ(link.GetEepByte(0, 254), 9);
  EXPECT_EQ(link.GetEepByte(0, 255), -1);
  EXPECT_EQ(link.GetEepByte(0, -1), -1);
  EXPECT_EQ(link.GetEepByte(1, 0), 0);
  EXPECT_EQ(link.GetEepByte(-1, 32767), 0xFF);  // reads: any other page is the extended image
  EXPECT_EQ(link.GetEepByte(2, 32767), 0xFF);
  EXPECT_EQ(link.ReadMemStr(32767, 2, 10), "\xFF");
  link.SetEepByte(1, 253, 'x');
  link.SetEepByte(1, 254, 'y');
  EXPECT_EQ(link.ReadMemStr(253, 1, 100), "xy");
}

}  // namespace
}  // namespace linktest
