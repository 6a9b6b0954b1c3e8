// Radio type, calibration and channel end to end: the channel dialog's check, the serial device
// (both memory layouts, a foreign device), one base station and many base stations behind
// simulated modules.
#include <gtest/gtest.h>

#include "DevopsTestSupport.h"
#include "app/RadioChannel.h"

namespace devops_test {
namespace {

class RadioChannelTest : public DevopsFormTest {};

TEST(ChannelDialog, AcceptsOneToSevenOnly) {
  qelta::ScriptedUi ui;
  for (const char* entry : {"0", "8", "-3", "x", ""})
    ui.QueueDialogAnswer("CBSChannelDlg", Answer("channel", entry));
  ui.QueueDialogAnswer("CBSChannelDlg", Answer("channel", "7"));
  qelta::DialogModel dialog = qelta::ChannelDialog(4);
  EXPECT_EQ(dialog.title, "Set channel");
  EXPECT_EQ(dialog.Value(qelta::kChannelField), "4");
  ASSERT_TRUE(ui.RunDialog(dialog));
  const auto& record = ui.Dialogs().at(0);
  ASSERT_EQ(record.errors.size(), 5u);  // the dialog stayed open after each wrong entry
  for (const auto& e : record.errors) EXPECT_EQ(e, "Please enter an integer between 1 and 7.");
  EXPECT_EQ(dialog.Number(qelta::kChannelField), 7);
  dialog.SetValue(qelta::kChannelField, "1");
  EXPECT_EQ(dialog.Validate(), "");
}

TEST_F(RadioChannelTest, RadioButtonsStoreTheChoice) {
  Preset("UIProduction", 1);
  Preset("LastRadioUsed", 2);
  CQeltaConfigView& view = StartForm();
  EXPECT_TRUE(view.controls().Checked(ids::kRadioType2));
  EXPECT_EQ(qelta::SelectedRadioType(view), 2);
  ASSERT_TRUE(view.RunCommand(ids::kRadioType3));
  EXPECT_FALSE(view.controls().Checked(ids::kRadioType2));
  EXPECT_TRUE(view.controls().Checked(ids::kRadioType3));
  EXPECT_EQ(qelta::SelectedRadioType(view), 3);
  EXPECT_EQ(Stored("LastRadioUsed"), 3u);
}

TEST_F(RadioChannelTest, SerialChannelOnBaseStationAndHandTerminal) {
  CQeltaConfigView& view = StartForm();
  qelta::sim::SimDevice& station = StartSerialDevice(qelta::sim::kTypeBaseStation);
  station.WithMemory(
      [](qelta::sim::DeviceMemory& m) { m.Area(qelta::sim::MemoryArea::kPage0)[13] = 4; });
  ui.QueueDialogAnswer("CBSChannelDlg", Answer("channel", "6"));
  ASSERT_TRUE(view.RunCommand(ids::kCmdDeviceChannel));
  EXPECT_EQ(station.Page(0)[13], 6);
  EXPECT_EQ(station.Activity().resets, 0u);  // a base station is not reset
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Getting channel...|COM1|3", "Channel set OK||1"}));

  // Cancel: the dialog offered the device's channel and nothing is written.
  view.outputList().DeleteAllRows();
  ASSERT_TRUE(view.RunCommand(ids::kCmdDeviceChannel));
  EXPECT_EQ(ui.Dialogs().back().finalState.Value(qelta::kChannelField), "6");
  EXPECT_FALSE(ui.Dialogs().back().accepted);
  EXPECT_EQ(Rows(), std::vector<std::string>{"Getting channel...|COM1|3"});

  runner.reset();
  qelta::sim::SimDevice& terminal = StartSerialDevice(qelta::sim::kTypeHandTerminal);
  view.outputList().DeleteAllRows();
  ui.QueueDialogAnswer("CBSChannelDlg", Answer("channel", "2"));
  ASSERT_TRUE(view.RunCommand(ids::kCmdDeviceChannel));
  EXPECT_EQ(terminal.Extended()[125], 2);
  EXPECT_EQ(terminal.Activity().resets, 1u);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Getting channel...|COM1|3", "Reset||2",
                                              "Channel set OK||1"}));
}

