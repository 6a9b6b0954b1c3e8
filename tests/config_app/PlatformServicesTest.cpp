// The platform services behind the form: working folder, process start, desktop entries, and the
// scripted port's dialog handling.
#include "FormTestSupport.h"
#include "core/WorkingFolder.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class WorkingFolderTest : public FormTest {};

TEST_F(WorkingFolderTest, AWritableProgramFolderIsUsedAsItIs) {
  WorkingFolderPlan plan;
  plan.exePath = root + "/bin/qeltaconfig";
  EXPECT_EQ(ChooseWorkingFolder(files, plan), root + "/bin/");
}

TEST_F(WorkingFolderTest, AReadOnlyProgramFolderFallsBackToTheSeededDataFolder) {
  struct ReadOnlyExeDir : FaultyFiles {
    std::string exeDir;
    bool IsWritableDir(const std::string& dir) override {
      return dir != exeDir && FaultyFiles::IsWritableDir(dir);
    }
  } ro;
  ro.exeDir = root + "/bin/";
  std::filesystem::create_directories(root + "/share/qeltaconfig");
  std::ofstream(root + "/share/qeltaconfig/RFDeviceInfo.txt") << "installed";
  std::ofstream(root + "/share/qeltaconfig/HT_parameters_to_get.cfg") << "installed";
  std::filesystem::create_directories(root + "/data/QeltaConfig");
  std::ofstream(root + "/data/QeltaConfig/RFDeviceInfo.txt") << "mine";

  WorkingFolderPlan plan;
  plan.exePath = root + "/bin/qeltaconfig";
  plan.dataHome = root + "/data";
  plan.installedDataDir = root + "/share/qeltaconfig";
  EXPECT_EQ(ChooseWorkingFolder(ro, plan), root + "/data/QeltaConfig/");
  std::string text;
  ASSERT_EQ(ro.ReadFile(root + "/data/QeltaConfig/HT_parameters_to_get.cfg", text, 100), 0);
  EXPECT_EQ(text, "installed");
  // The user's own copy is not overwritten.
  ASSERT_EQ(ro.ReadFile(root + "/data/QeltaConfig/RFDeviceInfo.txt", text, 100), 0);
  EXPECT_EQ(text, "mine");
}

