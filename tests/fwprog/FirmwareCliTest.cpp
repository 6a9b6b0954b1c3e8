// qeltaconfig-cli firmware FILE, in-process, against a simulated device in its ROM loader on a
// pty found as COM1: the rows it prints, its progress lines and its exit code.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "../link_boot/BootTestSupport.h"
#include "cli/CliContext.h"

using boottest::Bytes;
using qelta::sim::BootLoaderKnobs;

namespace {

class FirmwareCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.Path();
    std::filesystem::create_directories(root_ + "/bin");
    setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
    // The boot loader finds its boot file in the form's start folder, the working folder here.
    boottest::WriteBootFile("5vboot.a20", 0xB600, boottest::Pattern(12));
    boottest::WriteBinary(root_ + "/Hsbt0301.a20", boottest::Pattern(70));
  }
  void TearDown() override {
    unsetenv("HALVEX_COM1");
    unsetenv("HALVEX_COM3");
  }

  void StartDevice(const BootLoaderKnobs& knobs = {}, const char* comVariable = "HALVEX_COM1") {
    line_ = std::make_unique<boottest::SimLine>(qelta::sim::kTypeHandTerminal, knobs);
    line_->Device().SetBootMode(true);
    setenv(comVariable, line_->Path().c_str(), 1);
  }

  // `inProgramFolder`: the form makes the program's folder the working folder, as the program
  // itself does.
  int Run(std::vector<std::string> args, bool inProgramFolder = false) {
    args.insert(args.begin(), "qeltaconfig-cli");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    FormEnvironment env;
    env.settingsFile = root_ + "/config/Tervana/QeltaConfigurator.conf";
    env.workingFolder.exePath = root_ + "/bin/qeltaconfig-cli";
    env.changeDirectory = inProgramFolder;
    std::ostringstream o, e;
    const int code =
        RunCli(static_cast<int>(argv.size()), argv.data(), o, e, AllCliRegistrars(), env);
    out_ = o.str();
    err_ = e.str();
    return code;
  }

  // The rows printed, as "image<TAB>name", in order.
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    std::istringstream in(out_);
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] != '+') continue;
      std::istringstream fields(line);
      std::string index, image, name;
      std::getline(fields, index, '\t');
      std::getline(fields, image, '\t');
      std::getline(fields, name, '\t');
      rows.push_back(image + "\t" + name);
    }
    return rows;
  }
  // The percentages of the plain progress lines.
  std::vector<int> Percentages() const {
    std::vector<int> out;
    std::istringstream in(err_);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("firmware: ", 0) == 0) out.push_back(std::stoi(line.substr(10)));
    }
    return out;
  }

  boottest::TempWorkDir dir_;
  std::string root_;
  std::unique_ptr<boottest::SimLine> line_;
  std::string out_, err_;
};

TEST_F(FirmwareCliTest, ALoadPrintsItsRowsAndProgressAndSucceeds) {
  StartDevice();
  // The boot file lies beside the program; the image is named relative to where the command
  // was started.
  std::filesystem::copy_file("5vboot.a20", root_ + "/bin/5vboot.a20");
  std::filesystem::remove("5vboot.a20");

  EXPECT_EQ(Run({"firmware", "Hsbt0301.a20"}, /*inProgramFolder=*/true), 0) << err_;

  EXPECT_EQ(Rows(), (std::vector<std::string>{"2\tUploading...", "1\tUPLOADING DONE",
                                              "2\tREMOVE BOOT CABLE FROM DEVICE",
                                              "2\tREMOVE BATTERIES AND PUT THEM BACK AGAIN"}))
      << out_;
  EXPECT_EQ(line_->Loader().BlockAddresses(), (std::vector<uint16_t>{0, 32, 64}));
  Bytes flash(0x10000, 0xFF);
  const Bytes firmware = boottest::Pattern(70);
  std::copy(firmware.begin(), firmware.end(), flash.begin());
  EXPECT_EQ(line_->Loader().Flash(), flash);

  // Not a terminal: plain lines, a few percent apart, rising to 100.
  const std::vector<int> percent = Percentages();
  ASSERT_GE(percent.size(), 3u) << err_;
  EXPECT_EQ(percent.front(), 0);
  EXPECT_EQ(percent.back(), 100);
  for (size_t i = 1; i < percent.size(); ++i) {
    EXPECT_GT(percent[i], percent[i - 1]);
    if (percent[i] != 100) {
      EXPECT_GE(percent[i], percent[i - 1] + 5);
    }
  }
  EXPECT_NE(err_.find("(17/17)"), std::string::npos) << err_;  // 14 image bytes, 3 blocks
}

