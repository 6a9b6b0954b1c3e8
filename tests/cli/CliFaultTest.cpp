// The command line against faults: each row of the table names the command, the fault, the rows
// it must end with (their kinds and names, in order), its exit status, a bound on its time, and
// what the device memory, the settings and the files must hold afterwards. Whatever the fault,
// nothing may be left half-done without a failure row. A new fault is one more row.
#include <sys/stat.h>

#include <functional>

#include "CliBench.h"

namespace cli_test {
namespace {

// The files a case names: {small} three plain parameters, {warn} a value out of its range,
// {readout} a read-out target that already holds a file, {outside} a write past the end of the
// terminal's memory among good ones, {laser} a scanner setting; {csv} a file to be written,
// {fifo} a FIFO, {private} a file only its owner may read (mode 0600).
const char* kSmallPcg = "LCD_CONTRAST:60\nBACKLIT:1\nEXTRAID:7\n";
const char* kWarnPcg = "LCD_CONTRAST:150\nEXTRAID:7\n";
const char* kKeptReadout = "LCD_CONTRAST:11\n";
const char* kOutsidePcg = "SYSTEM:40000:7\nLCD_CONTRAST:60\nSTRING_BLOCK:32764\nABCD\nEXTRAID:7\n";
const char* kLaserPcg = "LASER_PARAM:1:2\nLCD_CONTRAST:60\n";
const char* kPrivateCsv = "kept private\n";

struct FaultCase {
  const char* name;
  std::function<void(BenchSetup&)> fault;
  std::vector<std::string> args;
  std::vector<std::string> rows;  // "kind:name", in order, among the final rows
  int status;
  double seconds;                              // the run ends within this time
  std::function<void(const CliBench&)> after;  // memory, settings and files afterwards
};

// The case's name in test listings (instead of its bytes).
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

// The small file's values in the terminal, or none of them.
void SmallWritten(const CliBench& b) {
  EXPECT_EQ(b.TerminalByte(121), 60);
  EXPECT_EQ(b.TerminalByte(122), 1);
  EXPECT_EQ(b.TerminalByte(143), 7);
}
void TerminalUntouched(const CliBench& b) { EXPECT_EQ(b.terminal->Extended(), b.terminalBefore); }
void KeptReadout(const CliBench& b) { EXPECT_EQ(b.Read(b.root + "/readout.pcg"), kKeptReadout); }
void NoTerminal(BenchSetup& s) { s.terminal = false; }
void OneStation(BenchSetup& s) { s.terminal = false, s.stations = 1; }
const std::string kNoStation = "no base station found";
const std::string kOutside = "Write outside the device's memory";
// The run said this on standard error.
std::function<void(const CliBench&)> ErrSays(const std::string& text) {
  return [text](const CliBench& b) { EXPECT_NE(b.err.find(text), std::string::npos) << b.err; };
}
// The file is still what it was: a character device, a FIFO.
std::function<void(const CliBench&)> StillA(const std::string& path, mode_t type) {
  return [path, type](const CliBench& b) {
    ErrSays("not a regular file")(b);
    struct stat st {};
    ASSERT_EQ(::stat(path == "{fifo}" ? (b.root + "/fifo").c_str() : path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IFMT, type);
  };
}

// The first station's module never answered: its row names it and says why, and the progress
// counted it as failed.
void NamesTheHungStation(const CliBench& b) {
  std::size_t named = 0;
  for (const SeenRow& r : b.rows) {
    if (r.name != "Not done") continue;
    ++named;
    EXPECT_EQ(r.kind, "failure");
    EXPECT_EQ(r.value, "127.0.0.2");
  }
  EXPECT_EQ(named, 1u) << b.Dump();
  EXPECT_NE(b.out.find("Login page: error 28: "), std::string::npos) << b.out;
  EXPECT_NE(b.err.find(", 1 failure"), std::string::npos) << b.err;
}

// "CommID" holds 12345 and cannot be stored: the write fails with `error` (0: it does not), the
// lock too (`lockToo`), or a folder takes the lock file's place; two stations, or the terminal.
std::function<void(BenchSetup&)> UnstorableCommIds(int error, bool lockToo, bool lockFolder,
                                                   bool terminal = false) {
  return [=](BenchSetup& s) {
    s.terminal = terminal, s.stations = terminal ? 0 : 2, s.commId = 12345;
    s.settingsUnwritable = error != 0, s.settingsWriteError = error;
    s.settingsLockFails = lockToo, s.lockPathIsAFolder = lockFolder;
  };
}
// No device got a comm ID, no row says one was written, and "CommID" is what it was.
void NoCommIdWritten(const CliBench& b) {
  for (std::size_t i = 0; i < b.stations.size(); ++i) {
    EXPECT_EQ(b.stations[i]->Page(0), b.stationsBefore[i]) << "station " << i;
  }
  if (b.terminal) TerminalUntouched(b);
  EXPECT_EQ(b.StoredNumber("CommID"), 12345u);
  EXPECT_EQ(b.out.find("New CommID"), std::string::npos) << b.out;
  EXPECT_EQ(b.out.find("commID written"), std::string::npos) << b.out;
}

const FaultCase kCases[] = {
    // --- the hand terminal on the serial port -------------------------------------------------
    {"UploadClean", nullptr, {"upload", "{small}"}, {"success:File END"}, 0, 15, SmallWritten},
    {"UploadValueOutOfRange",
     nullptr,
     {"upload", "{warn}"},
     {"warning:Warning! LCD contrast value too big", "success:File END"},
     3,
     15,
     [](const CliBench& b) {
       EXPECT_EQ(b.TerminalByte(121), 50);  // the default took the value's place
       EXPECT_EQ(b.TerminalByte(143), 7);
     }},
    {"UploadSilentTerminal",
     [](BenchSetup& s) { s.terminalFaults.silent = true; },
     {"upload", "{small}"},
     {"failure: Qelta device not found"},
     1,
     10,
     TerminalUntouched},
    {"UploadAnswersOnlyTheSecondTransmission",
     [](BenchSetup& s) { s.terminalFaults.answer_second_only = true; },
     {"upload", "{small}"},
     {"success:File END"},
     0,
     25,
     SmallWritten},
    {"UploadCorruptAnswers",
     [](BenchSetup& s) { s.terminalFaults.corrupt_answers = true; },
     {"upload", "{small}"},
     {"failure: Qelta device not found"},
     1,
     10,
     TerminalUntouched},
    // The identification's answer is not where the link reads it: the terminal is not written.
    {"UploadGarbageBeforeAnswers",
     [](BenchSetup& s) { s.terminalFaults.garbage_before_answer = 6; },
     {"upload", "{small}"},
     {"failure: Qelta device not found"},
     1,
     15,
     TerminalUntouched},
    {"UploadLineDropsMidway",
     [](BenchSetup& s) { s.terminalFaults.drop_after_frames = 3; },
     {"upload", "{small}"},
     {"failure:Communication failure!", "failure:Operation cancelled!"},
     1,
     15,
     [](const CliBench& b) {
       EXPECT_EQ(b.TerminalByte(121), 60);
       EXPECT_EQ(b.TerminalByte(143), b.terminalBefore[143]);  // not reached: the rows say so
     }},
    {"UploadTerminalGone",
     [](BenchSetup& s) { s.terminalGone = true; },
     {"upload", "{small}"},
     {"failure: not available!"},
     1,
     5,
     nullptr},
    {"ReadOutClean",
     nullptr,
     {"read-out", "{readout}"},
     {},
     0,
     20,
     [](const CliBench& b) {
       const std::string file = b.Read(b.root + "/readout.pcg");
       EXPECT_NE(file, kKeptReadout);
       EXPECT_NE(file.find("LCD_CONTRAST:"), std::string::npos) << file;
     }},
    {"ReadOutLineDropsAfterIdentification",
     [](BenchSetup& s) { s.terminalFaults.drop_after_frames = 2; },
     {"read-out", "{readout}"},
     {"failure:Reading parameters failed"},
     1,
     25,
     KeptReadout},
    {"DeviceReportSilentTerminal",
     [](BenchSetup& s) { s.terminalFaults.silent = true; },
     {"device-report"},
     {"failure:Cannot find Tolvi device, dev=-2"},
     1,
     10,
     nullptr},
    {"ComPortSettingsCannotBeWritten",
     [](BenchSetup& s) { s.settingsUnwritable = true; },
     {"com-port", "3"},
     {},
     1,
     5,
     [](const CliBench& b) {
       EXPECT_EQ(b.StoredNumber("ComPort"), 1u);
       EXPECT_EQ(b.out.find("ComPort"), std::string::npos) << b.out;  // no new port claimed
     }},

    // --- base stations and their modules ------------------------------------------------------
    {"UploadToAStationThatIsNotThere",
     [](BenchSetup& s) { s.terminal = false; },
     {"upload", "{small}", "--station", "127.0.0.9"},
     {"failure:Address: 127.0.0.9"},
     1,
     10,
     nullptr},
    {"ResetThroughARefusedTunnel",
     [](BenchSetup& s) { s.stations = 2, s.station0Refused = true; },
     {"bs-reset", "127.0.0.2", "127.0.0.3"},
     {"failure:Connect error", "information:Ready"},
     1,
     15,
     [](const CliBench& b) { EXPECT_EQ(b.stations[0]->Activity().resets, 0u); }},
    {"ResetThroughAHeldTunnel",
     [](BenchSetup& s) { s.stations = 1, s.station0Held = true; },
     {"bs-reset", "127.0.0.2"},
     {"failure:Connect error", "information:Ready"},
     1,
     15,
     [](const CliBench& b) { EXPECT_EQ(b.stations[0]->Activity().resets, 0u); }},
    {"ResetASilentModule",
     [](BenchSetup& s) { s.stations = 2, s.station0Silent = true; },
     {"bs-reset", "127.0.0.2"},
     {},
     1,
     10,
     [](const CliBench& b) {
       EXPECT_NE(b.err.find("no base station at 127.0.0.2"), std::string::npos) << b.err;
     }},
    {"ChannelOnADeafStation",
     [](BenchSetup& s) { s.stations = 2, s.station0Faults.silent = true; },
     {"channel", "5", "--station", "127.0.0.2", "--station", "127.0.0.3"},
     {"failure:Channel set error -1.", "success:Channel is set"},
     1,
     20,
     [](const CliBench& b) {
       EXPECT_EQ(b.StationByte(0, 13), 1);
       EXPECT_EQ(b.StationByte(1, 13), 5);
     }},
    {"ChannelShownOfADeafStation",
     [](BenchSetup& s) { s.stations = 1, s.station0Faults.silent = true; },
     {"channel", "--station", "127.0.0.2"},
     {"failure:BS-1"},  // the station's row tells the failed read
     1,
     20,
     [](const CliBench& b) {
       EXPECT_EQ(b.out.find(R"("result":"Channel")"), std::string::npos) << b.out;  // none shown
     }},
    // A module whose web pages never answer: its station ends with a failure row naming it,
    // the other station is done, the progress counts the failure; with all defaults, the later
    // steps still run on both stations, in their order.
    {"EthernetDefaultsOnAHungWebInterface",
     [](BenchSetup& s) { s.stations = 2, s.webSilent = true; },
     {"bs-eth-defaults", "127.0.0.2", "127.0.0.3"},
     {"failure:Not done", "success:Done"},
     1,
     20,
     [](const CliBench& b) {
       EXPECT_NE(b.err.find("[HTTP error]"), std::string::npos) << b.err;
       EXPECT_FALSE(b.web[0]->Settings().dhcp);
       EXPECT_TRUE(b.web[1]->Settings().dhcp);
       NamesTheHungStation(b);
     }},
    {"AllDefaultsOnAHungWebInterface",
     [](BenchSetup& s) {
       s.terminal = false, s.stations = 2, s.webSilent = true, s.serviceMode = true;
     },
     {"bs-defaults", "{small}", "127.0.0.2", "127.0.0.3"},
     {"failure:Not done", "success:Done", "step:Reset wait...", "success:Radio type set to 3",
      "success:Radio type set to 3"},
     1,
     40,
     [](const CliBench& b) {
       EXPECT_FALSE(b.web[0]->Settings().dhcp);
       EXPECT_TRUE(b.web[1]->Settings().dhcp);
       NamesTheHungStation(b);
     }},
    {"EthernetDefaultsRefusedWith403",
     [](BenchSetup& s) { s.stations = 1, s.webStatus = 403; },
     {"bs-eth-defaults", "127.0.0.2"},
     {"failure:Done"},
     1,
     15,
     nullptr},
    {"EthernetDefaultsFailingWith500",
     [](BenchSetup& s) { s.stations = 1, s.webStatus = 500; },
     {"bs-eth-defaults", "127.0.0.2"},
     {"failure:Done"},
     1,
     15,
     nullptr},
    {"DescriptionRefusedWith403",
     [](BenchSetup& s) { s.stations = 1, s.webStatus = 403; },
     {"bs-describe", "127.0.0.2", "--description", "Hall 3"},
     {"failure:Login file"},
     1,
     15,
     [](const CliBench& b) { EXPECT_EQ(b.web[0]->Settings().description, ""); }},
    {"IpAddressRefusedByTheDialog",
     [](BenchSetup& s) { s.stations = 1; },
     {"--yes", "bs-ip", "127.0.0.2", "--ip", "0.0.0.0"},
     {},
     1,
     10,
     [](const CliBench& b) {
       EXPECT_NE(b.err.find("CIPSettingsDlg were refused"), std::string::npos) << b.err;
       EXPECT_TRUE(b.web[0]->Requests().empty());
     }},

    // clang-format off
    // --- --all finding no station: every command on stations fails alike -----------------------
    {"ResetAllWithNoStation", NoTerminal, {"bs-reset", "--all", "--wait", "300"}, {}, 1, 10,
     ErrSays(kNoStation)},
    {"RebootAllWithNoStation", NoTerminal, {"bs-reboot", "--all", "--wait", "300"}, {}, 1, 10,
     ErrSays(kNoStation)},
    {"EthernetDefaultsAllWithNoStation", NoTerminal, {"bs-eth-defaults", "--all", "--wait", "300"},
     {}, 1, 10, ErrSays(kNoStation)},
    {"SetConfigAllWithNoStation", NoTerminal,
     {"bs-set-config", "{small}", "--all", "--wait", "300"}, {}, 1, 10, ErrSays(kNoStation)},
    {"AllDefaultsAllWithNoStation", [](BenchSetup& s) { s.terminal = false, s.serviceMode = true; },
     {"bs-defaults", "{small}", "--all", "--wait", "300"}, {}, 1, 10, ErrSays(kNoStation)},
    {"InventoryAllWithNoStation", NoTerminal, {"bs-inventory", "--all", "--wait", "300"}, {}, 1, 10,
     ErrSays(kNoStation)},

    // --- comm IDs whose counter cannot be stored: nothing is written, "CommID" stays ---------
    {"CommIdsOnAFullDisk", UnstorableCommIds(ENOSPC, false, false), {"comm-id", "{two}"},
     {"failure:Cannot store CommID"}, 1, 20, NoCommIdWritten},
    {"CommIdsWithAFolderAtTheLockPath", UnstorableCommIds(0, false, true), {"comm-id", "{two}"},
     {"failure:Cannot store CommID"}, 1, 20, NoCommIdWritten},
    {"CommIdsInAReadOnlySettingsFolder", UnstorableCommIds(EROFS, true, false),
     {"comm-id", "{two}"}, {"failure:Cannot store CommID"}, 1, 20, NoCommIdWritten},
    {"CommIdOfTheSerialDeviceOnAFullDisk", UnstorableCommIds(ENOSPC, false, false, true),
     {"comm-id"}, {"step:Open COM1", "failure:Cannot store CommID"}, 1, 20, NoCommIdWritten},
    {"CommIdOfTheSerialDeviceWithAFolderAtTheLockPath", UnstorableCommIds(0, false, true, true),
     {"comm-id", "20000"}, {"failure:Cannot store CommID"}, 1, 20, NoCommIdWritten},

    // --- the inventory: stations named, its file ---------------------------------------------
    {"InventoryOfASwitchedOffStation",
     [](BenchSetup& s) { s.terminal = false, s.stations = 2, s.station0Silent = true; },
     {"bs-inventory", "127.0.0.2", "127.0.0.3", "--csv", "{csv}"},
     {"success:BS-2", "failure:Base station", "success:Inventory written"}, 1, 20,
     [](const CliBench& b) {
       const std::string csv = b.Read(b.root + "/inventory.csv");
       EXPECT_NE(csv.find("\r\nBS-2,127.0.0.3,"), std::string::npos) << csv;
       EXPECT_NE(csv.find("\r\nno answer,127.0.0.2,no answer,"), std::string::npos) << csv;
       EXPECT_NE(csv.find(",\"no answer (discovery, probe)\"\r\n"), std::string::npos) << csv;
     }},
    {"InventoryOfAnAddressThatIsNone", OneStation, {"bs-inventory", "127.0.0.300"}, {}, 2, 5,
     ErrSays("127.0.0.300")},
    {"ResetOfAnAddressThatIsNone", OneStation, {"bs-reset", "127.0.0.2", "10.0.0"}, {}, 2, 5,
     ErrSays("10.0.0")},
    {"InventoryToAFileWithoutAName", OneStation, {"bs-inventory", "127.0.0.2", "--csv", ""}, {}, 2,
     5, [](const CliBench& b) {
       ErrSays("--csv needs the name of a file")(b);
       EXPECT_TRUE(b.rows.empty()) << b.Dump();
     }},
    {"InventoryToDevFull", OneStation, {"bs-inventory", "127.0.0.2", "--csv", "/dev/full"},
     {"success:BS-1", "failure:Cannot write inventory"}, 1, 15, StillA("/dev/full", S_IFCHR)},
    {"InventoryToDevNull", OneStation, {"bs-inventory", "127.0.0.2", "--csv", "/dev/null"},
     {"success:BS-1", "failure:Cannot write inventory"}, 1, 15, StillA("/dev/null", S_IFCHR)},
    {"InventoryToAFifo", OneStation, {"bs-inventory", "127.0.0.2", "--csv", "{fifo}"},
     {"success:BS-1", "failure:Cannot write inventory"}, 1, 15, StillA("{fifo}", S_IFIFO)},
    {"InventoryKeepsAPrivateFilePrivate", OneStation,
     {"bs-inventory", "127.0.0.2", "--csv", "{private}"},
     {"success:BS-1", "success:Inventory written"}, 0, 15, [](const CliBench& b) {
       struct stat st {};
       ASSERT_EQ(::stat((b.root + "/private.csv").c_str(), &st), 0);
       EXPECT_EQ(st.st_mode & 07777, 0600u);
       EXPECT_EQ(b.Read(b.root + "/private.csv").rfind("Name,Address,", 0), 0u);
     }},

    // --- start-up that cannot create the settings ---------------------------------------------
    {"SettingsWithAReadOnlySettingsFolder",
     [](BenchSetup& s) { s.terminal = false, s.settingsFolderReadOnly = true; },
     {"settings"}, {}, 1, 5, ErrSays("[Registry error]")},
    {"CheckWithAReadOnlySettingsFolder",
     [](BenchSetup& s) { s.terminal = false, s.settingsFolderReadOnly = true; },
     {"check", "{small}"}, {}, 1, 5, ErrSays("[Registry error]")},

    // --- writes the device keeps nothing of, in the upload and the check; a scanner setting ---
    {"UploadWritesOutsideTheTerminalsMemory", nullptr, {"upload", "{outside}"},
     {"failure:" + kOutside, "failure:" + kOutside, "success:File END"}, 1, 15,
     [](const CliBench& b) {
       EXPECT_EQ(b.TerminalByte(121), 60);  // the file's other lines are written all the same
       EXPECT_EQ(b.TerminalByte(143), 7);
       EXPECT_EQ(b.TerminalByte(32767), 'D');
     }},
    {"CheckWritesOutsideTheTerminalsMemory", NoTerminal, {"check", "{outside}"},
     {"failure:" + kOutside, "failure:" + kOutside, "success:File END"}, 1, 5, nullptr},
    {"UploadScannerSetting", nullptr, {"upload", "{laser}"},
     {"step:Writing laser parameters..", "success:File END"}, 0, 15, [](const CliBench& b) {
       EXPECT_EQ(b.terminal->Activity().laser_parameters, std::vector<uint16_t>{0x0102});
       EXPECT_EQ(b.TerminalByte(121), 60);
     }},
    // clang-format on

    {"ListWithGarbageDiscoveryAnswers",
     [](BenchSetup& s) {
       s.terminal = false, s.stations = 2, s.malformed = sim::MalformedAnswer::kGarbage;
     },
     {"bs-list"},
     {},
     0,
     10,
     nullptr},
};

class CliFaultTest : public ::testing::TestWithParam<FaultCase>, public CliBench {
 protected:
  void SetUp() override { SetUpBench(); }
  void TearDown() override { TearDownBench(); }
};

TEST_P(CliFaultTest, EndsWithItsRowsStatusAndState) {
  const FaultCase& c = GetParam();
  BenchSetup s;
  if (c.fault) c.fault(s);
  ASSERT_NO_FATAL_FAILURE(Start(s));
  std::vector<std::string> args;
  for (const std::string& a : c.args) {
    if (a == "{small}") {
      args.push_back(Write("small.pcg", kSmallPcg));
    } else if (a == "{warn}") {
      args.push_back(Write("warn.pcg", kWarnPcg));
    } else if (a == "{readout}") {
      args.push_back(Write("readout.pcg", kKeptReadout));
    } else if (a == "{outside}") {
      args.push_back(Write("outside.pcg", kOutsidePcg));
    } else if (a == "{laser}") {
      args.push_back(Write("laser.pcg", kLaserPcg));
    } else if (a == "{two}") {
      for (const char* station : {"127.0.0.2", "127.0.0.3"})
        args.insert(args.end(), {"--station", station});
    } else if (a == "{csv}") {
      args.push_back(root + "/inventory.csv");
    } else if (a == "{fifo}") {
      ASSERT_EQ(::mkfifo((root + "/fifo").c_str(), 0644), 0);
      args.push_back(root + "/fifo");
    } else if (a == "{private}") {
      args.push_back(Write("private.csv", kPrivateCsv));
      ASSERT_EQ(::chmod(args.back().c_str(), 0600), 0);
    } else {
      args.push_back(a);
    }
  }
  status = RunCommand(args);
  EXPECT_EQ(status, c.status) << Dump();
  EXPECT_TRUE(HasRowsInOrder(c.rows)) << Dump();
  EXPECT_LE(seconds, c.seconds);
  // A run that did not end cleanly has a failure row or said why on stderr.
  if (status == 1) {
    EXPECT_TRUE(HasKind("failure") || err.find("error") != std::string::npos) << Dump();
  }
  if (status == 0) {
    EXPECT_FALSE(HasKind("failure") || HasKind("warning")) << Dump();
  }
  if (c.after) c.after(*this);
}

INSTANTIATE_TEST_SUITE_P(Faults, CliFaultTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace cli_test
