// The command line on the scripted port: exit statuses, where the program's own options may
// stand, the three output formats, what it leaves out (the browser lookup), and two runs at once.
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <regex>
#include <sstream>

#include "FormTestSupport.h"
#include "core/ControlCharacters.h"
#include "cli/CliContext.h"
#include "cli/JsonFields.h"

namespace {

using qelta::RowKind;
using ::testing::HasSubstr;

// What the probe subcommand saw of the program's options.
struct Seen {
  std::string word;
  qelta::MessageAnswer answer = qelta::MessageAnswer::Cancel;
  bool dialogAccepted = false;
  std::string dialogValue;
  std::optional<std::string> file;
  std::string settingsPath;
  std::string configFile;
};

// "probe [word] [--rows KINDS] [--fail] [--error-box] [--refused-dialog] [--clear]": adds one row
// per kind named (step, success, failure, warning, information, failure-then-success), then
// reports what it saw of the program's options.
CliRegistrar Probe(Seen& seen) {
  return [&seen](CLI::App& app, CliContext& ctx) {
    auto* sub = app.add_subcommand("probe", "test command");
    auto word = std::make_shared<std::string>();
    auto rows = std::make_shared<std::vector<std::string>>();
    sub->add_option("word", *word);
    sub->add_option("--rows", *rows)->delimiter(',');
    auto* fail = sub->add_flag("--fail");
    auto* errorBox = sub->add_flag("--error-box");
    auto* refused = sub->add_flag("--refused-dialog");
    auto* clear = sub->add_flag("--clear");
    sub->callback([&ctx, &seen, word, rows, fail, errorBox, refused, clear] {
      const bool failing = fail->count() > 0, box = errorBox->count() > 0;
      const bool refuse = refused->count() > 0, clearing = clear->count() > 0;
      ctx.action = [&seen, w = *word, kinds = *rows, failing, box, refuse,
                    clearing](CliContext& c) {
        CQeltaConfigView& f = *c.form;
        for (const std::string& k : kinds) {
          if (k == "failure-then-success") {
            f.outputList().SetImage(f.AddOutputRow(k, "", 0), 1);
          } else if (k == "warning") {
            f.AddOutputRow(k, "", 0, RowKind::Warning);
          } else {
            f.AddOutputRow(k, "", k == "failure" ? 0 : k == "success" ? 1 : k == "step" ? 2 : 3);
          }
        }
        if (clearing) f.outputList().DeleteAllRows();
        if (box) f.Message("Cannot open localsettings file.", "File open error");
        qelta::DialogModel dialog;
        dialog.name = "CProbeDlg";
        qelta::DialogField field;
        field.name = "value";
        dialog.Add(field);
        if (refuse) dialog.validate = [](qelta::DialogModel&) { return std::string("no"); };
        seen.dialogAccepted = c.ui.RunDialog(dialog);
        seen.dialogValue = dialog.FindByName("value")->value;
        seen.word = w;
        seen.answer = f.Message("Go on?", "Verify", qelta::MessageButtons::OkCancel,
                                qelta::MessageIcon::Question);
        seen.file = c.ui.FileDialog({});
        seen.settingsPath = f.settings().Path();
        seen.configFile = f.configFilePath;
        c.Result("Probe", "done");
        return !failing || c.Fail("stopped");
      };
    });
  };
}

class CliTest : public FormTest {
 public:  // the option table's checks read what a run saw
  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    seen = Seen{};
    args.insert(args.begin(), "qeltaconfig-cli");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::vector<CliRegistrar> registrars = AllCliRegistrars();
    registrars.push_back(Probe(seen));
    return RunCli(static_cast<int>(argv.size()), argv.data(), out, err, registrars, Env());
  }
  std::ostringstream out;
  std::ostringstream err;
  Seen seen;
};

