#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "halvex/ControlFace.h"

using halvex::ControlFace;
using halvex::LampState;

TEST(ControlFace, AnOpaqueTextCoversWhatItOverlapsOnTheProgressLine) {
  ControlFace face;
  face.DrawProgress(1, 31, "Writing...     ");
  face.DrawProgress(100, 31, "Addr:256      ");
  EXPECT_EQ(face.Progress().size(), 2u);
  // The address box covers the last blank of the first text.
  EXPECT_EQ(face.Progress()[0].text, "Writing...    ");
  EXPECT_EQ(face.ProgressLine(), "Writing...    Addr:256      ");

  face.DrawProgress(100, 31, "Addr:288      ");
  ASSERT_EQ(face.Progress().size(), 2u);
  EXPECT_EQ(face.Progress()[1].text, "Addr:288      ");

  face.DrawProgress(1, 31, "Loading Boot Software...", halvex::kBlack, halvex::kRed);
  ASSERT_EQ(face.Progress().size(), 2u);  // the long box covers the start of the address
  EXPECT_EQ(face.Progress()[0].background, halvex::kRed);
  EXPECT_EQ(face.ProgressLine(), "Loading Boot Software...    ");

  face.DrawProgress(50, 2, "elsewhere");  // another line is not touched
  EXPECT_EQ(face.Progress().size(), 3u);
  EXPECT_EQ(face.ProgressLine(), "Loading Boot Software...    ");

  face.ClearProgress();
  ASSERT_EQ(face.Progress().size(), 1u);  // only the strip is cleared
  EXPECT_EQ(face.Progress()[0].text, "elsewhere");
  EXPECT_EQ(face.ProgressLine(), "");
}

TEST(ControlFace, RxLampDimsAboutAHundredMillisecondsAfterTheLastChunk) {
  // The lamp may dim only kRxLampMs after the last chunk; how much later the test sees it depends
  // on the machine, so only what the clock allows is asserted.
  using Clock = std::chrono::steady_clock;
  const auto lampTime = std::chrono::milliseconds(ControlFace::kRxLampMs);
  ControlFace face;
  EXPECT_EQ(face.RxLamp(), LampState::kBlank);
  const auto first = Clock::now();
  face.RxActivity();
  const LampState afterFirst = face.RxLamp();
  if (Clock::now() - first < lampTime) {
    EXPECT_EQ(afterFirst, LampState::kBright);
  }

  std::this_thread::sleep_for(lampTime / 2);
  const auto last = Clock::now();
  face.RxActivity();  // a new chunk restarts the timer
  const LampState afterLast = face.RxLamp();
  if (Clock::now() - last < lampTime) {
    EXPECT_EQ(afterLast, LampState::kBright);
  }

  while (face.RxLamp() != LampState::kDim && Clock::now() - last < std::chrono::seconds(10)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const auto dimmedBy = Clock::now();
  ASSERT_EQ(face.RxLamp(), LampState::kDim);
  // Counted from the last chunk, not the first: with the first the lamp would be dim about
  // half a lamp time after the last.
  EXPECT_GE(dimmedBy - last, lampTime);
}

TEST(ControlFace, EveryChangeIsAnnouncedAlsoFromOtherThreads) {
  ControlFace face;
  std::atomic<int> changes{0};
  face.SetChangeCallback([&] { ++changes; });
  face.SetStatusText("COM1 19200");
  face.SetTxLamp(LampState::kBright);
  face.SetBerWaiting(true);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(face.StatusText(), "COM1 19200");
  EXPECT_TRUE(face.BerWaiting());

  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) face.RxActivity();
  });
  for (int i = 0; i < 100; ++i) (void)face.StatusText();
  worker.join();
  EXPECT_GE(changes, 103);
  face.SetChangeCallback(nullptr);
}
