// Comm IDs end to end: the serial device (both memory layouts, the failures), the next-comm-ID
// button, and numbering base stations behind simulated modules, with the wrap question.
#include <gtest/gtest.h>

#include "DevopsTestSupport.h"
#include "app/CommIdAssignment.h"

namespace devops_test {
namespace {

using qelta::MessageAnswer;

class CommIdTest : public DevopsFormTest {};

uint16_t CommIdAt(const std::vector<uint8_t>& memory) {
  return static_cast<uint16_t>(memory[1] << 8 | memory[2]);
}

TEST(CommIdText, FirstLineNumberAndRangeDialog) {
  EXPECT_EQ(qelta::FirstLineNumber(""), 0u);
  EXPECT_EQ(qelta::FirstLineNumber("12345"), 12345u);
  EXPECT_EQ(qelta::FirstLineNumber("70000\n5"), 70000u);
  EXPECT_EQ(qelta::FirstLineNumber("42abc"), 42u);

  qelta::DialogModel dialog = qelta::MultiCommIdDialog(65534);
  EXPECT_EQ(dialog.name, "CMultiCommIdDlg");
  EXPECT_EQ(dialog.Value(qelta::kMultiCommIdStartField), "65534");
  const std::string prompt = "Please enter an integer between 0 and 65535.";
  for (const char* bad : {"-1", "65536", "", "1x", "99999999999999999999"}) {
    dialog.SetValue(qelta::kMultiCommIdStartField, bad);
    EXPECT_EQ(dialog.Validate(), prompt) << bad;
  }
  for (const char* good : {"0", "65535", " 17 "}) {
    dialog.SetValue(qelta::kMultiCommIdStartField, good);
    EXPECT_EQ(dialog.Validate(), "") << good;
  }
}

TEST_F(CommIdTest, SerialBaseStationWrapsTheNextCommIdAndOffersOne) {
  Preset("UIService", 1);
  CQeltaConfigView& view = StartForm();
  qelta::sim::SimDevice& device = StartSerialDevice(qelta::sim::kTypeBaseStation);
  view.SetControlText(ids::kCommIdField, "65535");
  EXPECT_EQ(view.controls().Text(ids::kNextCommIdButton), "1");  // not 0

  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  EXPECT_EQ(device.Page(0)[1], 0xFF);
  EXPECT_EQ(device.Page(0)[2], 0xFF);
  EXPECT_EQ(device.Activity().resets, 1u);
  EXPECT_EQ(view.eepromPage, 0);
  EXPECT_EQ(Stored("CommID"), 0u);
  EXPECT_EQ(view.controls().Text(ids::kCommIdField), "0");
  EXPECT_EQ(view.controls().Text(ids::kNextCommIdButton), "1");
  EXPECT_TRUE(view.controls().Visible(ids::kNextCommIdButton));
  // The device report follows the write (it replaces the rows with the device's information).
  ASSERT_FALSE(Rows().empty());
  EXPECT_EQ(Rows().front(), "Comm ID|1234|3");
  EXPECT_EQ(ui.Beeps(), 0);
}

TEST_F(CommIdTest, SerialHandTerminalTakesTheIdInPage2AndTheButtonWritesTheNext) {
  Preset("UIService", 1);
  CQeltaConfigView& view = StartForm();
  qelta::sim::SimDevice& device = StartSerialDevice(qelta::sim::kTypeHandTerminal);
  view.SetControlText(ids::kCommIdField, "4659");
  ASSERT_EQ(view.controls().Text(ids::kNextCommIdButton), "4660");

  // Button 1030 writes the number it shows: 4660 = 0x1234.
  ASSERT_TRUE(view.RunCommand(ids::kNextCommIdButton));
  EXPECT_EQ(device.Extended()[1], 0x12);
  EXPECT_EQ(device.Extended()[2], 0x34);
  EXPECT_EQ(view.eepromPage, 2);
  EXPECT_EQ(Stored("CommID"), 4661u);
  EXPECT_EQ(view.controls().Text(ids::kNextCommIdButton), "4662");
}

TEST_F(CommIdTest, SerialFailuresKeepTheNextCommId) {
  Preset("UIService", 1);
  CQeltaConfigView& view = StartForm();
  ASSERT_EQ(Stored("CommID"), 10000u);
  ASSERT_EQ(view.controls().Text(ids::kCommIdField), "10000");

  // No such port.
  ASSERT_EQ(view.SetComDevice(1, root + "/no-such-tty"), 0);
  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  EXPECT_EQ(Rows(), std::vector<std::string>{"Cannot open COM1||0"});
  EXPECT_EQ(ui.Beeps(), 1);

  // A device that is neither type 8 nor 9.
  view.outputList().DeleteAllRows();
  StartSerialDevice(5);
  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  EXPECT_EQ(Rows(), std::vector<std::string>{"Cannot ge device on COM1||0"});
  EXPECT_EQ(ui.Beeps(), 2);
  EXPECT_EQ(device->Page(0)[1], 0xFF);  // erased, untouched

  // A device that answers who it is and then drops the line: the write fails.
  view.outputList().DeleteAllRows();
  runner.reset();
  qelta::sim::SimDevice& dropping = StartSerialDevice(qelta::sim::kTypeBaseStation);
  qelta::sim::FaultKnobs faults;
  faults.drop_after_frames = 1;
  dropping.SetFaults(faults);
  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Open COM1||2", "Searching Qelta device..||2",
                                              "Cannot write ID!||0"}));
  EXPECT_EQ(ui.Beeps(), 3);
  EXPECT_EQ(dropping.Activity().resets, 0u);

  EXPECT_EQ(Stored("CommID"), 10000u);
  EXPECT_EQ(view.controls().Text(ids::kCommIdField), "10000");
}