TEST_F(CliTest, ExitStatusTellsDoneWarningsFailuresAndUsage) {
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {{"probe"}, 0},
      {{"probe", "--rows", "step,success,information"}, 0},
      {{"probe", "--rows", "success,warning"}, 3},
      {{"probe", "--rows", "warning", "--clear"}, 3},  // a cleared row still happened
      {{"probe", "--rows", "warning,failure"}, 1},
      {{"probe", "--rows", "failure", "--clear"}, 1},
      {{"probe", "--rows", "failure-then-success"}, 0},  // the row's last word counts
      {{"probe", "--fail"}, 1},
      {{"probe", "--error-box"}, 1},
      {{"--dialog", "CProbeDlg.value=1", "probe", "--refused-dialog"}, 1},
      {{"--help"}, 0},
      {{"probe", "--help"}, 0},
      {{"settings"}, 0},
      {{}, 2},
      {{"no-such-command"}, 2},
      {{"probe", "--no-such-option"}, 2},
      {{"com-port"}, 2},
      {{"com-port", "9"}, 2},
      {{"--dialog", "novalue", "probe"}, 2},
      {{"--answer", "maybe", "probe"}, 2},
      {{"--output", "xml", "probe"}, 2},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    EXPECT_EQ(Run(c.args), c.status) << line << "\n" << err.str();
  }
  // Nothing was done by a usage error: the port stays as it was.
  EXPECT_EQ(Run({"com-port", "9"}), 2);
  EXPECT_THAT(err.str(), HasSubstr("usage error: the COM port must be 1 to 8"));
  EXPECT_EQ(Number("ComPort"), 1u);
}

TEST_F(CliTest, TheProgramsOptionsStandBeforeOrAfterTheSubcommand) {
  const std::string settings = root + "/other.conf";
  const std::string pcg = root + "/a.pcg";
  struct Case {
    std::vector<std::string> option;
    std::function<bool(const CliTest&)> took;
  };
  const Case cases[] = {
      {{"--yes"}, [](const CliTest& t) { return t.seen.answer == qelta::MessageAnswer::Ok; }},
      {{"--answer", "ok"},
       [](const CliTest& t) { return t.seen.answer == qelta::MessageAnswer::Ok; }},
      {{"--dialog", "CProbeDlg.value=7"},
       [](const CliTest& t) { return t.seen.dialogAccepted && t.seen.dialogValue == "7"; }},
      {{"--cancel-dialog", "CProbeDlg"}, [](const CliTest& t) { return !t.seen.dialogAccepted; }},
      {{"--file", "/tmp/f.pcg"},
       [](const CliTest& t) { return t.seen.file == std::optional<std::string>("/tmp/f.pcg"); }},
      {{"--settings", settings},
       [settings](const CliTest& t) { return t.seen.settingsPath == settings; }},
      {{"--config-file", pcg}, [pcg](const CliTest& t) { return t.seen.configFile == pcg; }},
      {{"--output", "json"},
       [](const CliTest& t) {
         return t.out.str() == "{\"result\":\"Probe\",\"value\":\"done\"}\n";
       }},
  };
  for (const Case& c : cases) {
    std::vector<std::string> before = c.option, after = {"probe", "word"};
    before.insert(before.end(), {"probe", "word"});
    after.insert(after.end(), c.option.begin(), c.option.end());
    for (const auto& args : {before, after}) {
      ASSERT_EQ(Run(args), 0) << c.option[0] << "\n" << err.str();
      EXPECT_TRUE(c.took(*this)) << c.option[0] << (args[0] == "probe" ? " after" : " before");
      EXPECT_EQ(seen.word, "word") << c.option[0];  // the subcommand's own argument is kept
    }
  }
}

