// Commands of the main form: the browser and "Web", opening a configuration file, the about box,
// command routing, the COM device mapping, the output list and the session log.
#include <fstream>

#include "FormTestSupport.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class MainFormCommandsTest : public FormTest {
 protected:
  // Stand-ins for two base station records; the form only passes their addresses around.
  alignas(16) unsigned char station1[32]{};
  alignas(16) unsigned char station2[32]{};
  BaseStationRecord* Rec1() { return reinterpret_cast<BaseStationRecord*>(station1); }
  BaseStationRecord* Rec2() { return reinterpret_cast<BaseStationRecord*>(station2); }

  FormHooks StationHooks() {
    FormHooks hooks;
    hooks.addressTextOf = [this](const BaseStationRecord& r) -> std::string {
      return &r == Rec1() ? "10.0.0.7" : "10.0.0.8";
    };
    return hooks;
  }
  // Two base station rows and one output row; row `selected` alone is selected.
  void FillList(CQeltaConfigView& f) {
    f.outputList().AddRow("Base station", "10.0.0.7", ids::kImageBaseStation, Rec1());
    f.outputList().AddRow("Base station", "10.0.0.8", ids::kImageBaseStation, Rec2());
    f.AddOutputRow("Ready", "", ids::kImageInfo);
  }
};

TEST_F(MainFormCommandsTest, BrowserCommandIsTheHandlersProgramWithoutQuotesOrFieldCodes) {
  browser.answer = {0, 0, "  \"/opt/My Browser/Browser.BIN\" --new-window %u"};
  CQeltaConfigView& f = Start();
  EXPECT_EQ(f.browserCommand, "/opt/My Browser/Browser.BIN");
  EXPECT_THAT(f.browserArgs, ElementsAre("--new-window"));
  EXPECT_THAT(MessageTexts(), IsEmpty());
}

TEST_F(MainFormCommandsTest, MissingOrUnreadableHandlerGivesItsMessage) {
  browser.answer = {ENOENT, 0, ""};
  CQeltaConfigView& f = Start();
  ASSERT_FALSE(ui.Messages().empty());
  EXPECT_EQ(ui.Messages()[0].text, "Default browser open error: 2, 2");
  EXPECT_EQ(ui.Messages()[0].caption, "Error");
  EXPECT_EQ(f.browserCommand, "");

  ui.ClearRecords();
  browser.answer = {0, ENODATA, ""};
  CQeltaConfigView& g = Start();
  ASSERT_FALSE(ui.Messages().empty());
  EXPECT_EQ(ui.Messages()[0].text, "Default string value query error: " + std::to_string(ENODATA) +
                                       ", " + std::to_string(ENODATA));
  EXPECT_EQ(g.browserCommand, CQeltaConfigView::kBrowserFallback);

  // A command that does not fit its 1000-byte buffer cannot be read either.
  ui.ClearRecords();
  browser.answer = {0, 0, "/usr/bin/" + std::string(995, 'b')};
  CQeltaConfigView& h = Start();
  ASSERT_FALSE(ui.Messages().empty());
  EXPECT_THAT(ui.Messages()[0].text, HasSubstr("Default string value query error"));
  EXPECT_EQ(h.browserCommand, CQeltaConfigView::kBrowserFallback);
}

TEST_F(MainFormCommandsTest, WebStartsTheBrowserOnTheOneSelectedStation) {
  browser.answer = {0, 0, "\"/usr/bin/Firefox\" -new-tab %u"};
  CQeltaConfigView& f = Start(StationHooks());
  FillList(f);
  f.outputList().SelectOnly(1);
  EXPECT_TRUE(f.RunCommand(ids::kCmdWeb));
  ASSERT_EQ(ui.Processes().size(), 1u);
  EXPECT_THAT(ui.Processes()[0].argv,
              ElementsAre("/usr/bin/Firefox", "-new-tab", "http://10.0.0.8"));
  EXPECT_EQ(ui.Processes()[0].workingDir, "/");
  EXPECT_THAT(MessageTexts(), IsEmpty());
}

