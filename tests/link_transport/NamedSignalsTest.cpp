#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/NamedSignals.h"

using halvex::NamedEvent;
using halvex::NamedMutex;

TEST(NamedEvent, SameNameIsSameObjectUntilTheLastHandleGoes) {
  auto a = NamedEvent::Create("linkt-shared", true, false);
  auto b = NamedEvent::Create("linkt-shared", false, true);  // kind and state of the first stay
  ASSERT_EQ(a, b);
  EXPECT_FALSE(b->IsSet());
  EXPECT_EQ(NamedEvent::Open("linkt-shared"), a);
  a.reset();
  b.reset();
  EXPECT_EQ(NamedEvent::Open("linkt-shared"), nullptr);
  EXPECT_EQ(NamedEvent::Open("linkt-never-made"), nullptr);
}

TEST(NamedEvent, ManualResetStaysSetAutoResetIsTakenByOneWait) {
  auto manual = NamedEvent::Create("", true, true);
  EXPECT_TRUE(manual->Wait(0));
  EXPECT_TRUE(manual->Wait(0));
  manual->Reset();
  EXPECT_FALSE(manual->Wait(10));

  auto autoEv = NamedEvent::Create("", false, false);
  autoEv->Set();
  EXPECT_TRUE(autoEv->Wait(0));
  EXPECT_FALSE(autoEv->Wait(10));
}

TEST(NamedEvent, TimedWaitLastsItsTimeAndASetFromAnotherThreadWakesIt) {
  auto ev = NamedEvent::Create("", false, false);
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

TEST(NamedEvent, APulseWakesAWaiterAndLeavesTheEventClear) {
  auto ev = NamedEvent::Create("", true, false);
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

TEST(NamedEvent, APulseNeverShowsTheEventSignalledToAnotherThread) {
  // A manual-reset event seen signalled for a moment ends every wait begun in that moment: the
  // serial handshake's ten looks and its RTS wait all ended at once on a busy machine.
  auto ev = NamedEvent::Create("", true, false);
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

TEST(NamedEvent, APulseAfterTheMarkCountsEvenBeforeTheWaitBegins) {
  auto ev = NamedEvent::Create("", true, false);
  std::atomic<bool> never{false};
  const uint64_t mark = ev->Mark();
  ev->Pulse();  // the CTS change came before the handshake started to wait
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(ev->WaitSince(mark, 60000, never));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(30000));
  EXPECT_FALSE(ev->WaitSince(ev->Mark(), 20, never));
}

TEST(NamedEvent, WaitUnlessGivesUpWhenAbandoned) {
  auto ev = NamedEvent::Create("", true, false);
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

TEST(NamedEvent, AWaitersOwnWakeEndsOnlyItsWaitAndASetStillWakesEveryWaiter) {
  struct Case {
    bool wakeBeforeWait;  // the wake came before the thread began to wait
    bool thenSet;         // a Set follows the wake
  };
  const Case cases[] = {{false, false}, {true, false}, {false, true}};
  using namespace std::chrono_literals;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.wakeBeforeWait) + std::to_string(c.thenSet));
    auto ev = NamedEvent::Create("", true, false);
    NamedEvent::Waiter first, second;
    std::atomic<int> firstResult{-1}, secondResult{-1};
    if (c.wakeBeforeWait) ev->Wake(first);
    std::thread a([&] { firstResult = ev->Wait(60000, first) ? 1 : 0; });
    std::thread b([&] { secondResult = ev->Wait(60000, second) ? 1 : 0; });
    if (!c.wakeBeforeWait) {
      // The wake is kept for a wait that has not begun yet, so it needs no waiting for one.
      ev->Wake(first);
    }
    const auto t0 = std::chrono::steady_clock::now();
    a.join();
    // Ended by the wake, not by the end of its time (far beyond any scheduling delay), and not
    // as a Set.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 30s);
    EXPECT_EQ(firstResult, 0);
    EXPECT_FALSE(ev->IsSet());
    // The other waiter sleeps on until the Set.
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(secondResult, -1);
    ev->Set();
    b.join();
    EXPECT_EQ(secondResult, 1);
    // A wake is taken by the one wait it ends.
    ev->Reset();
    EXPECT_FALSE(ev->Wait(10, first));
    if (c.thenSet) {
      ev->Set();
      EXPECT_TRUE(ev->Wait(0, first));
    }
  }
}

TEST(NamedMutex, RecursiveForTheOwnerExclusiveForOthers) {
  auto m = NamedMutex::Create("linkt-mutex");
  ASSERT_EQ(m, NamedMutex::Create("linkt-mutex"));
  ASSERT_TRUE(m->Lock(-1));
  ASSERT_TRUE(m->Lock(0));  // recursive

  std::atomic<int> result{-1};
  std::thread other([&] {
    result = m->Lock(30) ? 1 : 0;
    EXPECT_FALSE(m->Unlock());  // not the owner
  });
  other.join();
  EXPECT_EQ(result, 0);

  EXPECT_TRUE(m->Unlock());
  EXPECT_TRUE(m->Unlock());
  EXPECT_FALSE(m->Unlock());  // no longer held

  std::thread taker([&] {
    result = m->Lock(1000) ? 1 : 0;
    m->Unlock();
  });
  taker.join();
  EXPECT_EQ(result, 1);
}