TEST_F(FirmwareCliTest, FailureRowsGiveANonZeroExitCode) {
  struct Case {
    const char* name;
    BootLoaderKnobs knobs;
    std::vector<std::string> args;
    std::string row;
    std::function<void()> prepare = {};
    std::string reason = {};  // shown beside the failure row
  };
  BootLoaderKnobs wrongEcho;
  wrongEcho.wrong_echo_at = 3;
  BootLoaderKnobs rejected;
  rejected.reject_block_at = 2;
  for (const Case& c : {
           Case{"wrong echo",
                wrongEcho,
                {"firmware", "Hsbt0301.a20"},
                "0\tBoot load error: <third>"},
           Case{"rejected block",
                rejected,
                {"firmware", "Hsbt0301.a20"},
                "0\tFlash verification failed!"},
           Case{"missing image", {}, {"firmware", "Hsbt-none.a20"}, "0\tCan't open FW file"},
           Case{"empty image",
                {},
                {"firmware", "Hsbt-empty.a20"},
                "0\tCan't open FW file",
                [] { boottest::WriteBinary("Hsbt-empty.a20", {}); },
                "file is empty"},
           Case{"image past the address space",
                {},
                {"firmware", "Hsbt-long.a20"},
                "0\tCan't open FW file",
                [] { boottest::WriteBinary("Hsbt-long.a20", Bytes(0x10001, 0x22)); },
                "file is larger than the device's 64 KiB address space"},
           Case{"no boot file for the name", {}, {"firmware", "Hsbt0301.a20"}, ""},
       }) {
    SCOPED_TRACE(c.name);
    StartDevice(c.knobs);
    if (c.row.empty()) std::filesystem::remove("5vboot.a20");
    if (c.prepare) c.prepare();

    EXPECT_EQ(Run(c.args), 1);
    if (!c.reason.empty()) {
      EXPECT_NE(out_.find("Can't open FW file\t\t" + c.reason + "\n"), std::string::npos) << out_;
      // Refused before anything was sent: the old firmware is still there, nothing erased.
      EXPECT_EQ(line_->Loader().Bootstrap(), Bytes{});
    }

    const std::string expected = c.row.empty() ? "0\tCan't open boot file" : c.row;
    EXPECT_EQ(Rows(), (std::vector<std::string>{"2\tUploading...", expected})) << out_;
    const std::vector<int> percent = Percentages();
    EXPECT_TRUE(percent.empty() || percent.back() < 100) << err_;
    line_.reset();
  }
}

TEST_F(FirmwareCliTest, AnotherComPortCanBeNamedForOneLoad) {
  StartDevice({}, "HALVEX_COM3");

  EXPECT_EQ(Run({"firmware", "--com", "3", "Hsbt0301.a20"}), 0) << err_;
  EXPECT_EQ(Rows().size(), 4u) << out_;
  EXPECT_EQ(line_->Loader().BlockAddresses().size(), 3u);

  // The stored choice is untouched: the next run speaks to COM1, where nothing answers.
  EXPECT_EQ(Run({"settings"}), 0);
  EXPECT_NE(out_.find("ComPort=1\n"), std::string::npos) << out_;

  EXPECT_NE(Run({"firmware", "--com", "0x", "Hsbt0301.a20"}), 0);
  EXPECT_NE(Run({"firmware", "--com", "40000", "Hsbt0301.a20"}), 0);
  EXPECT_NE(err_.find("1 to 32767"), std::string::npos) << err_;
  EXPECT_NE(Run({"firmware"}), 0);  // the image is required
}

}  // namespace
