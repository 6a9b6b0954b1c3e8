// The transport against the simulated device over its null-modem cable: the handshake with a
// device that answers RTS with CTS, a silent device and a dropped line.
#include <gtest/gtest.h>

#include "LinkTestUtil.h"
#include "SimSerialPort.h"
#include "device/SimDevice.h"
#include "halvex/ControlFace.h"
#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"
#include "transport/DeviceRunner.h"
#include "transport/NullModem.h"

using halvex::test::Stopwatch;

namespace {

class SimLine : public ::testing::Test {
 protected:
  void SetUp() override {
    qelta::sim::DeviceIdentity id;
    id.type = qelta::sim::kTypeHandTerminal;
    id.id = 0x1234;
    device_.SetIdentity(id);
    runner_ = std::make_unique<qelta::sim::DeviceRunner>(
        device_, qelta::sim::NullModem::DeviceEndpoint(cable_));
    runner_->Start();
    halvex::SetSerialPortFactory([c = cable_](const std::string&, halvex::SerialOpenFailure*) {
      return halvex::test::OpenSimSerialPort(c);
    });
    ctrl_.SetComPortPath(1, "sim");
  }
  void TearDown() override {
    ctrl_.Disconnect();
    runner_->Stop();
    halvex::SetSerialPortFactory(nullptr);
  }
  void SetFaults(const qelta::sim::FaultKnobs& f) { device_.SetFaults(f); }

  std::shared_ptr<qelta::sim::NullModem> cable_ = qelta::sim::NullModem::Create();
  qelta::sim::SimDevice device_;
  std::unique_ptr<qelta::sim::DeviceRunner> runner_;
  CHalvexCtrl ctrl_;
  int16_t info_[4] = {0x02, 0x01, 0x12, 0x03};
};

}  // namespace

TEST_F(SimLine, TheInformationRequestIsAnsweredThroughTheHandshake) {
  ASSERT_TRUE(ctrl_.Connect(1, 19200));
  Stopwatch sw;
  ASSERT_TRUE(ctrl_.SendAndWait(info_, 4, 1000));
  // The device answers RTS with CTS at once, so the handshake costs far less than 600 ms.
  EXPECT_LT(sw.Ms(), 500);
  const auto expected = device_.Identity().InformationAnswer();
  auto& d = ctrl_.impl();
  ASSERT_EQ(d.replyLen, static_cast<int16_t>(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(d.reply[i], expected[i]) << i;
}

TEST_F(SimLine, ASilentDeviceAndADroppedLineAreFailuresNotHangs) {
  qelta::sim::FaultKnobs f;
  f.silent = true;
  SetFaults(f);
  ASSERT_TRUE(ctrl_.Connect(1, 9600));
  EXPECT_FALSE(ctrl_.SendAndWait(info_, 4, 200));

  f = {};
  f.drop_after_frames = 1;
  SetFaults(f);
  EXPECT_TRUE(ctrl_.SendAndWait(info_, 4, 200));
  EXPECT_FALSE(ctrl_.SendAndWait(info_, 4, 200));
  Stopwatch sw;
  ctrl_.Disconnect();
  EXPECT_LT(sw.Ms(), 400);
  EXPECT_EQ(ctrl_.Face().StatusText(), "");
}