TEST_F(RadioChannelTest, SerialChannelFailures) {
  CQeltaConfigView& view = StartForm();
  ASSERT_EQ(view.SetComDevice(1, root + "/no-such-tty"), 0);
  ASSERT_TRUE(view.RunCommand(ids::kCmdDeviceChannel));
  EXPECT_EQ(Rows(),
            (std::vector<std::string>{"Getting channel...|COM1|3", "Connect error|COM1|0"}));

  view.outputList().DeleteAllRows();
  StartSerialDevice(5);
  ASSERT_TRUE(view.RunCommand(ids::kCmdDeviceChannel));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Getting channel...|COM1|3",
                                              "Cannot get device on COM1||0"}));

  // Identified, then the line drops: the channel cannot be read.
  view.outputList().DeleteAllRows();
  runner.reset();
  qelta::sim::SimDevice& dropping = StartSerialDevice(qelta::sim::kTypeBaseStation);
  qelta::sim::FaultKnobs faults;
  faults.drop_after_frames = 1;
  dropping.SetFaults(faults);
  ASSERT_TRUE(view.RunCommand(ids::kCmdDeviceChannel));
  EXPECT_TRUE(ui.Dialogs().empty());
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].text, "Channel read error -1.");
  EXPECT_EQ(ui.Messages()[0].caption, "Channel error");
  EXPECT_EQ(Rows(),
            (std::vector<std::string>{"Getting channel...|COM1|3", "Channel read error -1.||0"}));
}

TEST_F(RadioChannelTest, SerialRadioCalibration) {
  Preset("UIProduction", 1);
  CQeltaConfigView& view = StartForm();
  qelta::sim::SimDevice& terminal = StartSerialDevice(qelta::sim::kTypeHandTerminal);
  ASSERT_TRUE(view.RunCommand(ids::kRadioType3));
  view.AddOutputRow("earlier", "", ids::kImageInfo);
  ASSERT_TRUE(view.RunCommand(ids::kCmdDeviceRadioType));
  EXPECT_EQ(terminal.Extended()[86], 60);
  EXPECT_EQ(terminal.Extended()[87], 0xFF);  // only the calibration byte: 87 stays erased
  EXPECT_EQ(terminal.Activity().resets, 1u);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"earlier||3", "Radio calibration set OK.||1"}));

  runner.reset();
  qelta::sim::SimDevice& station = StartSerialDevice(qelta::sim::kTypeBaseStation);
  ASSERT_TRUE(view.RunCommand(ids::kRadioType1));
  ASSERT_TRUE(view.RunCommand(ids::kCmdDeviceRadioType));
  EXPECT_EQ(station.Page(0)[22], 85);
  EXPECT_EQ(station.Page(0)[23], 0xFF);

  runner.reset();
  StartSerialDevice(5);
  ASSERT_TRUE(view.RunCommand(ids::kCmdDeviceRadioType));
  EXPECT_EQ(Rows(), std::vector<std::string>{"Cannot get device on COM1|Device=5|0"});

  ASSERT_EQ(view.SetComDevice(1, root + "/no-such-tty"), 0);
  ASSERT_TRUE(view.RunCommand(ids::kCmdDeviceRadioType));
  EXPECT_EQ(Rows(), std::vector<std::string>{"Cannot connect to COM1||0"});
}

TEST_F(RadioChannelTest, RadioTypeCommandsNeedProductionMode) {
  Preset("UIService", 1);
  CQeltaConfigView& view = StartForm();
  qelta::sim::SimDevice& terminal = StartSerialDevice(qelta::sim::kTypeHandTerminal);
  ASSERT_TRUE(view.RunCommand(ids::kCmdDeviceRadioType));
  EXPECT_EQ(terminal.Extended()[86], 0xFF);  // erased, untouched
  EXPECT_EQ(view.outputList().RowCount(), 0);
  EXPECT_EQ(qelta::WriteRadioType(view, 2), 0);  // nothing written outside production mode
}

TEST_F(RadioChannelTest, RadioTypeOnStations) {
  Preset("UIProduction", 1);
  CQeltaConfigView& view = StartForm();
  StartStations({{}, {.tcpRefused = true}, {}, {}, {}});
  host.SetSilent(3, true);
  MakeDeaf(4);
  ASSERT_TRUE(view.RunCommand(ids::kRadioType2));
  Select({0, 1, 2, 3, 4});
  const int before = view.outputList().RowCount();
  ASSERT_TRUE(view.RunCommand(ids::kCmdSetRadioType));
  for (size_t i : {0u, 2u}) {
    EXPECT_EQ(StationByte(i, 22), 66) << i;
    EXPECT_EQ(StationByte(i, 23), 90) << i;
    EXPECT_EQ(StationResets(i, 1), 1u) << i;
  }
  EXPECT_EQ(StationByte(1, 22), 0);
  EXPECT_EQ(StationByte(3, 22), 0);
  EXPECT_EQ(StationResets(4), 0u);
  EXPECT_EQ(Rows(before), (std::vector<std::string>{
                              "Setting radio types||2",
                              "Radio type set to 2|127.0.0.2|1",
                              "Cannot connect|127.0.0.3|0",
                              "Radio type set to 2|127.0.0.4|1",
                              "Radio type (2) failed|127.0.0.6, error -3|0",
                              "Address: 127.0.0.5|No answer (radio type)|5",
                          }));
  EXPECT_TRUE(view.listShowsBaseStations);

  // Nothing selected: the command does nothing at all.
  Select({});
  const int rows = view.outputList().RowCount();
  ASSERT_TRUE(view.RunCommand(ids::kCmdSetRadioType));
  EXPECT_EQ(view.outputList().RowCount(), rows);
}

