#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <thread>

#include "halvex/SmallStackThread.h"

namespace {

std::size_t OwnStackSize() {
  pthread_attr_t attr;
  std::size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstacksize(&attr, &size);
    pthread_attr_destroy(&attr);
  }
  return size;
}

// What a thread started without a size gets.
std::size_t DefaultStackSize() {
  std::size_t size = 0;
  std::thread([&size] { size = OwnStackSize(); }).join();
  return size;
}

TEST(SmallStackThread, RunsItsBodyOnAStackOfTheAskedSizeOrElseTheDefault) {
  struct Case {
    std::size_t asked;
    bool small;  // false: a size no thread can have, so the default
  };
  const Case cases[] = {{512 * 1024, true}, {256 * 1024, true}, {1, false}};
  const std::size_t standard = DefaultStackSize();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    std::size_t seen = 0;
    halvex::SmallStackThread thread;
    ASSERT_TRUE(thread.Start([&seen] { seen = OwnStackSize(); }, c.asked));
    EXPECT_TRUE(thread.Joinable());
    thread.Join();
    EXPECT_FALSE(thread.Joinable());
    if (c.small) {
      // The C library may hand out a kept stack somewhat larger than asked.
      EXPECT_GE(seen, c.asked);
      EXPECT_LT(seen, standard);
    } else {
      EXPECT_EQ(seen, standard);
    }
  }
}

TEST(SmallStackThread, AStartWaitsForTheThreadBeforeAndTheEndWaitsForTheLast) {
  std::atomic<int> finished{0};
  auto body = [&finished] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ++finished;
  };
  {
    halvex::SmallStackThread thread;
    EXPECT_FALSE(thread.Joinable());
    ASSERT_TRUE(thread.Start(body));
    ASSERT_TRUE(thread.Start(body));
    EXPECT_GE(finished.load(), 1);  // the first had ended before the second began
  }
  EXPECT_EQ(finished.load(), 2);
}

}  // namespace
