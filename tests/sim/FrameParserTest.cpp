#include <gtest/gtest.h>

#include "device/FrameParser.h"

namespace qelta::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = FrameParser::Clock;

std::vector<Bytes> Raw(const std::vector<CommandFrame>& frames) {
  std::vector<Bytes> out;
  for (const auto& f : frames) out.push_back(f.raw);
  return out;
}

TEST(FrameParser, SplitsCodeAndArgumentsAndReassemblesAcrossReads) {
  FrameParser parser;
  const Bytes frame{0x02, 0x05, 0x10, 0x01, 0x00, 0x0D, 0x05, 0x03};
  const auto t = Clock::now();
  std::vector<CommandFrame> got;
  // One byte per read: nothing until the end byte.
  for (std::size_t i = 0; i < frame.size(); ++i) {
    auto frames = parser.Feed(std::span(&frame[i], 1), t);
    if (i + 1 < frame.size()) {
      EXPECT_TRUE(frames.empty()) << i;
    }
    got.insert(got.end(), frames.begin(), frames.end());
  }
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].code, 0x10);
  EXPECT_EQ(got[0].args, (Bytes{0x01, 0x00, 0x0D, 0x05}));
  EXPECT_EQ(got[0].raw, frame);
  EXPECT_FALSE(parser.HasPartial());
}

TEST(FrameParser, FindsFramesAmongGarbageAndBrokenFrames) {
  FrameParser parser;
  const Bytes stream{
      0x55, 0xAA, 0x03,                    // noise
      0x02, 0x01, 0x12, 0x03,              // information request
      0x02, 0x03, 0x1B, 0x01, 0x01, 0x7F,  // wrong end byte: broken
      0x02, 0x00, 0x03,                    // N = 0: no command code
      0x02, 0x05, 0x02, 0x01, 0x16, 0x03,  // stray start and length right before a reset
      0x00, 0x02, 0x01, 0x1D, 0x03,        // noise, then a keyboard scan
  };
  auto frames = parser.Feed(stream, Clock::now());
  EXPECT_EQ(Raw(frames),
            (std::vector<Bytes>{
                {0x02, 0x01, 0x12, 0x03}, {0x02, 0x01, 0x16, 0x03}, {0x02, 0x01, 0x1D, 0x03}}));
  EXPECT_GT(parser.DroppedBytes(), 10u);
}

TEST(FrameParser, TwoFramesInOneReadAndAFullLengthFrame) {
  FrameParser parser;
  Bytes stream{0x02, 0x01, 0x12, 0x03};
  Bytes big{0x02, 0xFF, 0x10};
  for (int i = 0; i < 254; ++i) big.push_back(static_cast<std::uint8_t>(i));
  big.push_back(0x03);
  stream.insert(stream.end(), big.begin(), big.end());
  auto frames = parser.Feed(stream, Clock::now());
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].args.size(), 254u);
  EXPECT_EQ(frames[1].raw, big);
}

TEST(FrameParser, StalledStrayStartByteIsGivenUpSoALaterFrameIsFound) {
  FrameParser parser(std::chrono::milliseconds(50));
  const auto t0 = Clock::now();
  // 02 F0 announces 240 more bytes; the real frame after it would wait for ever.
  const Bytes stream{0x02, 0xF0, 0x02, 0x01, 0x12, 0x03};
  EXPECT_TRUE(parser.Feed(stream, t0).empty());
  EXPECT_TRUE(parser.HasPartial());
  EXPECT_TRUE(parser.Expire(t0 + std::chrono::milliseconds(10)).empty()) << "not stalled yet";
  auto frames = parser.Expire(t0 + std::chrono::milliseconds(60));
  EXPECT_EQ(Raw(frames), (std::vector<Bytes>{{0x02, 0x01, 0x12, 0x03}}));
  EXPECT_FALSE(parser.HasPartial());
}

}  // namespace
}  // namespace qelta::sim
