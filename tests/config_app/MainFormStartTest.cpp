// Start of the main form: loading the settings, the defaults written back, the messages, the two
// user-interface modes, the serial port choice and the hooks of the other areas.
#include "FormTestSupport.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class MainFormStartTest : public FormTest {};

TEST_F(MainFormStartTest, FirstStartStoresEveryDefaultQuietly) {
  CQeltaConfigView& f = Start();
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(Text("GetSettingsPath"), "c:\\");
  EXPECT_EQ(Text("EthUsernameDigiME"), "root");
  EXPECT_EQ(Text("EthPasswordDigiME"), "kqzv");
  EXPECT_EQ(Number("IgnoreNetTempIP"), 0u);
  EXPECT_EQ(Number("UIService"), 0u);
  EXPECT_EQ(Number("UIProduction"), 0u);
  EXPECT_EQ(Number("ComPort"), 1u);
  EXPECT_EQ(Number("LastRadioUsed"), 1u);
  EXPECT_EQ(Number("CommID"), 10000u);

  EXPECT_EQ(f.settingsPath, "c:\\");
  EXPECT_EQ(f.ethUser, "root");
  EXPECT_EQ(f.ethPassword, "kqzv");
  EXPECT_EQ(f.ignoreTempAddresses.load(), 0);
  EXPECT_EQ(f.discoveryIntervalMs.load(), 500);
  EXPECT_EQ(f.comPort, 1);
  EXPECT_EQ(f.formReady, 1);
  EXPECT_EQ(f.controls().Text(ids::kCommIdField), "10000");
  EXPECT_FALSE(f.controls().ReadOnly(ids::kCommIdField));
  for (int id : {ids::kCommIdField, ids::kSetNewCommIdButton, ids::kNextCommIdButton,
                 ids::kNextCommIdLabel, ids::kCommIdGroup, ids::kCommIdLabel, ids::kRadioType1,
                 ids::kRadioType2, ids::kRadioType3, ids::kRadioTypeGroup})
    EXPECT_FALSE(f.controls().Visible(id)) << id;
  EXPECT_TRUE(f.controls().Checked(ids::kCmdCom1));
  for (int id = ids::kCmdCom1 + 1; id <= ids::kCmdCom8; ++id)
    EXPECT_FALSE(f.controls().Checked(id));
  EXPECT_FALSE(f.controls().Enabled(ids::kSetConfigButton));
  EXPECT_FALSE(f.controls().Enabled(ids::kEditWithNotepadButton));
  EXPECT_EQ(f.WindowTitle(), "QeltaConfig - Untitled");
  EXPECT_EQ(f.programDir, root + "/bin/");
}

TEST_F(MainFormStartTest, EmptyTextsAreResetWithTheirMessage) {
  WriteSettings(
      "GetSettingsPath=text:\nEthUsernameDigiME=text:\nEthPasswordDigiME=text:\n"
      "IgnoreNetTempIP=number:1\nUIService=number:0\nUIProduction=number:0\n");
  CQeltaConfigView& f = Start();
  ASSERT_EQ(ui.Messages().size(), 3u);
  EXPECT_EQ(ui.Messages()[0].text, "GetSettingsPath was set to default (\"c:\\\")");
  EXPECT_EQ(ui.Messages()[0].caption, "Get settings path");
  EXPECT_EQ(ui.Messages()[1].text, "Ethernet username was set to default.");
  EXPECT_EQ(ui.Messages()[1].caption, "Username info");
  EXPECT_EQ(ui.Messages()[2].text, "Ethernet password was set to default.");
  EXPECT_EQ(ui.Messages()[2].caption, "Password info");
  for (const auto& m : ui.Messages()) EXPECT_EQ(m.buttons, qelta::MessageButtons::Ok);
  EXPECT_EQ(f.ethUser, "root");
  EXPECT_EQ(Text("GetSettingsPath"), "c:\\");
  EXPECT_EQ(Text("EthUsernameDigiME"), "root");
  EXPECT_EQ(Text("EthPasswordDigiME"), "kqzv");
  EXPECT_EQ(f.ignoreTempAddresses.load(), 1);

  // Once repaired, the next start is quiet.
  ui.ClearRecords();
  Start();
  EXPECT_THAT(MessageTexts(), IsEmpty());
}

