// The serial port list on a fake /dev tree: which ports are listed and in what order, their
// by-id names, the COM ports that lead to them, access, and the ports subcommand's rows.
#include <sstream>

#include "FormTestSupport.h"
#include "app/SerialPortList.h"
#include "cli/CliContext.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kFtdi = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
constexpr const char* kArduino = "/dev/serial/by-id/usb-Arduino_Uno_95530-if00";

class SerialPortListTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    dev = root + "/tree";
    for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB1", "ttyUSB0", "ttyACM0",
                             "tty", "ttyprintk", "ttySX", "console"})
      Touch("/dev/" + std::string(name));
    fs::create_directories(dev + "/dev/ttyUSB9");  // a folder is no port
    fs::create_directories(dev + "/dev/serial/by-id");
    fs::create_symlink("../../ttyUSB0", dev + kFtdi);
    // An absolute link means the tree's own /dev, not this machine's.
    fs::create_symlink("/dev/ttyACM0", dev + kArduino);
    // The kernel knows a UART only behind ttyS0; ttyS10 has no sysfs entry at all.
    for (auto [name, type] : {std::pair{"ttyS0", "4"}, {"ttyS1", "0"}, {"ttyS2", "0"}}) {
      fs::create_directories(dev + "/sys/class/tty/" + name);
      std::ofstream(dev + "/sys/class/tty/" + name + "/type") << type << "\n";
    }
  }
  void Touch(const std::string& path) {
    fs::create_directories(fs::path(dev + path).parent_path());
    std::ofstream(dev + path) << "";
  }
  std::vector<SerialPortEntry> List(std::map<int, std::string> com,
                                    std::set<std::string> denied = {}) {
    SerialPortQuery q;
    q.root = dev;
    for (const auto& [n, path] : com) q.comPorts.push_back(n);
    q.comDevice = [com](int n) { return com.count(n) ? com.at(n) : std::string(); };
    q.mayOpen = [denied](const std::string& path) { return denied.count(path) == 0; };
    return ListSerialPorts(q);
  }
  std::string dev;
};

TEST_F(SerialPortListTest, PortsComeInNameAndNumberOrderWithTheirByIdNames) {
  std::vector<std::string> paths;
  std::map<std::string, std::vector<std::string>> byId;
  for (const SerialPortEntry& p : List({})) {
    paths.push_back(p.path);
    if (!p.byId.empty()) byId[p.path] = p.byId;
    EXPECT_TRUE(p.present);
    EXPECT_TRUE(p.comPorts.empty());
  }
  EXPECT_THAT(paths, ElementsAre("/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS10", "/dev/ttyUSB0",
                                 "/dev/ttyUSB1"));
  EXPECT_EQ(byId, (std::map<std::string, std::vector<std::string>>{{"/dev/ttyACM0", {kArduino}},
                                                                   {"/dev/ttyUSB0", {kFtdi}}}));
}

TEST_F(SerialPortListTest, ComPortsLeadToThePortsTheirPathsResolveTo) {
  struct Expected {
    std::string path;
    std::vector<int> com;
    bool present;
    bool mayOpen = present;  // a missing device is never openable
  };
  const std::vector<SerialPortEntry> list =
      List({{1, "/dev/ttyS0"},
            {2, "/dev/ttyS1"},  // no UART known, shown because COM2 leads to it
            {3, kFtdi},
            {4, "/dev/pts/7"},
            {5, "/dev/ttyUSB0"},
            {6, "/dev/serial/by-id/usb-unplugged"},
            {7, "/dev/pts/7"},
            {8, "/dev/./serial/../ttyACM0"}},
           {"/dev/ttyUSB0"});  // access is asked of the port the by-id link leads to
  const Expected expected[] = {
      {"/dev/ttyACM0", {8}, true},
      {"/dev/ttyS0", {1}, true},
      {"/dev/ttyS1", {2}, true},
      {"/dev/ttyS10", {}, true},
      {"/dev/ttyUSB0", {3, 5}, true, false},
      {"/dev/ttyUSB1", {}, true},
      {"/dev/pts/7", {4, 7}, false},
      {"/dev/serial/by-id/usb-unplugged", {6}, false},
  };
  ASSERT_EQ(list.size(), std::size(expected));
  for (std::size_t i = 0; i < list.size(); ++i) {
    SCOPED_TRACE(expected[i].path);
    EXPECT_EQ(list[i].path, expected[i].path);
    EXPECT_EQ(list[i].comPorts, expected[i].com);
    EXPECT_EQ(list[i].present, expected[i].present);
    EXPECT_EQ(list[i].mayOpen, expected[i].mayOpen);
    EXPECT_EQ(list[i].group.empty(), !expected[i].present);  // for the hint "group dialout"
  }
}