TEST_F(MainFormCommandsTest, WebDoesNothingWithoutExactlyOneStationRowSelected) {
  CQeltaConfigView& f = Start(StationHooks());
  FillList(f);
  f.RunCommand(ids::kCmdWeb);  // nothing selected
  f.outputList().SetSelected(0, true);
  f.outputList().SetSelected(1, true);
  f.RunCommand(ids::kCmdWeb);  // two rows
  f.outputList().SelectOnly(2);
  f.RunCommand(ids::kCmdWeb);  // an output row
  EXPECT_TRUE(ui.Processes().empty());
  EXPECT_THAT(MessageTexts(), IsEmpty());
}

TEST_F(MainFormCommandsTest, WebWithoutBrowserAsksAndDoesNothingEitherWay) {
  browser.answer = {ENOENT, 0, ""};
  CQeltaConfigView& f = Start(StationHooks());
  FillList(f);
  f.outputList().SelectOnly(0);
  ui.ClearRecords();
  ui.QueueMessageAnswer(qelta::MessageAnswer::Ok);
  f.OpenWebPage();
  f.OpenWebPage();
  ASSERT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(ui.Messages()[0].text,
            "It appears that the default web browser was not found.\nDo you wish to look for it?");
  EXPECT_EQ(ui.Messages()[0].caption, "Browser");
  EXPECT_EQ(ui.Messages()[0].buttons, qelta::MessageButtons::OkCancel);
  EXPECT_EQ(ui.Messages()[0].icon, qelta::MessageIcon::Question);
  EXPECT_TRUE(ui.Processes().empty());
}

TEST_F(MainFormCommandsTest, BrowserThatCannotStartIsReported) {
  browser.answer = {0, 0, "/no/such/browser %U"};
  CQeltaConfigView& f = Start(StationHooks());
  FillList(f);
  f.outputList().SelectOnly(0);
  ui.SetProcessLauncher(qelta::SpawnDetached);  // a real attempt: the program does not exist
  f.OpenWebPage();
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].text, "Process creation error " + std::to_string(ENOENT) +
                                       ":\n /no/such/browser /no/such/browser http://10.0.0.7");
  EXPECT_EQ(ui.Messages()[0].caption, "Error");
}

TEST_F(MainFormCommandsTest, OpeningAConfigurationFileEnablesSetAndEditAndCancelChangesNothing) {
  CQeltaConfigView& f = Start();
  f.RunCommand(ids::kCmdOpenConfigFile);  // cancelled
  ASSERT_EQ(ui.FileDialogs().size(), 1u);
  EXPECT_EQ(ui.FileDialogs()[0].initialName, "*.pcg");
  EXPECT_EQ(ui.FileDialogs()[0].defaultExt, "pcg");
  EXPECT_EQ(ui.FileDialogs()[0].filter, "QeltaC Files (*.pcg)");
  EXPECT_TRUE(ui.FileDialogs()[0].hideReadOnly);
  EXPECT_FALSE(ui.FileDialogs()[0].save);
  EXPECT_FALSE(f.controls().Enabled(ids::kSetConfigButton));
  EXPECT_EQ(f.configFilePath, "");
  EXPECT_EQ(f.WindowTitle(), "QeltaConfig - Untitled");

  ui.QueueFileDialogResult(root + "/files/terminal.pcg");
  f.RunCommand(ids::kCmdOpenConfigFile);
  EXPECT_EQ(f.configFilePath, root + "/files/terminal.pcg");
  EXPECT_EQ(f.controls().Text(ids::kFileNameLabel), "terminal.pcg");
  EXPECT_EQ(f.WindowTitle(), "QeltaConfig - " + root + "/files/terminal.pcg");
  EXPECT_TRUE(f.controls().Enabled(ids::kSetConfigButton));
  EXPECT_TRUE(f.controls().Enabled(ids::kEditWithNotepadButton));

  // A later Cancel keeps the file and the enabled buttons.
  f.RunCommand(ids::kCmdOpenConfigFile);
  EXPECT_EQ(f.configFilePath, root + "/files/terminal.pcg");
  EXPECT_TRUE(f.controls().Enabled(ids::kSetConfigButton));
}