TEST_F(MainFormStartTest, OverLongTextsReadAsMissingAndAreReplacedSilently) {
  WriteSettings(
      "EthUsernameDigiME=text:abcdefghijkl\nEthPasswordDigiME=text:abcdefghijk\n"
      "GetSettingsPath=text:" +
      std::string(255, 'p') + "\n");
  CQeltaConfigView& f = Start();
  EXPECT_THAT(MessageTexts(), IsEmpty());
  EXPECT_EQ(f.ethUser, "root");
  EXPECT_EQ(Text("EthUsernameDigiME"), "root");
  // Eleven characters still fit.
  EXPECT_EQ(f.ethPassword, "abcdefghijk");
  EXPECT_EQ(f.settingsPath, "c:\\");
  EXPECT_EQ(Text("GetSettingsPath"), "c:\\");
}

TEST_F(MainFormStartTest, ServiceModeAloneShowsTheCommIdControls) {
  WriteSettings("UIService=number:1\n");
  CQeltaConfigView& f = Start();
  EXPECT_EQ(f.uiService, 1);
  EXPECT_EQ(f.uiProduction, 0);
  EXPECT_EQ(Number("UIService"), 1u);
  EXPECT_EQ(Number("UIProduction"), 0u);
  for (int id : {ids::kCommIdField, ids::kSetNewCommIdButton, ids::kNextCommIdButton,
                 ids::kNextCommIdLabel, ids::kCommIdGroup, ids::kCommIdLabel})
    EXPECT_TRUE(f.controls().Visible(id)) << id;
  for (int id : {ids::kRadioType1, ids::kRadioTypeGroup}) EXPECT_FALSE(f.controls().Visible(id));
}

TEST_F(MainFormStartTest, ProductionModeAloneSurvivesTheStoreOfTheMissingServiceMode) {
  WriteSettings("UIProduction=number:1\n");
  CQeltaConfigView& f = Start();
  EXPECT_EQ(f.uiService, 0);
  EXPECT_EQ(f.uiProduction, 1);
  EXPECT_EQ(Number("UIService"), 0u);
  EXPECT_EQ(Number("UIProduction"), 1u);
  EXPECT_TRUE(f.controls().Visible(ids::kRadioTypeGroup));
}

TEST_F(MainFormStartTest, ProductionModeRepairsAndChecksTheLastRadioType) {
  WriteSettings("UIProduction=number:1\nUIService=number:0\nLastRadioUsed=number:7\n");
  CQeltaConfigView& f = Start();
  EXPECT_EQ(Number("LastRadioUsed"), 1u);
  EXPECT_TRUE(f.controls().Checked(ids::kRadioType1));
  EXPECT_FALSE(f.controls().Checked(ids::kRadioType2));
  for (int id : {ids::kRadioType1, ids::kRadioType2, ids::kRadioType3, ids::kRadioTypeGroup,
                 ids::kCommIdField, ids::kNextCommIdButton})
    EXPECT_TRUE(f.controls().Visible(id)) << id;

  WriteSettings("UIProduction=number:5\nUIService=number:0\nLastRadioUsed=number:3\n");
  CQeltaConfigView& g = Start();
  EXPECT_EQ(g.uiProduction, 1);
  EXPECT_TRUE(g.controls().Checked(ids::kRadioType3));
  EXPECT_FALSE(g.controls().Checked(ids::kRadioType1));
}

TEST_F(MainFormStartTest, WithoutModesTheRadioTypeIsRepairedButNotChecked) {
  WriteSettings("UIProduction=number:0\nUIService=number:0\nLastRadioUsed=number:0\n");
  CQeltaConfigView& f = Start();
  EXPECT_EQ(Number("LastRadioUsed"), 1u);
  for (int id : {ids::kRadioType1, ids::kRadioType2, ids::kRadioType3})
    EXPECT_FALSE(f.controls().Checked(id));
  WriteSettings("LastRadioUsed=number:-4\n");
  Start();
  EXPECT_EQ(Number("LastRadioUsed"), 1u);
}

