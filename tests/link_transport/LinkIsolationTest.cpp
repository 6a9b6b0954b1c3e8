// Two link objects in one process: each has its own events, workers and device information, so
// neither wakes, holds up nor answers for the other.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "InProcessPort.h"
#include "LinkTestUtil.h"
#include "ScriptedDevice.h"
#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"

using namespace halvex::test;

namespace {

// A link object on a line of its own, with a device that answers RTS with CTS.
struct Station {
  Station(PortFactoryScope& ports, const std::string& name, int16_t com,
          ScriptedDevice::Script script)
      : pair(PortPair::Create(true)), device(pair->Peer(), std::move(script), true) {
    ports.Add(name, pair);
    link.SetComPortPath(com, "inproc:" + name);
    EXPECT_TRUE(link.Connect(com, 19200));
  }
  std::shared_ptr<PortPair> pair;
  ScriptedDevice device;
  CHalvexCtrl link;
};

TEST(LinkIsolation, ALongWaitIsNeitherEndedNorHeldUpByAnotherLinksExchanges) {
  PortFactoryScope ports;
  Station waiting(ports, "late", 1, ScriptedDevice::Silent());
  Station busy(ports, "quick", 2, ScriptedDevice::Echo());

  std::atomic<bool> done{false};
  bool answered = true;
  long long waitedMs = 0;
  std::thread slow([&] {
    int16_t info[] = {2, 1, 0x12, 3};
    Stopwatch sw;
    answered = waiting.link.SendAndWait(info, 4, 2000);
    waitedMs = sw.Ms();
    done = true;
  });
  // Once the first link waits for its device, the other exchanges frame after frame.
  ASSERT_TRUE(waiting.device.WaitFrames(1, 10000));
  int exchanges = 0;
  while (!done || exchanges < 5) {
    int16_t frame[] = {2, 2, 0x1A, static_cast<int16_t>(exchanges & 0x7F), 3};
    ASSERT_TRUE(busy.link.SendAndWait(frame, 5, 1000)) << exchanges;
    EXPECT_EQ(busy.link.impl().reply[3], exchanges & 0x7F) << exchanges;
    ++exchanges;
  }
  slow.join();

  // Every quick exchange was answered on its first sending: none waited for the other link.
  EXPECT_EQ(busy.device.Frames().size(), static_cast<size_t>(exchanges));
  // The silent device's link waited its whole time, 1500 ms and the retry's 2000 ms, for an
  // answer that never came: no chunk of the other line ended its wait.
  EXPECT_FALSE(answered);
  EXPECT_GE(waitedMs, 3400);
  EXPECT_EQ(waiting.device.Frames().size(), 2u);
}

TEST(LinkIsolation, EachLinkAnswersFromTheDeviceInformationItReadItself) {
  PortFactoryScope ports;
  Station terminal(ports, "terminal", 1,
                   ScriptedDevice::AnswerFrom(0, {0x12, 8, 7, 0x01, 0x2C, 15, 6, 6}));
  Station base(ports, "base", 2, ScriptedDevice::AnswerFrom(0, {0x12, 9, 31, 0x03, 0xE9, 1, 2, 3}));

  ASSERT_EQ(terminal.link.ReadInfo(), 1);
  // The other link has read nothing yet: it asks its own device.
  EXPECT_EQ(base.link.GetDevice(), 9);
  EXPECT_EQ(base.link.GetID(), "1001");
  ASSERT_EQ(base.link.ReadInfo(), 1);

  // A Connect drops the information of its own link only.
  ASSERT_TRUE(base.link.Connect(2, 19200));
  const size_t terminalAsked = terminal.device.Frames().size();
  const size_t baseAsked = base.device.Frames().size();
  struct Case {
    Station& station;
    int16_t type;
    const char* version;
    const char* id;
    const char* date;
    size_t requests;  // information requests each of the four answers costs
  };
  const Case cases[] = {{terminal, 8, "7", "300", "15.6.6", 0},
                        {base, 9, "31", "1001", "1.2.3", 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(c.station.link.GetDevice(), c.type);
    EXPECT_EQ(c.station.link.GetSWVersion(), c.version);
    EXPECT_EQ(c.station.link.GetID(), c.id);
    EXPECT_EQ(c.station.link.GetManfDate(), c.date);
  }
  EXPECT_EQ(terminal.device.Frames().size(), terminalAsked + cases[0].requests);
  EXPECT_EQ(base.device.Frames().size(), baseAsked + cases[1].requests);
}

}  // namespace
