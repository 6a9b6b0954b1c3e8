// The configurator's firmware upload: dialog, arming on the timer, the boot loader's result as
// rows, against a simulated device in its ROM loader.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "BootTestSupport.h"
#include "app/FirmwareCommands.h"
#include "app/QeltaConfigView.h"
#include "halvex/SerialPort.h"
#include "params/FirmwareUpload.h"
#include "ui/ScriptedUi.h"

namespace qelta {
void PrintTo(const FirmwareRow& row, std::ostream* os) {
  *os << "{\"" << row.name << "\", \"" << row.value << "\", " << row.image << "}";
}
}  // namespace qelta

using boottest::Bytes;
using qelta::FirmwareRow;

namespace {

class FirmwareUploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.Path();
    std::filesystem::create_directories(root_ + "/bin");
    // Nothing here may reach the real user's files.
    setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
    FormEnvironment env;
    env.settingsFile = root_ + "/config/Tervana/QeltaConfigurator.conf";
    env.workingFolder.exePath = root_ + "/bin/qeltaconfig";
    env.changeDirectory = false;
    form_ = std::make_unique<CQeltaConfigView>(ui_, env);
    qelta::InstallFirmwareUploadCommands(*form_);
    form_->InitialiseForm();
    ui_.FireTimers();  // the start timer: nothing is pending
    ui_.ClearRecords();
  }
  void TearDown() override { form_.reset(); }

  // Boot files live in the form's start folder.
  void PrepareDevice() {
    line_ = std::make_unique<boottest::SimLine>();
    line_->Device().SetBootMode(true);
    form_->comPort = 1;
    form_->link().SetComPortPath(1, line_->Path());
    boottest::WriteBootFile((std::filesystem::path(form_->startDir) / "5vboot.a20").string(),
                            0xB600, boottest::Pattern(12));
  }

  std::vector<FirmwareRow> Rows() const {
    std::vector<FirmwareRow> rows;
    const OutputList& list = form_->outputList();
    for (int i = 0; i < list.RowCount(); ++i) {
      const auto& row = list.Row(i);
      rows.push_back({row.text[0], row.text[1], row.image});
    }
    return rows;
  }

  boottest::TempWorkDir dir_;
  std::string root_;
  qelta::ScriptedUi ui_;
  std::unique_ptr<CQeltaConfigView> form_;
  std::unique_ptr<boottest::SimLine> line_;
};

TEST_F(FirmwareUploadTest, ACancelledDialogIsReportedAndArmsNothing) {
  ASSERT_TRUE(form_->RunCommand(ids::kCmdFirmwareUpdate));

  ASSERT_EQ(ui_.Dialogs().size(), 1u);
  EXPECT_EQ(ui_.Dialogs()[0].name, "SorviFWUpload");
  EXPECT_EQ(ui_.Dialogs()[0].finalState.title, "Qelta Firmware upload");
  EXPECT_EQ(Rows(), (std::vector<FirmwareRow>{{"Operation canceled by the user!", "", 0}}));
  EXPECT_EQ(ui_.Beeps(), 1);
  EXPECT_EQ(form_->pendingBoot, 0);
  EXPECT_FALSE(ui_.TimerArmed(qelta::kFirmwareTimer));
}