TEST_F(MainFormStartTest, TheChosenComPortIsKeptForTheNextStart) {
  CQeltaConfigView& f = Start();
  EXPECT_TRUE(f.RunCommand(ids::kCmdCom1 + 4));
  EXPECT_EQ(f.comPort, 5);
  EXPECT_EQ(Number("ComPort"), 5u);
  EXPECT_TRUE(f.controls().Checked(ids::kCmdCom1 + 4));
  EXPECT_FALSE(f.controls().Checked(ids::kCmdCom1));
  CQeltaConfigView& g = Start();
  EXPECT_EQ(g.comPort, 5);
  EXPECT_TRUE(g.controls().Checked(ids::kCmdCom1 + 4));
}

TEST_F(MainFormStartTest, PortAndCommIdOutsideTheMenuAreUsedUnchanged) {
  WriteSettings("ComPort=number:12\nCommID=number:70000\n");
  CQeltaConfigView& f = Start();
  EXPECT_EQ(f.comPort, 12);
  for (int id = ids::kCmdCom1; id <= ids::kCmdCom8; ++id) EXPECT_FALSE(f.controls().Checked(id));
  EXPECT_EQ(Number("ComPort"), 12u);
  EXPECT_EQ(f.controls().Text(ids::kCommIdField), "70000");
}

TEST_F(MainFormStartTest, ADamagedFileGivesDefaultsAndTheMessageAndLosesNothing) {
  WriteSettings(
      "ComPort=number:3\nEthUsernameDigiME=text:anna\n\x01\x02 broken\xff\nUIService=number:1\n");
  CQeltaConfigView& f = Start();
  ASSERT_FALSE(ui.Messages().empty());
  EXPECT_EQ(ui.Messages()[0].text, "Configurator registry error: 74, 0");
  EXPECT_EQ(ui.Messages()[0].caption, "Error");
  EXPECT_EQ(ui.Messages()[0].icon, qelta::MessageIcon::Error);
  EXPECT_EQ(f.ethUser, "root");
  EXPECT_EQ(f.uiService, 0);
  // The next write keeps every value and the damaged line.
  f.SelectComPort(4);
  std::string after = ReadSettingsFile();
  EXPECT_NE(after.find("EthUsernameDigiME=text:anna\n"), std::string::npos);
  EXPECT_NE(after.find("UIService=number:1\n"), std::string::npos);
  EXPECT_NE(after.find("\x01\x02 broken\xff\n"), std::string::npos);
  EXPECT_EQ(Number("ComPort"), 4u);
}

TEST_F(MainFormStartTest, AnUnreadableFileGivesDefaultsAndIsNotOverwritten) {
  WriteSettings("ComPort=number:3\nEthUsernameDigiME=text:anna\nCommID=number:12\n");
  const std::string before = ReadSettingsFile();
  files.readError = EACCES;
  files.onlyPath = settingsFile;
  CQeltaConfigView& f = Start();
  ASSERT_FALSE(ui.Messages().empty());
  EXPECT_EQ(ui.Messages()[0].text, "Configurator registry error: " + std::to_string(EACCES) + ", " +
                                       std::to_string(EACCES));
  EXPECT_EQ(f.ethUser, "root");
  EXPECT_EQ(f.comPort, 1);
  EXPECT_EQ(f.controls().Text(ids::kCommIdField), "10000");
  f.SelectComPort(6);
  files.readError = 0;
  EXPECT_EQ(ReadSettingsFile(), before);
}