TEST_F(MainFormCommandsTest, ADocumentFromTheCommandLineOnlyChangesTheTitle) {
  CQeltaConfigView& f = Start();
  f.OpenDocument("/tmp/x.pcg");
  EXPECT_EQ(f.WindowTitle(), "QeltaConfig - /tmp/x.pcg");
  EXPECT_EQ(f.configFilePath, "");
  EXPECT_FALSE(f.controls().Enabled(ids::kSetConfigButton));
}

TEST_F(MainFormCommandsTest, AboutShowsTheVersionAndCloseAsksNothing) {
  CQeltaConfigView& f = Start();
  EXPECT_TRUE(f.RunCommand(ids::kCmdAbout));
  ASSERT_EQ(ui.Dialogs().size(), 1u);
  EXPECT_EQ(ui.Dialogs()[0].name, "CAboutDlg");
  EXPECT_EQ(ui.Dialogs()[0].finalState.title, "About QeltaConfig");
  EXPECT_EQ(ui.Dialogs()[0].finalState.fields.at(0).value, "QeltaConfig Version 2.3.0");
  EXPECT_FALSE(f.closeRequested());
  EXPECT_TRUE(f.RunCommand(ids::kCloseButton));
  EXPECT_TRUE(f.closeRequested());
  EXPECT_THAT(MessageTexts(), IsEmpty());
}

TEST_F(MainFormCommandsTest, CommandsAndChangeHandlersAreRoutedById) {
  CQeltaConfigView& f = Start();
  EXPECT_FALSE(f.RunCommand(4242));
  int runs = 0;
  f.SetCommandHandler(4242, [&] { ++runs; });
  EXPECT_TRUE(f.RunCommand(4242));
  EXPECT_EQ(runs, 1);
  f.SetCommandHandler(4242, nullptr);
  EXPECT_FALSE(f.RunCommand(4242));

  std::vector<std::string> seen;
  f.SetChangeHandler(ids::kCommIdField,
                     [&] { seen.push_back(f.controls().Text(ids::kCommIdField)); });
  f.OnControlEdited(ids::kCommIdField, "123");
  f.SetControlText(ids::kCommIdField, "123");  // an edit field reports every setting
  EXPECT_THAT(seen, ElementsAre("123", "123"));

  // A handler installed before initialisation sees the comm ID put into the field.
  FormEnvironment env = Env();
  CQeltaConfigView g(ui, env);
  std::string atInit;
  g.SetChangeHandler(ids::kCommIdField, [&] {
    atInit = g.controls().Text(ids::kCommIdField) + "/" + std::to_string(g.formReady);
  });
  g.InitialiseForm();
  EXPECT_EQ(atInit, "10000/1");
}

TEST_F(MainFormCommandsTest, ComDeviceMappingIsStoredAndHandedToTheLink) {
  unsetenv("HALVEX_COM3");
  CQeltaConfigView& f = Start();
  ASSERT_EQ(f.SetComDevice(3, root + "/pty-3"), 0);
  EXPECT_EQ(Text("ComDevice3"), root + "/pty-3");
  EXPECT_EQ(f.link().ResolveComPort(3), root + "/pty-3");
  CQeltaConfigView& g = Start();
  EXPECT_EQ(g.link().ResolveComPort(3), root + "/pty-3");
  ASSERT_EQ(g.SetComDevice(3, ""), 0);
  EXPECT_FALSE(Text("ComDevice3"));
  EXPECT_EQ(g.link().ResolveComPort(3), "/dev/ttyS2");
  EXPECT_EQ(g.SetComDevice(0, "/dev/x"), EINVAL);
}

