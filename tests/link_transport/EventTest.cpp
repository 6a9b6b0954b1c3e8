#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/Event.h"

using halvex::Event;

TEST(Event, ManualResetStaysSetAutoResetIsTakenByOneWait) {
  auto manual = std::make_unique<Event>(true, true);
  EXPECT_TRUE(manual->Wait(0));
  EXPECT_TRUE(manual->Wait(0));
  manual->Reset();
  EXPECT_FALSE(manual->Wait(10));

  auto autoEv = std::make_unique<Event>(false, false);
  autoEv->Set();
  EXPECT_TRUE(autoEv->Wait(0));
  EXPECT_FALSE(autoEv->Wait(10));
}

TEST(Event, TimedWaitLastsItsTimeAndASetFromAnotherThreadWakesIt) {
  auto ev = std::make_unique<Event>(false, false);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(ev->Wait(60));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(55));

  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ev->Set();
  });
  // Woken by the Set, not by the end of its time (which is far beyond any scheduling delay).
  t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(ev->Wait(60000));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(30000));
  setter.join();
}

TEST(Event, APulseWakesAWaiterAndLeavesTheEventClear) {
  auto ev = std::make_unique<Event>(true, false);
  std::atomic<bool> woke{false};
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    woke = ev->Wait(10000);
    done = true;
  });
  // A pulse reaches only a wait that has begun, and when the waiter's thread gets that far is up
  // to the scheduler: pulse until it is woken (or its wait runs out).
  while (!done) {
    ev->Pulse();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  waiter.join();
  EXPECT_TRUE(woke);
  EXPECT_FALSE(ev->IsSet());
}

TEST(Event, APulseNeverShowsTheEventSignalledToAnotherThread) {
  // A manual-reset event seen signalled for a moment ends every wait begun in that moment: the
  // serial handshake's ten looks and its RTS wait all ended at once on a busy machine.
  auto ev = std::make_unique<Event>(true, false);
  std::atomic<bool> stop{false};
  std::atomic<int> pulses{0};
  std::thread pulser([&] {
    while (!stop) {
      ev->Pulse();
      ++pulses;
    }
  });
  // Looks while the other thread pulses, however late it starts.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int seen = 0;
  while (pulses < 200000 && std::chrono::steady_clock::now() < until) seen += ev->IsSet() ? 1 : 0;
  stop = true;
  pulser.join();
  EXPECT_EQ(seen, 0);
}

TEST(Event, APulseAfterTheMarkCountsEvenBeforeTheWaitBegins) {
  auto ev = std::make_unique<Event>(true, false);
  std::atomic<bool> never{false};
  const uint64_t mark = ev->Mark();
  ev->Pulse();  // the CTS change came before the handshake started to wait
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(ev->WaitSince(mark, 60000, never));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(30000));
  EXPECT_FALSE(ev->WaitSince(ev->Mark(), 20, never));
}

TEST(Event, WaitUnlessGivesUpWhenAbandoned) {
  auto ev = std::make_unique<Event>(true, false);
  std::atomic<bool> abandon{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    abandon = true;
  });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(ev->WaitUnless(60000, abandon));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(30000));
  stopper.join();
}