TEST_F(MainFormStartTest, AKeyThatCannotBeCreatedSkipsTheReadOutList) {
  files.mkdirError = EROFS;
  int readoutLoads = 0;
  FormHooks hooks;
  hooks.loadReadoutList = [&](CQeltaConfigView&) { ++readoutLoads; };
  CQeltaConfigView& f = Start(hooks);
  ASSERT_FALSE(ui.Messages().empty());
  EXPECT_EQ(ui.Messages()[0].text,
            "Cannot create registry key for configurator.\nError: " + std::to_string(EROFS));
  EXPECT_EQ(ui.Messages()[0].caption, "Registry error");
  EXPECT_EQ(readoutLoads, 0);
  EXPECT_EQ(f.ethUser, "root");
  EXPECT_EQ(f.comPort, 1);
}

TEST_F(MainFormStartTest, AFailedStoreResetsTheValueAndSaysSo) {
  WriteSettings("EthUsernameDigiME=text:\n");
  files.writeError = ENOSPC;
  CQeltaConfigView& f = Start();
  std::vector<std::string> texts = MessageTexts();
  auto has = [&](const std::string& t) {
    return std::find(texts.begin(), texts.end(), t) != texts.end();
  };
  EXPECT_TRUE(has("Could not store \"EthUsernameDigiME\", error: " + std::to_string(ENOSPC) + "."));
  EXPECT_TRUE(has("Could not store \"EthPasswordDigiME\", error: " + std::to_string(ENOSPC) + "."));
  EXPECT_TRUE(has("Could not store \"IgnoreNetTempIP\", error: " + std::to_string(ENOSPC) + "."));
  EXPECT_TRUE(has("Could not store \"UIService\", error: " + std::to_string(ENOSPC) + "."));
  EXPECT_TRUE(has("Ethernet username was set to default."));
  EXPECT_EQ(f.ethUser, "root");
}

TEST_F(MainFormStartTest, HooksRunAtTheirPointsAndTheStartTimerRunsTheBootStepOnlyWhenPending) {
  std::vector<std::string> calls;
  FormHooks hooks;
  hooks.startDiscovery = [&](CQeltaConfigView& v) {
    calls.push_back("start:" + std::to_string(v.ignoreTempAddresses.load()));
  };
  hooks.loadReadoutList = [&](CQeltaConfigView&) { calls.push_back("readout"); };
  hooks.buildContextMenus = [&](CQeltaConfigView& v) {
    calls.push_back("menus:" + std::to_string(v.formReady));
    v.deviceMenu.AddItem(ids::kCmdDeviceChannel, "Channel");
  };
  hooks.bootStep = [&](CQeltaConfigView&) { calls.push_back("boot"); };
  hooks.stopDiscovery = [&](CQeltaConfigView&) { calls.push_back("stop"); };
  CQeltaConfigView& f = Start(hooks);
  EXPECT_THAT(calls, ElementsAre("start:1", "readout", "menus:1"));
  EXPECT_TRUE(ui.TimerArmed(ids::kStartTimer));
  EXPECT_EQ(ui.TimerInterval(ids::kStartTimer), 300);
  EXPECT_EQ(ui.FireTimers(), 1);
  EXPECT_FALSE(ui.TimerArmed(ids::kStartTimer));
  EXPECT_THAT(calls, ElementsAre("start:1", "readout", "menus:1"));

  f.pendingBoot = 1;
  f.InitialiseForm();  // a document dropped later runs the initialisation again
  EXPECT_EQ(f.pendingBoot, 0);
  EXPECT_EQ(f.deviceMenu.items.size(), 1u);  // built afresh, not twice
  f.pendingBoot = 1;
  ui.FireTimers();
  EXPECT_EQ(calls.back(), "boot");
  form.reset();
  EXPECT_EQ(calls.back(), "stop");
}

TEST_F(MainFormStartTest, InitialisationMakesTheWorkingFolderCurrent) {
  std::string before = std::filesystem::current_path().string();
  FormEnvironment env = Env();
  env.changeDirectory = true;
  form = std::make_unique<CQeltaConfigView>(ui, env);
  form->InitialiseForm();
  EXPECT_EQ(std::filesystem::current_path().string() + "/", root + "/bin/");
  EXPECT_EQ(form->startDir, root + "/bin");
  std::filesystem::current_path(before);
}

}  // namespace