TEST_F(CommIdTest, NextCommIdButtonFollowsTheFieldInServiceModeOnly) {
  Preset("UIService", 1);
  CQeltaConfigView& view = StartForm();
  const ControlModel& c = view.controls();
  EXPECT_EQ(c.Text(ids::kNextCommIdButton), "10001");  // filled at initialisation
  view.OnControlEdited(ids::kCommIdField, "41");
  EXPECT_EQ(c.Text(ids::kNextCommIdButton), "42");
  view.OnControlEdited(ids::kCommIdField, "70000");
  EXPECT_EQ(c.Text(ids::kNextCommIdButton), "1");
  view.OnControlEdited(ids::kCommIdField, "");
  EXPECT_FALSE(c.Visible(ids::kNextCommIdButton));
  EXPECT_FALSE(c.Visible(ids::kNextCommIdLabel));
  view.OnControlEdited(ids::kCommIdField, "7");
  EXPECT_TRUE(c.Visible(ids::kNextCommIdButton));
  EXPECT_TRUE(c.Visible(ids::kNextCommIdLabel));
  EXPECT_EQ(c.Text(ids::kNextCommIdButton), "8");
}

TEST_F(CommIdTest, ProductionModeWithoutServiceShowsAnEmptyButtonThatWritesNothing) {
  Preset("UIProduction", 1);
  CQeltaConfigView& view = StartForm();
  EXPECT_TRUE(view.controls().Visible(ids::kNextCommIdButton));
  EXPECT_EQ(view.controls().Text(ids::kNextCommIdButton), "");
  ASSERT_TRUE(view.RunCommand(ids::kNextCommIdButton));
  EXPECT_EQ(view.outputList().RowCount(), 0);
  EXPECT_EQ(view.controls().Text(ids::kCommIdField), "10000");
}

TEST_F(CommIdTest, FourStationsOneSilentOneRefusing) {
  Preset("UIService", 1);
  CQeltaConfigView& view = StartForm();
  StartStations({{}, {}, {.tcpRefused = true}, {}});
  host.SetSilent(1, true);
  Select({0, 1, 2, 3});
  view.SetControlText(ids::kCommIdField, "20000");
  ui.QueueDialogAnswer("CMultiCommIdDlg", Answer("", ""));
  const int before = view.outputList().RowCount();

  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  ASSERT_EQ(ui.Dialogs().size(), 1u);
  EXPECT_EQ(ui.Dialogs()[0].finalState.Value(qelta::kMultiCommIdStartField), "20000");
  EXPECT_TRUE(ui.Messages().empty());  // 20000 + 4 does not wrap
  EXPECT_EQ(CommIdAt(stations[0]->Page(0)), 20000);
  EXPECT_EQ(CommIdAt(stations[1]->Page(0)), 7);  // untouched
  EXPECT_EQ(CommIdAt(stations[2]->Page(0)), 7);
  EXPECT_EQ(CommIdAt(stations[3]->Page(0)), 20002);  // 20001 went to the refusing station
  EXPECT_EQ(Rows(before), (std::vector<std::string>{
                              "New CommID @ 127.0.0.2|Comm ID: 20000|1",
                              "Connect error|127.0.0.4|0",
                              "New CommID @ 127.0.0.5|Comm ID: 20002|1",
                              "Address: 127.0.0.3|No answer |5",
                          }));
  EXPECT_EQ(Stored("CommID"), 20003u);
  EXPECT_EQ(view.controls().Text(ids::kCommIdField), "20003");
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(StationResets(i), 0u) << i;
  EXPECT_TRUE(view.listShowsBaseStations);
}