TEST_F(FirmwareUploadTest, AChosenImageIsLoadedWhenTheTimerFires) {
  PrepareDevice();
  const std::string image = root_ + "/Hsbt0203.a20";
  boottest::WriteBinary(image, boottest::Pattern(70));
  ui_.QueueFileDialogResult(image);
  ui_.QueueDialogAnswer("SorviFWUpload", {{}, {"openFile"}, true});

  form_->RunCommand(ids::kCmdFirmwareUpdate);

  ASSERT_EQ(ui_.FileDialogs().size(), 1u);
  EXPECT_EQ(ui_.FileDialogs()[0].initialName, "hsbt*.a20;bsbt*.a20");
  EXPECT_EQ(ui_.FileDialogs()[0].defaultExt, "a20");
  EXPECT_EQ(form_->firmwarePath, image);
  EXPECT_EQ(form_->link().Face().StatusText(), "COM1 4800");
  EXPECT_EQ(Rows(), (std::vector<FirmwareRow>{{"Uploading...", "", 2}}));
  // Armed, not run: the form paints the row first.
  EXPECT_EQ(form_->pendingBoot, 1);
  EXPECT_EQ(ui_.TimerInterval(qelta::kFirmwareTimer), 100);
  EXPECT_TRUE(line_->Loader().Bootstrap().empty());

  ASSERT_EQ(ui_.FireTimers(), 1);

  EXPECT_EQ(form_->pendingBoot, 0);
  EXPECT_EQ(line_->Loader().BlockAddresses(), (std::vector<uint16_t>{0, 32, 64}));
  EXPECT_EQ(Rows(),
            (std::vector<FirmwareRow>{{"Uploading...", "", 2},
                                      {"UPLOADING DONE", "", 1},
                                      {"REMOVE BOOT CABLE FROM DEVICE", "", 2},
                                      {"REMOVE BATTERIES AND PUT THEM BACK AGAIN", "", 2}}));
  // The link is closed afterwards.
  EXPECT_EQ(form_->link().Face().StatusText(), "");
}

TEST_F(FirmwareUploadTest, StartingWithoutAFileReportsTheLoadersResultOnce) {
  PrepareDevice();
  ui_.QueueDialogAnswer("SorviFWUpload", {});

  form_->RunCommand(ids::kCmdFirmwareUpdate);
  ASSERT_EQ(ui_.FireTimers(), 1);
  // A late second timer event finds nothing pending.
  ui_.StartTimer(qelta::kFirmwareTimer, 100, [this] {
    ui_.StopTimer(qelta::kFirmwareTimer);
    if (form_->pendingBoot) qelta::RunFirmwareUpload(*form_);
  });
  ui_.FireTimers();

  EXPECT_EQ(Rows(),
            (std::vector<FirmwareRow>{{"Uploading...", "", 2}, {"Can't open boot file", "", 0}}));
}

TEST_F(FirmwareUploadTest, APortAnotherProgramHoldsIsToldOnceAndBesideTheFailureRow) {
  PrepareDevice();
  halvex::SetSerialLockFolder(root_);
  CHalvexCtrl other;
  other.SetComPortPath(1, line_->Path());
  ASSERT_TRUE(other.Connect(1, 19200));
  const std::string image = root_ + "/hsbt1.a20";
  boottest::WriteBinary(image, boottest::Pattern(40));
  ui_.QueueFileDialogResult(image);
  ui_.QueueDialogAnswer("SorviFWUpload", {{}, {"openFile"}, true});

  form_->RunCommand(ids::kCmdFirmwareUpdate);
  ui_.FireTimers();
  halvex::SetSerialLockFolder("/run/lock");

  const std::string busy = "port is busy (used by PID " + std::to_string(getpid()) + ")";
  ASSERT_EQ(ui_.Messages().size(), 1u);  // the load's own reopenings add no further box
  EXPECT_EQ(ui_.Messages()[0].text, line_->Path() + ": " + busy);
  const OutputList& list = form_->outputList();
  ASSERT_EQ(list.RowCount(), 2);
  EXPECT_EQ(list.Row(1).text[0], "No response from device: Waiting 00");
  EXPECT_EQ(list.Row(1).text[2], busy);
  EXPECT_EQ(line_->Loader().Bootstrap(), Bytes{});
}

TEST(FirmwareResultRowsTest, CodesOutsideTheTableGiveOneEmptyFailureRow) {
  for (int16_t code : {-1, 0, 9, 11}) {
    EXPECT_EQ(qelta::FirmwareResultRows(code), (std::vector<FirmwareRow>{{"", "", 0}})) << code;
  }
  EXPECT_EQ(qelta::FirmwareResultRows(8),
            (std::vector<FirmwareRow>{{"Flash verification failed!", "", 0}}));
}

}  // namespace
