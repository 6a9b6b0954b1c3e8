// Channel, ID and base-station mode against a simulated device, per memory layout.
#include <ctime>

#include "LinkFixture.h"
#include "SimLine.h"

namespace linktest {
namespace {

using qelta::sim::SimDevice;

class DeviceSettings : public LinkTest {
 protected:
  void Use(SimDevice& device) {
    line().SetScript(DeviceScript(device));
    line().ClearSent();
    ASSERT_TRUE(link.Connect(1, 19200));  // forgets the previous device's information
  }
};

TEST_F(DeviceSettings, ChannelAtTheLocationOfEachLayout) {
  struct Case {
    uint8_t type;
    int page;
    size_t addr;
  };
  for (const Case c : {Case{8, 2, 125}, Case{5, 0, 19}, Case{9, 0, 13}}) {
    SimDevice device(Identity(c.type));
    Use(device);
    EXPECT_EQ(link.SetChannel(7), 7) << int(c.type);
    const auto mem = c.page == 2 ? device.Extended() : device.Page(c.page);
    EXPECT_EQ(mem[c.addr], 7) << int(c.type);
    EXPECT_EQ(link.GetChannel(), 7);
    if (c.type != 9) line().SetScript({});
  }
  EXPECT_EQ(line().SentBytes()[1], B({2, 5, 0x10, 1, 0, 0x0D, 7, 3}));  // type 9: page 0, 13
}

TEST_F(DeviceSettings, ChannelOnASilentDevice) {
  EXPECT_EQ(link.SetChannel(3), -1);
  EXPECT_EQ(link.GetChannel(), -2);  // GetDevice's code for a silent serial device
}

TEST_F(DeviceSettings, IdAndDateAtTheLocationOfEachLayout) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const Bytes today = B({local.tm_mday, local.tm_mon + 1, local.tm_year - 100});
  struct Case {
    uint8_t type;
    size_t idAt, dateAt;
  };
  for (const Case c : {Case{5, 1, 65}, Case{9, 15, 17}, Case{8, 15, 17}}) {
    SimDevice device(Identity(c.type));
    Use(device);
    ASSERT_TRUE(link.SetID(300)) << int(c.type);
    const auto page0 = device.Page(0);
    EXPECT_EQ(Bytes(page0.begin() + c.idAt, page0.begin() + c.idAt + 2), B({0x01, 0x2C}));
    EXPECT_EQ(Bytes(page0.begin() + c.dateAt, page0.begin() + c.dateAt + 3), today);
    line().SetScript({});
  }
}

TEST_F(DeviceSettings, BaseStationModeResetsAlsoWhenTheWriteFailed) {
  // Silent device: the write is sent twice and fails; the reset goes out anyway.
  link.SetBSMode(1);
  EXPECT_EQ(WaitSent(3), (std::vector<Bytes>{B({2, 5, 0x10, 1, 0, 12, 1, 3}),
                                             B({2, 5, 0x10, 1, 0, 12, 1, 3}), B({2, 1, 0x16, 3})}));
  SimDevice device(Identity(9));
  Use(device);
  line().ClearSent();
  link.SetBSMode(2);
  WaitSent(2);
  EXPECT_EQ(device.Page(0)[12], 2);
}

}  // namespace
}  // namespace linktest
