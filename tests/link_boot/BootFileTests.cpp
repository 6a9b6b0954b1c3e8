// Boot files, S-records and the firmware name rules, without a device.
#include <gtest/gtest.h>

#include "BootTestSupport.h"
#include "boot/BootFileChoice.h"
#include "boot/BootImageLoader.h"
#include "boot/SRecord.h"

using namespace halvex::boot;
using boottest::Bytes;

namespace {

Bytes ImageBytes(const BootImage& image) {
  return Bytes(image.bytes.begin(), image.bytes.begin() + static_cast<long>(image.StreamLength()));
}

TEST(SRecordTest, ParsesDataAndStartRecordsAndIgnoresTheChecksumField) {
  SRecord rec = ParseSRecord("S1060100010203F2\r\n");
  ASSERT_EQ(rec.kind, RecordKind::Data);
  EXPECT_EQ(rec.address, 0x0100);
  EXPECT_EQ(rec.data, (Bytes{1, 2, 3}));

  // A wrong checksum field changes nothing.
  EXPECT_EQ(ParseSRecord("S106010001020300").kind, RecordKind::Data);

  rec = ParseSRecord("S903ABCD00");
  ASSERT_EQ(rec.kind, RecordKind::Start);
  EXPECT_EQ(rec.address, 0xABCD);

  EXPECT_EQ(ParseSRecord("S00600004844521B").kind, RecordKind::Other);
  EXPECT_EQ(ParseSRecord("").kind, RecordKind::Other);
  EXPECT_EQ(ParseSRecord("S5030001FB").kind, RecordKind::Other);
}

TEST(SRecordTest, RefusesRecordsThatDoNotFitTheirLine) {
  EXPECT_EQ(ParseSRecord("S1060100010203").kind, RecordKind::Data);         // no checksum: fine
  EXPECT_EQ(ParseSRecord("S10601000102").kind, RecordKind::Malformed);      // data cut short
  EXPECT_EQ(ParseSRecord("S1020100").kind, RecordKind::Malformed);          // count below 3
  EXPECT_EQ(ParseSRecord("S1060100010a03F2").kind, RecordKind::Malformed);  // lower-case digit
  EXPECT_EQ(ParseSRecord("S10601").kind, RecordKind::Malformed);            // no address
  EXPECT_EQ(ParseSRecord("S9").kind, RecordKind::Malformed);
  EXPECT_EQ(ParseSRecord("S1030100").kind, RecordKind::Data);  // no data bytes
}

TEST(BootImageLoadTest, SixteenBytesAtTheStartAddressGiveLengthPrefixAndData) {
  boottest::TempWorkDir dir;
  const Bytes code = boottest::Pattern(16);
  boottest::WriteBootFile("boot.a20", 0x8000, code);
  auto image = std::make_unique<BootImage>();
  ASSERT_EQ(LoadBootImage("boot.a20", 134, *image), ImageLoadResult::Ok);
  Bytes expected{0x00, 0x10};
  expected.insert(expected.end(), code.begin(), code.end());
  EXPECT_EQ(ImageBytes(*image), expected);
}

TEST(BootImageLoadTest, GapsAreZeroAndUnorderedRecordsStillCountTowardsTheLength) {
  boottest::TempWorkDir dir;
  // The later record comes first in the file; an overlapping record reaches past the first end.
  boottest::WriteText("boot.a20", boottest::S1Line(0x1008, {0xAA, 0xBB}) + "\n" +
                                      boottest::S1Line(0x1000, {1, 2}) + "\n" +
                                      boottest::S1Line(0x1009, {0xCC, 0xDD, 0xEE}) + "\n" +
                                      boottest::S9Line(0x1000) + "\n");
  auto image = std::make_unique<BootImage>();
  ASSERT_EQ(LoadBootImage("boot.a20", 134, *image), ImageLoadResult::Ok);
  EXPECT_EQ(ImageBytes(*image),
            (Bytes{0x00, 0x0C, 1, 2, 0, 0, 0, 0, 0, 0, 0xAA, 0xCC, 0xDD, 0xEE}));
}

TEST(BootImageLoadTest, FilesThatWouldPlaceDataOutsideTheImageAreRefused) {
  boottest::TempWorkDir dir;
  auto image = std::make_unique<BootImage>();
  const std::string rec = boottest::S1Line(0x8000, {1, 2, 3}) + "\n";

  EXPECT_EQ(LoadBootImage("missing.a20", 134, *image), ImageLoadResult::CannotOpen);

  boottest::WriteText("nostart.a20", rec);
  EXPECT_EQ(LoadBootImage("nostart.a20", 134, *image), ImageLoadResult::Invalid);

  boottest::WriteText("below.a20", rec + boottest::S9Line(0x8001) + "\n");
  EXPECT_EQ(LoadBootImage("below.a20", 134, *image), ImageLoadResult::Invalid);

  // Base 0: a record ending at 0x10000 would need 65,536 data bytes.
  boottest::WriteText("toolong.a20",
                      boottest::S1Line(0xFFFE, {1, 2}) + "\n" + boottest::S9Line(0x0000) + "\n");
  EXPECT_EQ(LoadBootImage("toolong.a20", 134, *image), ImageLoadResult::Invalid);

  boottest::WriteText("broken.a20", rec + "S1FF8000\n" + boottest::S9Line(0x8000) + "\n");
  EXPECT_EQ(LoadBootImage("broken.a20", 134, *image), ImageLoadResult::Invalid);

  boottest::WriteText("empty.a20", boottest::S9Line(0x8000) + "\n");
  EXPECT_EQ(LoadBootImage("empty.a20", 134, *image), ImageLoadResult::Invalid);

  // A refused file leaves nothing of itself in the image.
  EXPECT_EQ(image->dataLength, 0);
  EXPECT_EQ(image->bytes[2], 0);
}

TEST(BootImageLoadTest, TheLargestImageFitsExactly) {
  boottest::TempWorkDir dir;
  std::string text;
  text += boottest::S1Line(0x0000, {0x11}) + "\n";
  text += boottest::S1Line(0xFFFD, {0x22}) + "\n";  // last data byte at 65,533
  text += boottest::S9Line(0x0000) + "\n";
  boottest::WriteText("big.a20", text);
  auto image = std::make_unique<BootImage>();
  ASSERT_EQ(LoadBootImage("big.a20", 134, *image), ImageLoadResult::Ok);
  EXPECT_EQ(image->dataLength, 65534);
  EXPECT_EQ(image->bytes[0], 0xFF);
  EXPECT_EQ(image->bytes[1], 0xFE);
  EXPECT_EQ(image->bytes[2], 0x11);
  EXPECT_EQ(image->bytes[2 + 0xFFFD], 0x22);
}

TEST(BootFileChoiceTest, LaterRulesReplaceEarlierOnes) {
  BootFileChoice c = ChooseBootFile("C:/fw/Hsbt12.a20");
  EXPECT_EQ(c.bootFile, "5vboot.a20");
  EXPECT_EQ(c.mode, BootFileMode::HandTerminalBinary);
  EXPECT_EQ(c.prompt, PromptKind::HandTerminal);

  c = ChooseBootFile("bs7_hsbt.a20");
  EXPECT_EQ(c.bootFile, "5vboot.a20");
  EXPECT_EQ(c.mode, BootFileMode::HandTerminalBinary);

  c = ChooseBootFile("BSBT3.A20");
  EXPECT_EQ(c.bootFile, "5VBOOT11.a20");
  EXPECT_EQ(c.mode, BootFileMode::BaseStationBinary);
  EXPECT_EQ(c.prompt, PromptKind::BaseStation);

  c = ChooseBootFile("bs4hs7.a20");
  EXPECT_EQ(c.bootFile, "boot1.A20");
  EXPECT_EQ(c.mode, BootFileMode::SRecords);
  EXPECT_EQ(c.prompt, PromptKind::HandTerminal);

  c = ChooseBootFile("BS7v2.a20");
  EXPECT_EQ(c.bootFile, "boot11.A20");
  EXPECT_EQ(c.prompt, PromptKind::BaseStation);

  c = ChooseBootFile("firmware.a20");
  EXPECT_TRUE(c.bootFile.empty());
  EXPECT_EQ(c.prompt, PromptKind::None);
  EXPECT_EQ(c.mode, BootFileMode::SRecords);
}

}  // namespace