// Run as root, every folder is writable: only a build tree is the working folder, an installed
// program's folder never is.
TEST_F(WorkingFolderTest, AnInstalledProgramNeverWritesBesideItselfNotEvenAsRoot) {
  struct AsRoot : FaultyFiles {
    bool IsWritableDir(const std::string&) override { return true; }
  } files;
  struct Case {
    const char* name;
    std::string exePath;
    bool dataBeside;  // <exe folder>/../share/qeltaconfig holds the installed data
    bool buildTree;   // the exe folder is the working folder
  };
  const Case cases[] = {
      {"build tree", root + "/build/bin/qeltaconfig-cli", false, true},
      {"installed under a prefix", root + "/opt/bin/qeltaconfig-cli", true, false},
      {"installed in /usr/bin", "/usr/bin/qeltaconfig-cli", false, false},
      {"installed in /usr/local/bin", "/usr/local/bin/qeltaconfig", false, false},
      {"installed in /bin", "/bin/qeltaconfig-cli", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string exeDir = FolderOf(c.exePath);
    std::filesystem::create_directories(root + "/data");
    WorkingFolderPlan plan;
    plan.exePath = c.exePath;
    plan.dataHome = root + "/data";
    if (c.exePath.rfind(root, 0) == 0) {
      std::filesystem::create_directories(exeDir);
      if (c.dataBeside) {
        std::filesystem::create_directories(exeDir + "../share/qeltaconfig");
        std::ofstream(exeDir + "../share/qeltaconfig/RFDeviceInfo.txt") << "installed";
      }
    } else {
      plan.installedDataDir = root + "/share/none";  // the system folder alone decides
    }
    EXPECT_EQ(ChooseWorkingFolder(files, plan), c.buildTree ? exeDir : root + "/data/QeltaConfig/");
    if (c.dataBeside) {
      std::string text;
      EXPECT_EQ(files.ReadFile(root + "/data/QeltaConfig/RFDeviceInfo.txt", text, 100), 0);
      EXPECT_EQ(text, "installed");
    }
    std::filesystem::remove_all(root + "/data");
  }
}

TEST(ProcessStartTest, StartsWithoutShellAndReportsAProgramThatCannotRun) {
  qelta::ProcessRequest ok{{"true"}, "/"};
  EXPECT_EQ(qelta::SpawnDetached(ok), 0);
  // Shell syntax is not interpreted: the whole text is one program name.
  qelta::ProcessRequest shell{{"true; false"}, ""};
  EXPECT_EQ(qelta::SpawnDetached(shell), ENOENT);
  qelta::ProcessRequest badDir{{"true"}, "/no/such/folder"};
  EXPECT_EQ(qelta::SpawnDetached(badDir), ENOENT);
  EXPECT_EQ(qelta::SpawnDetached({}), ENOENT);
}

TEST(ProcessStartTest, TheStartedProgramGetsItsArgumentsAndFolder) {
  std::string templ = (std::filesystem::temp_directory_path() / "qelta-spawn-XXXXXX").string();
  ASSERT_NE(mkdtemp(templ.data()), nullptr);
  std::string out = templ + "/out";
  qelta::ProcessRequest req{{"sh", "-c", "pwd > \"$0\"; echo \"$1\" >> \"$0\"", out, "a b"}, templ};
  ASSERT_EQ(qelta::SpawnDetached(req), 0);
  // Not waited for: poll for its output.
  std::string text;
  for (int i = 0; i < 200 && text.find('\n', text.find('\n') + 1) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(out);
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  EXPECT_EQ(text, templ + "\na b\n");
  std::filesystem::remove_all(templ);
}

TEST(DesktopEntryTest, ExecLinesSplitLikeTheLauncherDoes) {
  EXPECT_THAT(SplitExecLine("firefox %u"), ElementsAre("firefox"));
  EXPECT_THAT(SplitExecLine("  \"/opt/A B/b\" --x \"quoted \\\"arg\\\"\" %U"),
              ElementsAre("/opt/A B/b", "--x", "quoted \"arg\""));
  EXPECT_THAT(SplitExecLine("env A=1 browser --p=100%% %F"),
              ElementsAre("env", "A=1", "browser", "--p=100%"));
  EXPECT_THAT(SplitExecLine("   "), IsEmpty());
  EXPECT_THAT(SplitExecLine("\"unterminated"), ElementsAre("unterminated"));
}

TEST(DesktopEntryTest, OnlyTheDesktopEntryGroupsExecCounts) {
  const std::string file =
      "[Desktop Action new]\nExec=wrong --new\n"
      "[Desktop Entry]\nName=Browser\n  Exec = /usr/bin/browser %u \n";
  EXPECT_EQ(DesktopEntryExec(file), "/usr/bin/browser %u");
  EXPECT_EQ(DesktopEntryExec("[Desktop Entry]\nName=x\n"), "");
  EXPECT_EQ(DesktopEntryExec(std::string("\0\xff[", 3)), "");
}

qelta::DialogModel ChannelDialog() {
  qelta::DialogModel d;
  d.name = "CBSChannelDlg";
  d.title = "Channel";
  qelta::DialogField f;
  f.controlId = 1001;
  f.name = "channel";
  f.kind = qelta::FieldKind::Number;
  f.value = "1";
  d.Add(f);
  d.validate = [](qelta::DialogModel& m) { return qelta::ValidateIntegerField(m, 1001, 1, 7); };
  return d;
}

TEST(ScriptedUiTest, AnInvalidEntryIsShownAndTheNextAnswerCorrectsIt) {
  qelta::ScriptedUi ui;
  ui.QueueDialogAnswer("CBSChannelDlg", {{{"channel", "9"}}, {}, true});
  ui.QueueDialogAnswer("CBSChannelDlg", {{{"1001", "4"}}, {}, true});
  qelta::DialogModel d = ChannelDialog();
  EXPECT_TRUE(ui.RunDialog(d));
  EXPECT_EQ(d.Number(1001), 4);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].text, "Please enter an integer between 1 and 7.");
  EXPECT_EQ(ui.Messages()[0].caption, "Channel");
  ASSERT_EQ(ui.Dialogs().size(), 1u);
  EXPECT_THAT(ui.Dialogs()[0].errors, ElementsAre("Please enter an integer between 1 and 7."));

  // Without a further answer an invalid entry ends in Cancel; no answer at all is a Cancel too.
  ui.QueueDialogAnswer("CBSChannelDlg", {{{"channel", "abc"}}, {}, true});
  qelta::DialogModel again = ChannelDialog();
  EXPECT_FALSE(ui.RunDialog(again));
  qelta::DialogModel untouched = ChannelDialog();
  EXPECT_FALSE(ui.RunDialog(untouched));
  EXPECT_EQ(untouched.Value(1001), "1");
}

