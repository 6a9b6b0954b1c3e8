// BER records arriving unrequested, and the PRP table.
#include "LinkFixture.h"
#include "halvex/ControlFace.h"

namespace linktest {
namespace {

using BerPrp = LinkTest;

void WaitFor(const std::function<bool()>& done) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (!done() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST_F(BerPrp, RecordsAfterNoiseAndAcrossChunks) {
  link.WaitBERData(true);
  EXPECT_TRUE(link.Face().BerWaiting());
  line().Inject(B({0x55, 0x01, 0x02, 0x10, 0x11, 0x12, 0x13, 0x14, 0x41, 0x42, 0x20, 0x21}));
  WaitFor([&] { return link.GetBERData(2) == "AB"; });
  EXPECT_EQ(link.GetBERData(2), "AB");
  // A record split over two chunks; a 01 inside it is data, not a new start.
  line().Inject(B({0x07, 0x01, 0x03, 1, 2, 3, 4, 5, 'x', 0x01}));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  line().Inject(B({'z', 0xEE, 0xEF}));
  WaitFor([&] {
    std::lock_guard<std::mutex> l(sink.m);
    return sink.berCounts.size() == 2;
  });
  {
    std::lock_guard<std::mutex> l(sink.m);
    EXPECT_EQ(sink.berCounts, (std::vector<int16_t>{2, 3}));
    EXPECT_EQ(sink.dataFromCom, 0);
  }
  EXPECT_EQ(link.GetBERData(3), std::string("x\x01z", 3));
  EXPECT_EQ(link.GetBERData(-1), "");
  EXPECT_EQ(link.GetBERData(506), "");  // past the reply buffer
  EXPECT_EQ(link.GetBERData(505).size(), 505u);

  // In BER mode answers do not count as replies.
  AnswerAll(B({0x42}));
  EXPECT_EQ(link.SetTxPower(1), -1);
  link.WaitBERData(false);
  EXPECT_FALSE(link.Face().BerWaiting());
  EXPECT_EQ(link.SetTxPower(1), 0x42);
}

TEST_F(BerPrp, PrpTableFromTheCapturedAnswer) {
  Bytes answer(20);
  for (int i = 0; i < 20; ++i) answer[i] = static_cast<uint8_t>(i);
  AnswerAll(answer);
  ASSERT_TRUE(link.GetPRPData());
  EXPECT_EQ(line().SentBytes().back(), B({2, 1, 0x11, 3}));
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(link.GetPRPLow(i), 2 * i);
    EXPECT_EQ(link.GetPRPHi(i), 2 * i + 1);
  }
  EXPECT_EQ(link.GetPRPLow(10), -1);
  EXPECT_EQ(link.GetPRPHi(-1), -1);
  // A short answer or none keeps the table; capture is off afterwards.
  AnswerAll(Bytes(19, 0xAA));
  EXPECT_FALSE(link.GetPRPData());
  line().SetScript({});
  EXPECT_FALSE(link.GetPRPData());
  EXPECT_EQ(link.GetPRPHi(9), 19);
  AnswerAll(B({0x42}));
  EXPECT_EQ(link.SetTxPower(1), 0x42);
}

}  // namespace
}  // namespace linktest
