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
  ControlFace face;
  EXPECT_EQ(face.RxLamp(), LampState::kBlank);
  face.RxActivity();
  EXPECT_EQ(face.RxLamp(), LampState::kBright);
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  face.RxActivity();  // a new chunk restarts the timer
  std::this_thread::sleep_for(std::chrono::milliseconds(70));
  EXPECT_EQ(face.RxLamp(), LampState::kBright);
  const auto t0 = std::chrono::steady_clock::now();
  while (face.RxLamp() != LampState::kDim &&
         std::chrono::steady_clock::now() - t0 < std::chrono::seconds(2)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(face.RxLamp(), LampState::kDim);
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