TEST_F(RadioChannelTest, SameChannelOnStations) {
  CQeltaConfigView& view = StartForm();
  StartStations({{}, {}, {.tcpRefused = true}, {}, {}});

  // Nothing selected: the message and no dialog.
  Select({});
  ASSERT_TRUE(view.RunCommand(ids::kCmdSameChannel));
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].text, "No base stations");
  EXPECT_EQ(ui.Messages()[0].caption, "Error");
  EXPECT_TRUE(ui.Dialogs().empty());

  host.SetSilent(1, true);
  MakeDeaf(4);
  Select({0, 1, 2, 3, 4});
  ui.QueueDialogAnswer("CBSChannelDlg", Answer("channel", "5"));
  const int before = view.outputList().RowCount();
  ASSERT_TRUE(view.RunCommand(ids::kCmdSameChannel));
  EXPECT_EQ(ui.Dialogs().at(0).finalState.Value(qelta::kChannelField), "5");
  EXPECT_EQ(StationByte(0, 13), 5);
  EXPECT_EQ(StationByte(1, 13), 3);
  EXPECT_EQ(StationByte(2, 13), 3);
  EXPECT_EQ(StationByte(3, 13), 5);
  EXPECT_EQ(StationResets(0, 1), 1u);
  EXPECT_EQ(StationResets(3, 1), 1u);
  EXPECT_EQ(Rows(before), (std::vector<std::string>{
                              "Connect|127.0.0.2|3",
                              "Channel is set|127.0.0.2|1",
                              "Connect|127.0.0.4|3",
                              "Connect error|127.0.0.4|0",
                              "Connect|127.0.0.5|3",
                              "Channel is set|127.0.0.5|1",
                              "Connect|127.0.0.6|3",
                              "Channel set error -1.|127.0.0.6|0",
                              "Address: 127.0.0.3|No answer (channel setup)|5",
                          }));

  // Cancel in the dialog: no station is touched.
  ui.QueueDialogAnswer("CBSChannelDlg", Answer("channel", "2", false));
  ASSERT_TRUE(view.RunCommand(ids::kCmdSameChannel));
  EXPECT_EQ(StationByte(0, 13), 5);
}

TEST_F(RadioChannelTest, ChannelOfOneStation) {
  CQeltaConfigView& view = StartForm();
  StartStations({{.channel = 3}, {.tunnelHeld = true}});
  OutputList& list = view.outputList();

  Select({0});
  const int row = list.SelectionMark();
  ui.QueueDialogAnswer("CBSChannelDlg", Answer("channel", "6"));
  ASSERT_TRUE(view.RunCommand(ids::kCmdChannel));
  EXPECT_EQ(ui.Dialogs().at(0).finalState.name, "CBSChannelDlg");
  EXPECT_EQ(StationByte(0, 13), 6);
  EXPECT_EQ(StationResets(0, 1), 1u);
  EXPECT_EQ(list.Row(row).text[2], "Channel: 6");

  // The dialog starts from the station's channel; Cancel writes nothing.
  ASSERT_TRUE(view.RunCommand(ids::kCmdChannel));
  EXPECT_EQ(ui.Dialogs().at(1).finalState.Value(qelta::kChannelField), "6");
  EXPECT_EQ(list.Row(row).text[2], "");
  EXPECT_EQ(StationResets(0, 2), 1u);

  // A station whose tunnel is busy leaves the table and the list.
  Select({1});
  ASSERT_NE(view.selectedBaseStation, nullptr);
  ASSERT_TRUE(view.RunCommand(ids::kCmdChannel));
  EXPECT_EQ(Rows(), std::vector<std::string>{"Connect error|Port 2101 @ 127.0.0.3, error 2.|0"});
  EXPECT_FALSE(view.listShowsBaseStations);
}

}  // namespace
}  // namespace devops_test
