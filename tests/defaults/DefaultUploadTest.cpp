// "Upload all defaults" and "Set configuration file" against base stations behind simulated
// modules: the dialog and "LastEEPROMFile", the order of the rows, what reaches each station, the
// restored form state, and silent stations.
#include <algorithm>
#include <fstream>

#include "../xml/StationBench.h"
#include "app/DefaultUpload.h"
#include "core/SettingsKey.h"

namespace qelta {
namespace {

namespace fs = std::filesystem;

bench::StationSpec Silent() {
  bench::StationSpec station;
  station.moduleSilent = true;
  return station;
}

class DefaultUploadTest : public bench::StationBench {
 protected:
  // A configuration file that sets the channel byte (page 0, address 13) of a base station.
  std::string WriteConfig(const std::string& name, int channel) {
    const std::string path = root + "/" + name;
    std::ofstream(path) << "CHANNEL:" << channel << "\nEND:\n";
    return path;
  }
  // The stored value, read without writing a default back.
  std::string StoredLastFile() {
    SettingsDocument doc;
    if (form->settings().Open(doc) != 0) return "<missing>";
    return ReadTextValue(doc, kLastEepromFileSetting, CSettingsKey::kTextBuffer)
        .value_or("<missing>");
  }
  uint8_t Channel(size_t i) const { return stations[i]->Page(0)[13]; }
  // Indexes of the rows whose name starts with `prefix`.
  std::vector<int> Find(const std::vector<std::string>& rows, const std::string& prefix) {
    std::vector<int> at;
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].rfind(prefix, 0) == 0) at.push_back(static_cast<int>(i));
    return at;
  }
  static ScriptedUi::DialogAnswer Typed(const std::string& name, bool accept = true) {
    ScriptedUi::DialogAnswer a;
    a.values["file"] = name;
    a.accept = accept;
    return a;
  }
};

TEST_F(DefaultUploadTest, FirstUseStoresTheCurrentFolderAndRefusesAnEmptyName) {
  StartForm();
  ASSERT_EQ(StoredLastFile(), "<missing>");
  ui.QueueDialogAnswer("CDefaultUploadDlg", Typed(""));
  ASSERT_TRUE(form->RunCommand(ids::kCmdUploadAllDefaults));
  ASSERT_EQ(ui.Dialogs().size(), 1u);
  EXPECT_FALSE(ui.Dialogs()[0].accepted);
  EXPECT_EQ(ui.Dialogs()[0].errors,
            (std::vector<std::string>{"At least default EEPROM file has to be defined."}));
  const auto& shown = ui.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "File error");
  EXPECT_EQ(shown[0].icon, MessageIcon::Error);
  EXPECT_EQ(StoredLastFile(), fs::current_path().string());
  EXPECT_EQ(form->outputList().RowCount(), 0);  // cancelled: not even the time row
}

TEST_F(DefaultUploadTest, TheDialogShowsTheRememberedFileAndBrowseReplacesIt) {
  StartForm();
  {
    CSettingsKey key(form->settings(), ui);
    ASSERT_TRUE(key.Open());
    key.WriteText(kLastEepromFileSetting, "/srv/defaults/station.pcg");
  }
  // Cancel: the field showed the remembered name; nothing is written.
  ui.QueueDialogAnswer("CDefaultUploadDlg", Typed("station.pcg", false));
  ASSERT_TRUE(form->RunCommand(ids::kCmdUploadAllDefaults));
  ASSERT_EQ(ui.Dialogs().size(), 1u);
  EXPECT_EQ(StoredLastFile(), "/srv/defaults/station.pcg");
  EXPECT_EQ(form->outputList().RowCount(), 0);

  // Browse picks another file; OK stores its full path.
  CDefaultUploadDlg dialog(*form);
  dialog.fullPath = "/srv/defaults/station.pcg";
  dialog.fileName = "station.pcg";
  dialog.model().SetValue(kEepromFileField, dialog.fileName);
  ui.QueueFileDialogResult(std::string("/tmp/other/next.pcg"));
  dialog.Browse();
  EXPECT_EQ(dialog.model().Value(kEepromFileField), "next.pcg");
  EXPECT_EQ(dialog.fullPath, "/tmp/other/next.pcg");
  ASSERT_FALSE(ui.FileDialogs().empty());
  EXPECT_EQ(ui.FileDialogs().back().initialName, "*.pcg");
  EXPECT_EQ(ui.FileDialogs().back().defaultExt, "pcg");
  // A cancelled file dialog keeps a name typed by hand.
  dialog.model().SetValue(kEepromFileField, "typed.pcg");
  dialog.Browse();  // nothing queued: cancelled
  EXPECT_EQ(dialog.fileName, "typed.pcg");
  EXPECT_EQ(dialog.fullPath, "/tmp/other/next.pcg");
  EXPECT_EQ(dialog.Accept(), "");
  EXPECT_EQ(StoredLastFile(), "/tmp/other/next.pcg");
}