TEST_F(MainFormCommandsTest, RowsAreAddedLoggedAndRepainted) {
  CQeltaConfigView& f = Start();
  int paintsBefore = ui.KeepPaintingCalls();
  int r = f.AddOutputRow("Open COM1", "", ids::kImageStep);
  f.AddOutputRow("Cannot write ID!", "x\ty", ids::kImageFailure);
  f.outputList().SetText(r, 2, "done");
  EXPECT_EQ(ui.KeepPaintingCalls(), paintsBefore + 2);
  ASSERT_EQ(f.outputList().RowCount(), 2);
  EXPECT_EQ(f.outputList().Row(0).item, nullptr);
  EXPECT_EQ(f.outputList().Row(1).text[1], "x\ty");

  std::ifstream in(root + "/bin/QeltaConfig.log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u);
  auto tail = [](const std::string& l) { return l.substr(l.find('\t') + 1); };
  EXPECT_EQ(tail(lines[0]), "2\tOpen COM1\t\t");
  EXPECT_EQ(tail(lines[1]), "0\tCannot write ID!\tx y\t");
  EXPECT_EQ(tail(lines[2]), "2\tOpen COM1\t\tdone");
  EXPECT_EQ(lines[0].find('\t'), 19u);  // "YYYY-MM-DD hh:mm:ss"
}

TEST(OutputListTest, SelectionMarkAndNotificationsFollowTheRows) {
  OutputList list;
  std::vector<OutputListChange::Kind> kinds;
  list.AddListener([&](const OutputList&, const OutputListChange& c) { kinds.push_back(c.kind); });
  list.AddRow("a", "", 2);
  list.AddRow("b", "", 2);
  EXPECT_EQ(list.SelectionMark(), -1);
  list.SetSelected(1, true);
  EXPECT_EQ(list.SelectionMark(), 1);
  EXPECT_FALSE(list.SetText(5, 0, "x"));
  EXPECT_FALSE(list.SetText(0, 3, "x"));
  EXPECT_TRUE(list.SetText(0, 1, "v"));
  list.SelectOnly(0);
  EXPECT_EQ(list.SelectedRows(), std::vector<int>{0});
  list.DeleteAllRows();
  EXPECT_EQ(list.RowCount(), 0);
  EXPECT_EQ(list.SelectionMark(), -1);
  EXPECT_THAT(kinds, ElementsAre(OutputListChange::RowAdded, OutputListChange::RowAdded,
                                 OutputListChange::SelectionChanged, OutputListChange::TextChanged,
                                 OutputListChange::SelectionChanged,
                                 OutputListChange::SelectionChanged, OutputListChange::Cleared));
}

TEST(OutputListTest, RowsTakeTheKindTheirImageImpliesUnlessTheirMakerNamesOne) {
  using qelta::RowKind;
  struct Case {
    int image;
    RowKind implied;
  };
  const Case cases[] = {{0, RowKind::Failure},     {1, RowKind::Success},     {2, RowKind::Step},
                        {3, RowKind::Information}, {4, RowKind::Information}, {5, RowKind::Failure},
                        {-1, RowKind::Step}};
  OutputList list;
  for (const Case& c : cases) {
    const int row = list.AddRow("r", "", c.image);
    EXPECT_EQ(list.Row(row).kind, c.implied) << c.image;
  }
  const int warning = list.AddRow("Warning! x", "", 0, RowKind::Warning);
  EXPECT_EQ(list.Row(warning).kind, RowKind::Warning);
  EXPECT_EQ(list.Row(warning).image, 0);

  // A progress row that ends in failure changes its kind with its image, and is announced.
  const int progress = list.AddRow("Logging in.", "", 2);
  int announced = 0;
  list.AddListener([&](const OutputList&, const OutputListChange& c) {
    announced += c.kind == OutputListChange::ImageChanged;
  });
  list.SetImage(progress, 0);
  EXPECT_EQ(list.Row(progress).kind, RowKind::Failure);
  list.SetImage(progress, 0, RowKind::Warning);  // same image, other kind: still a change
  EXPECT_EQ(list.Row(progress).kind, RowKind::Warning);
  EXPECT_EQ(announced, 2);
}

}  // namespace