TEST_F(SerialPortListTest, LinksAreFollowedWithinTheRoot) {
  fs::create_symlink("loop-b", dev + "/dev/loop-a");
  fs::create_symlink("loop-a", dev + "/dev/loop-b");
  fs::create_symlink("/../../../etc", dev + "/dev/escape");
  const std::pair<std::string, std::string> cases[] = {
      {kFtdi, "/dev/ttyUSB0"},
      {kArduino, "/dev/ttyACM0"},
      {"/dev/../../../dev/ttyS0", "/dev/ttyS0"},
      {"/dev/escape/passwd", "/etc/passwd"},
      {"/dev/missing/x", "/dev/missing/x"},
      {"/dev/loop-a", ""},
  };
  for (const auto& [path, expected] : cases)
    EXPECT_EQ(ResolveBelowRoot(dev, path), expected) << path;
}

TEST_F(SerialPortListTest, MappedComPortsComeFromTheEnvironmentAndTheSettings) {
  EXPECT_THAT(MappedComPorts(
                  {"HALVEX_COM12=/dev/ttyUSB0", "HALVEX_COM3=/dev/x", "HALVEX_COMX=1",
                   "HALVEX_COM0=/dev/y", "halvex_com20=/dev/z", "HALVEX_COM40000=/d", "PATH=/bin"},
                  {"ComDevice9", "comdevice40", "ComDeviceX", "ComDevice99999", "ComPort"}),
              ElementsAre(3, 9, 12, 40));
}

class PortsCliTest : public SerialPortListTest {
 protected:
  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), "qeltaconfig-cli");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    return RunCli(static_cast<int>(argv.size()), argv.data(), out, err, AllCliRegistrars(), Env());
  }
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(PortsCliTest, PortsPrintsOneRowAPortWithItsComPortsAndState) {
  setenv("HALVEX_COM3", kFtdi, 1);
  WriteSettings("ComPort=number:3\nComDevice2=text:/dev/ttyUSB0\nComDevice5=text:/dev/gone\n");
  EXPECT_EQ(Run({"ports", "--root", dev}), 0) << err.str();
  unsetenv("HALVEX_COM3");
  const std::string rows = out.str();
  EXPECT_THAT(rows, HasSubstr("\t1\t/dev/ttyS0\tCOM1\tmay be opened\n"));
  EXPECT_THAT(rows, HasSubstr("\t1\t/dev/ttyUSB0\tCOM2, COM3 (chosen)\tmay be opened; " +
                              std::string(kFtdi) + "\n"));
  EXPECT_THAT(rows, HasSubstr("\t2\t/dev/gone\tCOM5\tnot present\n"));
  EXPECT_THAT(rows, HasSubstr("\t1\t/dev/ttyUSB1\t\tmay be opened\n"));
  // COM4 and COM6 lead by default to ttyS3 and ttyS5, which do not exist: nobody asked for them.
  EXPECT_EQ(rows.find("/dev/ttyS3"), std::string::npos);
  EXPECT_EQ(rows.find("/dev/ttyS5"), std::string::npos);
  EXPECT_EQ(rows.find("/dev/ttyS1\t"), std::string::npos);  // no UART behind it
}

TEST_F(PortsCliTest, ComDeviceStoresAByIdPathAsGiven) {
  const std::string byId = "/dev/serial/by-id/usb-FTDI_not_plugged_in-if00-port0";
  EXPECT_EQ(Run({"com-device", "2", byId}), 0);
  EXPECT_EQ(Text("ComDevice2"), byId);
  EXPECT_THAT(out.str(), HasSubstr("COM2=" + byId + "\n"));
  EXPECT_THAT(err.str(), HasSubstr("does not exist now"));
  EXPECT_EQ(Run({"com-device", "2", "/dev/null"}), 0);
  EXPECT_EQ(Text("ComDevice2"), "/dev/null");
  EXPECT_EQ(err.str().find("does not exist"), std::string::npos);
}

}  // namespace