TEST_F(DefaultUploadTest, UploadAllDefaultsOverThreeStationsInItsRowOrder) {
  Preset("UIService", 1);
  Start({{}, {}, {}});
  const std::string config = WriteConfig("defaults.pcg", 6);
  Select({0, 1, 2});
  BaseStationRecord* before = form->selectedBaseStation;
  ScriptedUi::DialogAnswer answer = Typed("");
  answer.press = {"browse"};
  ui.QueueFileDialogResult(config);
  ui.QueueDialogAnswer("CDefaultUploadDlg", answer);
  const int first = form->outputList().RowCount();
  ASSERT_TRUE(form->RunCommand(ids::kCmdUploadAllDefaults));

  const auto rows = Rows(first);
  ASSERT_GE(rows.size(), 8u) << ::testing::PrintToString(rows);
  EXPECT_EQ(rows[0], "EEPROM file|defaults.pcg|3");
  // Outside production mode the radio type buttons are unchecked.
  EXPECT_EQ(rows[1], "Radio configuration|Type 3|3");
  const auto ethernet = Find(rows, "Operating on");
  const auto eeprom = Find(rows, "Default EEPROM");
  const auto wait = Find(rows, "Reset wait...");
  const auto radio = Find(rows, "Radio type set to 3");
  ASSERT_EQ(ethernet.size(), 3u);
  ASSERT_EQ(eeprom.size(), 3u);
  ASSERT_EQ(wait.size(), 1u);
  ASSERT_EQ(radio.size(), 3u) << ::testing::PrintToString(rows);
  EXPECT_LT(ethernet.back(), eeprom.front());
  EXPECT_LT(eeprom.back(), wait[0]);
  EXPECT_LT(wait[0], radio.front());
  EXPECT_EQ(rows[wait[0]], "Reset wait...||2");
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(rows[eeprom[i]], "Default EEPROM|" + Address(i) + "|3");
    EXPECT_EQ(rows[radio[i]], "Radio type set to 3|" + Address(i) + "|1");
    EXPECT_EQ(Channel(i), 6) << i;
    EXPECT_TRUE(web[i]->Settings().dhcp) << i;
  }
  // Each station's upload rows lie between its "Default EEPROM" row and the next one.
  EXPECT_GT(eeprom[1] - eeprom[0], 1);
  EXPECT_EQ(rows.back().rfind("Time: 0:", 0), 0u) << rows.back();
  EXPECT_EQ(rows.back().substr(rows.back().size() - 3), "||3");

  EXPECT_EQ(StoredLastFile(), config);
  EXPECT_EQ(form->selectedBaseStation, before);
  EXPECT_EQ(form->configFilePath, config);  // it was empty: the run's file stays
  EXPECT_TRUE(form->listShowsBaseStations);
}

TEST_F(DefaultUploadTest, NothingSelectedGivesOnlyTheTimeRow) {
  Preset("UIService", 1);
  Start({{}});
  Select({});
  const std::string config = WriteConfig("d.pcg", 2);
  {
    CSettingsKey key(form->settings(), ui);
    ASSERT_TRUE(key.Open());
    key.WriteText(kLastEepromFileSetting, config);
  }
  ui.QueueDialogAnswer("CDefaultUploadDlg", Typed("d.pcg"));
  const int first = form->outputList().RowCount();
  ASSERT_TRUE(form->RunCommand(ids::kCmdUploadAllDefaults));
  EXPECT_EQ(Rows(first), (std::vector<std::string>{"Time: 0:0||3"}));
  EXPECT_TRUE(web[0]->Requests().empty());
}

TEST_F(DefaultUploadTest, SetConfigurationFileSkipsASilentStationAndRestoresTheOpenFile) {
  Start({{}, Silent()});
  const std::string config = WriteConfig("set.pcg", 5);
  form->configFilePath = "/earlier/open.pcg";
  Select({0, 1});
  ui.QueueFileDialogResult(config);
  const int first = form->outputList().RowCount();
  ASSERT_TRUE(form->RunCommand(ids::kCmdSetConfigFile));

  const auto rows = Rows(first);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], "EEPROM file|" + config + "|3");
  const auto eeprom = Find(rows, "Default EEPROM");
  ASSERT_EQ(eeprom.size(), 2u);
  EXPECT_EQ(rows[eeprom[1]], "Default EEPROM|127.0.0.3|3");
  // The silent station gets its row and nothing else, then the report names it.
  EXPECT_EQ(eeprom[1] + 2, static_cast<int>(rows.size())) << ::testing::PrintToString(rows);
  EXPECT_EQ(rows.back(), "Address: 127.0.0.3|No answer (set BS config)|5");
  EXPECT_EQ(Channel(0), 5);
  EXPECT_NE(Channel(1), 5);
  EXPECT_EQ(form->configFilePath, "/earlier/open.pcg");
  EXPECT_TRUE(form->listShowsBaseStations);
  // The chosen file is not remembered.
  EXPECT_EQ(StoredLastFile(), "<missing>");
}

TEST_F(DefaultUploadTest, SetConfigurationFileOnTheOnlyStationAsksItFirst) {
  Start({Silent()});
  Select({0});
  ASSERT_TRUE(form->RunCommand(ids::kCmdSetConfigFile));
  // It did not answer: the user is told and no file is asked for.
  EXPECT_FALSE(ui.Messages().empty());
  EXPECT_TRUE(ui.FileDialogs().empty());
  EXPECT_EQ(Find(Rows(BaseRows()), "EEPROM file").size(), 0u);
}

TEST(DefaultUploadTextTest, TimesAndFileNames) {
  EXPECT_EQ(ElapsedTimeText(125000), "Time: 2:5");
  EXPECT_EQ(ElapsedTimeText(59999), "Time: 0:59");
  EXPECT_EQ(ElapsedTimeText(3600000), "Time: 60:0");
  EXPECT_EQ(AverageTimeText(75500), "Avg. 15s/device ");
  EXPECT_EQ(FileNamePart("C:\\pcg\\base.pcg"), "base.pcg");
  EXPECT_EQ(FileNamePart("/home/a/base.pcg"), "base.pcg");
  EXPECT_EQ(FileNamePart("base.pcg"), "base.pcg");
  EXPECT_EQ(FileNamePart("/home/a/"), "");
}

}  // namespace
}  // namespace qelta