TEST(ScriptedUiTest, QuestionsGetTheCautiousAnswerUnlessQueued) {
  qelta::ScriptedUi ui;
  using qelta::MessageAnswer;
  using qelta::MessageButtons;
  using qelta::MessageIcon;
  ui.QueueMessageAnswer(MessageAnswer::Ok);
  // A plain message does not use up a queued answer.
  EXPECT_EQ(ui.MessageBox("info", "c", MessageButtons::Ok, MessageIcon::None), MessageAnswer::Ok);
  EXPECT_EQ(ui.MessageBox("q1", "c", MessageButtons::OkCancel, MessageIcon::Question),
            MessageAnswer::Ok);
  EXPECT_EQ(ui.MessageBox("q2", "c", MessageButtons::OkCancel, MessageIcon::Question),
            MessageAnswer::Cancel);
  ui.SetDefaultMessageAnswer(MessageAnswer::Ok);
  EXPECT_EQ(ui.MessageBox("q3", "c", MessageButtons::OkCancel, MessageIcon::Question),
            MessageAnswer::Ok);
}

TEST(ScriptedUiTest, ButtonsEditsMenusAndPostedTasks) {
  qelta::ScriptedUi ui;
  qelta::DialogModel d = ChannelDialog();
  std::vector<int> edits;
  d.onEdit = [&](qelta::DialogModel&, int id) { edits.push_back(id); };
  qelta::DialogField browse;
  browse.name = "browse";
  browse.kind = qelta::FieldKind::Button;
  browse.onClick = [](qelta::DialogModel& m) { m.SetValue(1001, "6"); };
  d.Add(browse);
  ui.QueueDialogAnswer("CBSChannelDlg", {{{"channel", "2"}}, {"browse"}, true});
  EXPECT_TRUE(ui.RunDialog(d));
  EXPECT_EQ(d.Value(1001), "6");
  EXPECT_THAT(edits, ElementsAre(1001));

  qelta::MenuModel menu;
  menu.AddItem(32791, "Channel");
  menu.AddSeparator();
  menu.AddItem(32787, "Web");
  ui.QueueMenuChoice(32787);
  ui.QueueMenuChoice(1);  // not in the menu: dismissed
  EXPECT_EQ(ui.PopupMenu(menu, 0, 0), 32787);
  EXPECT_EQ(ui.PopupMenu(menu, 0, 0), 0);
  EXPECT_EQ(ui.PopupMenu(menu, 0, 0), 0);

  int ran = 0;
  std::thread other([&] { ui.PostToFormThread([&] { ++ran; }); });
  other.join();
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(ui.RunPostedTasks(), 1);
  EXPECT_EQ(ran, 1);
}

TEST(DialogModelTest, NumbersAreWholeDecimalIntegersOnly) {
  qelta::DialogModel d = ChannelDialog();
  auto number = [&](const std::string& text) {
    d.SetValue(1001, text);
    return d.Number(1001);
  };
  EXPECT_EQ(number(" 42 "), 42);
  EXPECT_EQ(number("-3"), -3);
  EXPECT_FALSE(number(""));
  EXPECT_FALSE(number("4x"));
  EXPECT_FALSE(number("-"));
  EXPECT_FALSE(number("99999999999999999999"));
  EXPECT_EQ(qelta::IntegerRangePrompt(0, 65535), "Please enter an integer between 0 and 65535.");
}

}  // namespace