TEST_F(CommIdTest, StationThatDoesNotAnswerTheWriteUsesUpItsId) {
  Preset("UIService", 1);
  CQeltaConfigView& view = StartForm();
  StartStations({{}, {}, {}});
  MakeDeaf(1);
  Select({0, 1, 2});
  ui.QueueDialogAnswer("CMultiCommIdDlg", Answer("start", "500"));
  const int before = view.outputList().RowCount();
  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  EXPECT_EQ(Rows(before), (std::vector<std::string>{
                              "New CommID @ 127.0.0.2|Comm ID: 500|1",
                              "Cannot set CommID @ 127.0.0.3|Comm ID: 501|0",
                              "New CommID @ 127.0.0.4|Comm ID: 502|1",
                          }));
  EXPECT_EQ(CommIdAt(stations[2]->Page(0)), 502);
  EXPECT_EQ(Stored("CommID"), 503u);
}

TEST_F(CommIdTest, WrapQuestionAndCancelledRange) {
  Preset("UIService", 1);
  CQeltaConfigView& view = StartForm();
  StartStations({{}, {}, {}});
  OutputList& list = view.outputList();

  // Three stations from 65534: the question; Cancel changes no station but keeps the start.
  Select({0, 1, 2});
  ui.QueueDialogAnswer("CMultiCommIdDlg", Answer("start", "65534"));
  ui.QueueMessageAnswer(MessageAnswer::Cancel);
  int rows = list.RowCount();
  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].text,
            "It seems that the comm ID wraps from 65535 to 0.\nDo you wish to continue?");
  EXPECT_EQ(ui.Messages()[0].caption, "Verify wrap");
  EXPECT_EQ(list.RowCount(), rows);
  EXPECT_EQ(CommIdAt(stations[0]->Page(0)), 7);
  EXPECT_EQ(Stored("CommID"), 65534u);

  // OK: 65534, 65535, 0, and 1 is next.
  ui.QueueDialogAnswer("CMultiCommIdDlg", Answer("", ""));
  ui.QueueMessageAnswer(MessageAnswer::Ok);
  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  ASSERT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(CommIdAt(stations[0]->Page(0)), 65534);
  EXPECT_EQ(CommIdAt(stations[1]->Page(0)), 65535);
  EXPECT_EQ(CommIdAt(stations[2]->Page(0)), 0);
  EXPECT_EQ(Stored("CommID"), 1u);

  // Two stations from 65534 fit, yet the question comes.
  Select({0, 1});
  ui.QueueDialogAnswer("CMultiCommIdDlg", Answer("start", "65534"));
  ui.QueueMessageAnswer(MessageAnswer::Ok);
  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  EXPECT_EQ(ui.Messages().size(), 3u);
  EXPECT_EQ(CommIdAt(stations[1]->Page(0)), 65535);
  EXPECT_EQ(Stored("CommID"), 0u);

  // One station at 65535: no question.
  Select({2});
  view.SetControlText(ids::kCommIdField, "12");
  ui.QueueDialogAnswer("CMultiCommIdDlg", Answer("start", "65535"));
  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  EXPECT_EQ(ui.Messages().size(), 3u);
  EXPECT_EQ(CommIdAt(stations[2]->Page(0)), 65535);
  EXPECT_EQ(Stored("CommID"), 0u);

  // Cancel after typing 20000: the field's value before the dialog stays.
  view.SetControlText(ids::kCommIdField, "300");
  Select({0, 1});
  ui.QueueDialogAnswer("CMultiCommIdDlg", Answer("start", "20000", false));
  rows = list.RowCount();
  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  EXPECT_EQ(Stored("CommID"), 300u);
  EXPECT_EQ(view.controls().Text(ids::kCommIdField), "300");
  EXPECT_EQ(list.RowCount(), rows);

  // Nothing selected: no dialog, nothing stored.
  Select({});
  view.SetControlText(ids::kCommIdField, "400");
  const size_t dialogs = ui.Dialogs().size();
  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  EXPECT_EQ(ui.Dialogs().size(), dialogs);
  EXPECT_EQ(Stored("CommID"), 300u);
}

TEST_F(CommIdTest, SingleKnownStationMustAnswerFirst) {
  Preset("UIService", 1);
  CQeltaConfigView& view = StartForm();
  StartStations({{}});
  Select({0});
  ASSERT_NE(view.selectedBaseStation, nullptr);
  host.SetSilent(0, true);
  ASSERT_TRUE(view.RunCommand(ids::kSetNewCommIdButton));
  EXPECT_TRUE(ui.Dialogs().empty());
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].caption, "Connection lost");
  EXPECT_EQ(Stored("CommID"), 10000u);
}

}  // namespace
}  // namespace devops_test
