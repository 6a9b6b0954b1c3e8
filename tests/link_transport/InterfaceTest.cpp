// The link object's life, properties, about box, tester log and port naming.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "InProcessPort.h"
#include "LinkTestUtil.h"
#include "halvex/ControlFace.h"
#include "halvex/HalvexCtrl.h"
#include "halvex/PropertyBag.h"
#include "interface/LinkState.h"

using halvex::test::PortFactoryScope;
using halvex::test::PortPair;
using halvex::test::Stopwatch;
using halvex::test::ThreadCount;

TEST(LinkObject, AFreshObjectHasNoLinkAndAnswersWithFailures) {
  CHalvexCtrl ctrl;
  auto& d = ctrl.impl();
  EXPECT_FALSE(d.HasLink());
  EXPECT_EQ(d.ComPort(), 1);
  EXPECT_EQ(d.replyLen, 0);
  EXPECT_EQ(ctrl.Face().StatusText(), "");
  EXPECT_FALSE(ctrl.GetBootType());
  EXPECT_FALSE(ctrl.GetResettype());

  int16_t frame[4] = {2, 1, 0x12, 3};
  Stopwatch sw;
  EXPECT_FALSE(ctrl.SendAndWait(frame, 4, 1000));
  EXPECT_LT(sw.Ms(), 500);  // no link: no wait at all
  ctrl.SendData(frame, 4);  // nothing to send on, nothing happens
  int16_t out[4] = {7, 7, 7, 7};
  EXPECT_FALSE(ctrl.GetCOMbuf(out, 4));
  EXPECT_EQ(out[0], 7);
}

TEST(LinkObject, ResettypeAndBootTypeSurviveASaveAndReloadUnderTheirNames) {
  halvex::MemoryPropertyBag bag;
  {
    CHalvexCtrl ctrl;
    EXPECT_FALSE(ctrl.IsModified());
    ctrl.SetResettype(true);
    EXPECT_TRUE(ctrl.IsModified());
    ctrl.SaveProperties(bag);
    EXPECT_FALSE(ctrl.IsModified());
  }
  EXPECT_EQ(bag.Values().at("ResetType"), true);
  EXPECT_EQ(bag.Values().at("BootType"), false);

  CHalvexCtrl again;
  again.LoadProperties(bag);
  EXPECT_TRUE(again.GetResettype());
  EXPECT_FALSE(again.GetBootType());
  EXPECT_FALSE(again.IsModified());

  again.SetBootType(true);
  EXPECT_TRUE(again.IsModified());

  // A bag without the values leaves the defaults.
  halvex::MemoryPropertyBag empty;
  again.LoadProperties(empty);
  EXPECT_FALSE(again.GetBootType());
  EXPECT_FALSE(again.GetResettype());
}

TEST(LinkObject, AboutBoxGoesToTheMessageHandler) {
  CHalvexCtrl ctrl;
  std::string text, caption;
  ctrl.SetMessageHandler([&](const std::string& t, const std::string& c) {
    text = t;
    caption = c;
  });
  ctrl.AboutBox();
  EXPECT_EQ(text, CHalvexCtrl::AboutText());
  EXPECT_NE(text.find("Halvex"), std::string::npos);
  EXPECT_NE(text.find("Version"), std::string::npos);
  EXPECT_FALSE(caption.empty());
}

TEST(LinkObject, DestroyingItWithAPortOpenEndsBothWorkersPromptly) {
  PortFactoryScope ports;
  auto pair = PortPair::Create();
  ports.Add("a", pair);
  auto ctrl = std::make_unique<CHalvexCtrl>();
  ctrl->SetComPortPath(1, "inproc:a");
  const int withSendOnly = ThreadCount();
  ASSERT_TRUE(ctrl->Connect(1, 19200));
  const int withBoth = ThreadCount();
  EXPECT_EQ(withBoth, withSendOnly + 1);

  Stopwatch sw;
  ctrl.reset();
  // The close waits 100 ms for the Receive worker; nothing else may add much to it.
  EXPECT_LT(sw.Ms(), 400);
  EXPECT_EQ(ThreadCount(), withBoth - 2);  // Send and Receive are gone
}

TEST(LinkObject, ComPortNumbersResolveThroughEnvironmentRegistrationThenDefault) {
  CHalvexCtrl ctrl;
  ::unsetenv("HALVEX_COM7");
  EXPECT_EQ(ctrl.ResolveComPort(7), "/dev/ttyS6");
  EXPECT_EQ(ctrl.ResolveComPort(12), "/dev/ttyS11");
  ctrl.SetComPortPath(7, "/dev/ttyUSB0");
  EXPECT_EQ(ctrl.ResolveComPort(7), "/dev/ttyUSB0");
  ::setenv("HALVEX_COM7", "/tmp/linkt-pty", 1);
  EXPECT_EQ(ctrl.ResolveComPort(7), "/tmp/linkt-pty");
  ::unsetenv("HALVEX_COM7");
  ctrl.SetComPortPath(7, "");
  EXPECT_EQ(ctrl.ResolveComPort(7), "/dev/ttyS6");
}

class TesterLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = std::filesystem::current_path();
    char tmpl[] = "/tmp/linkt-log-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path old_, dir_;
};

TEST_F(TesterLogTest, EntriesAppendAsCodeTabTextLines) {
  CHalvexCtrl ctrl;
  ctrl.impl().TesterLog(3, "OVERLAPPED FAILED!");
  ctrl.impl().TesterLog(-1, "second");
  std::ifstream in(dir_ / "TesterComm.txt");
  std::stringstream all;
  all << in.rdbuf();
  EXPECT_EQ(all.str(), "3\tOVERLAPPED FAILED!\n-1\tsecond\n");
}

TEST_F(TesterLogTest, ALogThatCannotBeWrittenIsSkipped) {
  std::filesystem::create_directory(dir_ / "TesterComm.txt");  // a folder in the file's place
  CHalvexCtrl ctrl;
  ctrl.impl().TesterLog(1, "lost");
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "TesterComm.txt"));
}