namespace {

class XdgLookupTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    const char* path = std::getenv("PATH");
    oldPath = path ? path : "";
    std::filesystem::create_directories(root + "/tools");
    std::filesystem::create_directories(root + "/data/applications");
    // Only our helpers are found: the machine's own desktop tools must not answer.
    setenv("PATH", (root + "/tools").c_str(), 1);
    setenv("XDG_DATA_DIRS", (root + "/nowhere").c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", oldPath.c_str(), 1);
    FormTest::TearDown();
  }
  void Tool(const std::string& name, const std::string& answer) {
    std::string file = root + "/tools/" + name;
    std::ofstream(file) << "#!/bin/sh\necho '" << answer << "'\n";
    std::filesystem::permissions(file, std::filesystem::perms::owner_all);
  }
  std::string oldPath;
};

TEST_F(XdgLookupTest, TheHandlersDesktopFileGivesTheCommand) {
  Tool("xdg-settings", "testbrowser.desktop");
  std::ofstream(root + "/data/applications/testbrowser.desktop")
      << "[Desktop Entry]\nName=T\nExec=/opt/t/Browser %u\n";
  HttpHandlerAnswer a = XdgHttpHandlerLookup().Query();
  EXPECT_EQ(a.associationError, 0);
  EXPECT_EQ(a.valueError, 0);
  EXPECT_EQ(a.command, "/opt/t/Browser %u");
}

TEST_F(XdgLookupTest, XdgMimeAnswersWhenXdgSettingsCannotAndAMissingFileIsAValueError) {
  Tool("xdg-mime", "other.desktop");
  HttpHandlerAnswer a = XdgHttpHandlerLookup().Query();
  EXPECT_EQ(a.associationError, 0);
  EXPECT_EQ(a.valueError, ENOENT);
  std::ofstream(root + "/data/applications/other.desktop") << "[Desktop Entry]\nName=x\n";
  a = XdgHttpHandlerLookup().Query();
  EXPECT_EQ(a.valueError, ENODATA);
}

TEST_F(XdgLookupTest, NoHandlerOrAPathAsAnswerIsNoAssociation) {
  EXPECT_EQ(XdgHttpHandlerLookup().Query().associationError, ENOENT);
  Tool("xdg-settings", "../../etc/passwd");
  EXPECT_EQ(XdgHttpHandlerLookup().Query().associationError, ENOENT);
}

// Without a registered handler, an installed xdg-open is the association: the window greets
// only a machine that has neither with the error.
TEST_F(XdgLookupTest, WithoutAHandlerXdgOpenIsTheAssociation) {
  struct Case {
    const char* name;
    std::vector<std::string> tools;
    std::string message;  // "" for none
    std::string command;
  };
  const std::string xdgOpen = root + "/tools/xdg-open";
  const Case cases[] = {
      {"neither", {}, "Default browser open error: 2, 2", ""},
      {"xdg-open only", {"xdg-open"}, "", xdgOpen},
      {"a path as handler, xdg-open", {"xdg-open", "xdg-settings"}, "", xdgOpen},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(root + "/tools");
    std::filesystem::create_directories(root + "/tools");
    for (const auto& tool : c.tools) Tool(tool, tool == "xdg-settings" ? "/etc/passwd" : "");
    XdgHttpHandlerLookup lookup;
    FormEnvironment env = Env();
    env.browserLookup = &lookup;
    ui.ClearRecords();
    CQeltaConfigView view(ui, env);
    view.InitialiseForm();
    EXPECT_EQ(MessageTexts().empty() ? "" : MessageTexts()[0], c.message) << c.name;
    EXPECT_EQ(view.browserCommand, c.command) << c.name;
    EXPECT_TRUE(view.browserArgs.empty()) << c.name;
  }
  // A file that is not executable, and a relative folder, are not the program.
  std::ofstream(root + "/plain") << "";
  EXPECT_EQ(FindProgram("plain", root + ":tools"), "");
  EXPECT_EQ(FindProgram("xdg-open", "tools:" + root + "/tools"), xdgOpen);
}

}  // namespace