TEST_F(CliTest, EveryFormatShowsTheRowsAndEscapesControlCharacters) {
  auto registrar = [](CLI::App& app, CliContext& ctx) {
    app.add_subcommand("rows", "rows")->callback([&ctx] {
      ctx.action = [](CliContext& c) {
        OutputList& list = c.form->outputList();
        c.form->AddOutputRow("Open COM1", "", 2);
        c.form->AddOutputRow("Warning! \x1b[2Jcut", "a\tb", 0, RowKind::Warning);
        const int step = c.form->AddOutputRow("Step", "", 2);
        list.SetImage(step, 0);
        list.SetText(step, 2, "Errors: 1");
        list.DeleteAllRows();
        c.form->AddOutputRow("File END", " ", 3, RowKind::Success);
        c.Result("ComPort", "4");
        return true;
      };
    });
  };
  auto run = [&](const std::string& format) {
    out.str("");
    const char* argv[] = {"qeltaconfig-cli", "--output", format.c_str(), "rows"};
    std::vector<CliRegistrar> registrars = {registrar};
    RunCli(4, argv, out, err, registrars, Env());
    // Time stamps vary: ISO 8601 local time with its offset.
    return std::regex_replace(
        out.str(), std::regex(R"("time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d")"),
        "\"time\":T");
  };
  const std::pair<std::string, std::string> cases[] = {
      {"rows",
       "+0\t2\tOpen COM1\t\t\n"
       "+1\t0\tWarning! \\x1b[2Jcut\ta b\t\n"
       "+2\t2\tStep\t\t\n"
       "~2\t0\tStep\t\t\n"
       "~2\t0\tStep\t\tErrors: 1\n"
       "+0\t3\tFile END\t \t\n"
       "ComPort=4\n"},
      {"text",
       "- Open COM1\n"
       "! Warning! \\x1b[2Jcut               a b\n"
       "x Step                                                        Errors: 1\n"
       "ComPort=4\n"
       "+ File END\n"},
      {"json",
       R"({"index":0,"kind":"step","image":2,"name":"Open COM1","value":"","more":"","time":T})"
       "\n"
       R"({"index":1,"kind":"warning","image":0,"name":"Warning! \u001b[2Jcut","value":"a\tb","more":"","time":T})"
       "\n"
       R"({"index":2,"kind":"failure","image":0,"name":"Step","value":"","more":"Errors: 1","time":T})"
       "\n"
       R"({"result":"ComPort","value":"4"})"
       "\n"
       R"({"index":0,"kind":"success","image":3,"name":"File END","value":" ","more":"","time":T})"
       "\n"},
  };
  for (const auto& [format, expected] : cases) EXPECT_EQ(run(format), expected) << format;
}

TEST(CliTextOnATerminalTest, ChangedRowsAreRedrawnInPlaceWhileOnTheScreen) {
  using qelta::cli::PrintedRow;
  auto row = [](int index, const std::string& name, RowKind kind) {
    PrintedRow r;
    r.index = index;
    r.row.text[0] = name;
    r.row.kind = kind;
    return r;
  };
  struct Case {
    const char* name;
    int lines;
    bool foreign;  // something else wrote to the terminal before the change
    std::string expected;
  };
  const Case cases[] = {
      {"on screen", 24, false, "\x1b[2A\r\x1b[2K\xe2\x9c\x93 A\r\x1b[2B"},
      {"scrolled off", 2, false, "\r\x1b[2K\xe2\x9c\x93 A\n"},
      {"after a message", 24, true, "\r\x1b[2K\xe2\x9c\x93 A\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out, err;
    qelta::cli::TerminalInfo terminal{true, 80, c.lines, true};
    auto printer = qelta::cli::MakeRowPrinter(qelta::cli::OutputFormat::Text, out, err, terminal);
    printer->Added(row(0, "A", RowKind::Step));
    printer->Added(row(1, "B", RowKind::Step));
    if (c.foreign) printer->ForeignOutput();
    printer->Changed(row(0, "A", RowKind::Success), OutputListChange::KindChanged);
    // Each new line starts over whatever stood on the terminal's line (a progress line).
    EXPECT_EQ(out.str(), "\r\x1b[2K\xc2\xb7 A\n\r\x1b[2K\xc2\xb7 B\n" + c.expected) << c.name;
  }
  // A line never wraps: it is cut at the terminal's width.
  std::ostringstream out, err;
  auto narrow = qelta::cli::MakeRowPrinter(qelta::cli::OutputFormat::Text, out, err,
                                           qelta::cli::TerminalInfo{true, 10, 24, false});
  narrow->Added(row(0, "A very long name", RowKind::Failure));
  EXPECT_EQ(out.str(), "\r\x1b[2Kx A very \n");
}

TEST(CliTextValuesTest, JsonStringsLocalesAndEscapes) {
  using qelta::cli::JsonString;
  const std::pair<std::string, std::string> json[] = {
      {"plain", "\"plain\""},
      {"q\"b\\", R"("q\"b\\")"},
      {"\n\t\r", R"("\n\t\r")"},
      {std::string("\x01\x1b\x7f", 3), R"("\u0001\u001b\u007f")"},
      {"\xe2\x9c\x93", "\"\xe2\x9c\x93\""},              // UTF-8 stays
      {"\xe4", "\"\xc3\xa4\""},                          // a Latin-1 byte becomes its character
      {"\xed\xa0\x80", "\"\xc3\xad\xc2\xa0\xc2\x80\""},  // no surrogates
  };
  for (const auto& [in, expected] : json) EXPECT_EQ(JsonString(in), expected);

  struct Locale {
    const char *all, *ctype, *lang;
    bool utf8;
  };
  const Locale locales[] = {{nullptr, nullptr, "de_DE.UTF-8", true},
                            {nullptr, nullptr, "en_US.utf8", true},
                            {"C", nullptr, "en_US.UTF-8", false},
                            {"", "C.UTF-8", "C", true},
                            {nullptr, nullptr, nullptr, false}};
  for (const Locale& l : locales)
    EXPECT_EQ(qelta::cli::LocaleIsUtf8(l.all, l.ctype, l.lang), l.utf8) << (l.lang ? l.lang : "");

  using qelta::EscapeControlCharacters;
  using qelta::LineBreaks;
  EXPECT_EQ(EscapeControlCharacters("a\x1b]0;x\x07z\n"), "a\\x1b]0;x\\x07z\\x0a");
  EXPECT_EQ(EscapeControlCharacters("a\tb\nc\rd", LineBreaks::Keep), "a\tb\nc\\x0dd");
  OutputRow row;
  row.image = 3;
  row.text = {"BS\x1b[31m", "x\ty", "\x7f"};
  EXPECT_EQ(SessionLog::FormatLine("T", row), "T\t3\tBS\\x1b[31m\tx y\t\\x7f\n");
}

// The values of the objects that follow the rows: keys from row names, numbers where a text is
// a decimal number as people write one.
TEST(CliTextValuesTest, JsonKeysAndNumbers) {
  const std::pair<std::string, std::string> values[] = {
      {"0", "0"},
      {"42", "42"},
      {"-7", "-7"},
      {"65535", "65535"},
      {"007", "\"007\""},
      {"1.5", "\"1.5\""},
      {"+3", "\"+3\""},
      {"-0", "\"-0\""},
      {"-", "\"-\""},
      {"", "\"\""},
      {" 4", "\" 4\""},
      {"4 ", "\"4 \""},
      {"1e3", "\"1e3\""},
      {"123456789012345", "123456789012345"},
      {"1234567890123456", "\"1234567890123456\""},  // beyond what a double keeps exactly
      {"2, cal=80", "\"2, cal=80\""},
  };
  for (const auto& [text, json] : values) EXPECT_EQ(qelta::cli::JsonNumberOrString(text), json);
  const std::pair<std::string, std::string> keys[] = {
      {"Comm ID", "comm_id"},     {"Sleep time (s)", "sleep_time_s"},
      {"Firmware", "firmware"},   {"  Radio -- calibration ", "radio_calibration"},
      {"Channel2", "channel2"},   {"LCD contrast", "lcd_contrast"},
      {"\xc3\xa9t\xc3\xa9", "t"}, {"()", "field"},
  };
  for (const auto& [name, key] : keys) EXPECT_EQ(qelta::cli::SnakeCaseKey(name), key) << name;
}

TEST_F(CliTest, TwoRunsStartedTogetherBothKeepTheirChange) {
  // Two programs on one settings file, again and again from no file at all: each change and
  // each default written back at start-up happens under the lock, so neither undoes the other.
  auto spawn = [this](std::vector<std::string> args) {
    const pid_t pid = fork();
    if (pid == 0) {
      std::ostringstream quiet;
      args.insert(args.begin(), "qeltaconfig-cli");
      std::vector<const char*> argv;
      for (const auto& a : args) argv.push_back(a.c_str());
      _exit(RunCli(static_cast<int>(argv.size()), argv.data(), quiet, quiet, AllCliRegistrars(),
                   Env()));
    }
    return pid;
  };
  auto exitCode = [](pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    std::filesystem::remove_all(root + "/config");
    const pid_t port = spawn({"com-port", "3"});
    const pid_t device = spawn({"com-device", "5", "/dev/x"});
    ASSERT_EQ(exitCode(port), 0);
    ASSERT_EQ(exitCode(device), 0);
    EXPECT_EQ(Number("ComPort"), 3u);
    EXPECT_EQ(Text("ComDevice5"), "/dev/x");
  }
}

TEST_F(CliTest, TheBrowserIsNeverLookedUp) {
  browser.answer = {ENOENT, ENOENT, ""};
  EXPECT_EQ(Run({"settings"}), 0);
  EXPECT_EQ(browser.queries, 0);
  EXPECT_EQ(err.str().find("browser"), std::string::npos) << err.str();
}

}  // namespace
