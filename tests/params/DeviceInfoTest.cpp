#include <gtest/gtest.h>

#include "TestForm.h"
#include "params/ParamsOperations.h"

namespace qelta::test {
namespace {

class DeviceInfoTest : public ::testing::Test {
 protected:
  void Template(const std::string& content) { t.folder.Write(kDeviceInfoFileName, content); }
  std::vector<std::pair<std::string, std::string>> Rows() const {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const Row& row : t.rows.rows) rows.emplace_back(row.name, row.value);
    return rows;
  }
  TestForm t;
};

TEST_F(DeviceInfoTest, HandTerminalSectionInTemplateOrder) {
  auto& mem = t.device.memory[2];
  mem[99] = 5;
  mem[40] = 23;
  mem[41] = 7;
  mem[86] = 80;
  mem[125] = 6;
  mem[60] = 200;
  const std::string fw = "HT 2.3.1";
  std::copy(fw.begin(), fw.end(), mem.begin() + 20000);
  const std::string name = "Terminal A";
  std::copy(name.begin(), name.end(), mem.begin() + 100);
  t.settings.productionMode = true;
  Template(
      "DEVICE_ID:Base station:9\n"
      "Wrong:ADDR=1\n"
      "END:\n"
      "DEVICE_ID:Hand terminal:5\n"
      "Firmware:FW_VER\n"
      "Comm ID:COMMID\n"
      "Version:VER=40\n"
      "Sub version:VER=41\n"
      "\n"
      "Channel:CHANNEL\n"
      "Radio:RSSI_CALIB\n"
      "Byte 60:ADDR=60\n"
      "Name:NAME=100\n"
      "Note:plain text\n"
      "DEVICE_ID:Other:5\n"
      "END:\n"
      "After:ADDR=1\n");
  ReadDeviceInfo(t.form);
  EXPECT_EQ(t.state.eepromPage, 2);
  EXPECT_TRUE(t.state.deviceMenuEnabled.value_or(false));
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{{"Firmware", "HT 2.3.1"},
                                                                      {"Comm ID", "10000"},
                                                                      {"Version", "2.3"},
                                                                      {"Sub version", "7."},
                                                                      {"\n", "\n"},
                                                                      {"Channel", "6"},
                                                                      {"Radio", "2, cal=80"},
                                                                      {"Byte 60", "200"},
                                                                      {"Name", "Terminal A"},
                                                                      {"Note", "plain text\n"}}));
  EXPECT_FALSE(t.device.connected);
  EXPECT_EQ(t.ui.Beeps(), 0);
}

// Every line of the open section is an item line: a blank one shows as a row of its own.
TEST_F(DeviceInfoTest, BlankLinesOfTheOpenSectionAreItems) {
  using RowList = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char* text;
    RowList rows;
  } cases[] = {
      {"DEVICE_ID:HT:8\nA:x:\n\nB:y:\nEND:\n", {{"A", "x"}, {"\n", "\n"}, {"B", "y"}}},
      {"DEVICE_ID:HT:8\r\nA:x:\r\n\r\nEND:\r\n", {{"A", "x"}, {"\n", "\n"}}},
      {"\nDEVICE_ID:HT:8\nA:x:\nEND:\n\n", {{"A", "x"}}},
      {"DEVICE_ID:HT:8\nA:x:\n\n", {{"A", "x"}, {"\n", "\n"}}},
      {"DEVICE_ID:HT:8\n  \n", {{"  \n", "  \n"}}},
  };
  t.device.memory[2][99] = 8;
  for (const auto& c : cases) {
    Template(c.text);
    ReadDeviceInfo(t.form);
    EXPECT_EQ(Rows(), c.rows) << c.text;
  }
}

TEST_F(DeviceInfoTest, CalibrationWindowsAndProductionMode) {
  EXPECT_EQ(CalibrationText(80, false), "2, cal=80");
  EXPECT_EQ(CalibrationText(70, false), "undefined (cal=70)");
  EXPECT_EQ(CalibrationText(94, false), "1, cal=94");
  EXPECT_EQ(CalibrationText(65, false), "3, cal=65");
  EXPECT_EQ(CalibrationText(80, true), "1, cal=80");
  EXPECT_EQ(CalibrationText(72, true), "undefined (cal=72)");
  EXPECT_EQ(CalibrationText(42, true), "3, cal=42");
  EXPECT_EQ(CalibrationText(-1, true), "undefined (cal=-1)");

  t.device.memory[2][99] = 1;
  Template("DEVICE_ID:HT:1\nRadio:RSSI_CALIB\nNote:x:\n");
  ReadDeviceInfo(t.form);
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{{"Note", "x"}}));
}

TEST_F(DeviceInfoTest, BaseStationUsesPageZero) {
  t.device.deviceType = 9;
  t.device.memory[0][99] = 9;
  t.device.memory[0][13] = 4;
  t.device.memory[0][22] = 85;
  t.device.memory[0][50] = 17;
  t.settings.productionMode = true;
  Template(
      "DEVICE_ID:HT:5\nWrong:x\nEND:\nDEVICE_ID:BS:9\nChannel:CHANNEL\nRadio:RSSI_CALIB\n"
      "B:ADDR=50\nEND:\n");
  ReadDeviceInfo(t.form);
  EXPECT_EQ(t.state.eepromPage, 0);
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{
                        {"Channel", "4"}, {"Radio", "1, cal=85"}, {"B", "17"}}));
}

TEST_F(DeviceInfoTest, UnknownDeviceAndMissingTemplate) {
  t.device.memory[2][99] = 0x2C;
  Template("DEVICE_ID:HT:5\nA:x\nEND:\n");
  ReadDeviceInfo(t.form);
  EXPECT_EQ(
      Rows(),
      (std::vector<std::pair<std::string, std::string>>{{"Unknown device", "Type: 44 (2C)"}}));
  EXPECT_EQ(t.rows.rows[0].image, kImageFailure);

  std::filesystem::remove(t.folder.path() + "/" + kDeviceInfoFileName);
  ReadDeviceInfo(t.form);
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{
                        {"Cannot open [RFDeviceInfo.txt] file for reading!", ""}}));
}

TEST_F(DeviceInfoTest, LinkFailures) {
  Template("DEVICE_ID:HT:0\nA:x\n");
  t.device.connectOk = false;
  ReadDeviceInfo(t.form);
  EXPECT_EQ(t.rows.Names(), std::vector<std::string>{"Cannot open COM3"});
  EXPECT_EQ(t.ui.Beeps(), 1);

  t.device.connectOk = true;
  t.device.deviceType = 4;
  ReadDeviceInfo(t.form);
  EXPECT_EQ(t.rows.Names(), std::vector<std::string>{"Cannot find Tolvi device, dev=4"});
  EXPECT_FALSE(t.state.deviceMenuEnabled.value_or(false));
  EXPECT_EQ(t.ui.Beeps(), 2);

  int confirmations = 0;
  t.form.stations.selected = [] {
    return std::optional<StationTarget>(StationTarget{"127.0.0.5", 0x0500007F, 2101});
  };
  t.form.stations.confirmResponding = [&](const StationTarget&) { return ++confirmations > 1; };
  t.rows.DeleteAllRows();
  ReadDeviceInfo(t.form);
  EXPECT_TRUE(t.rows.rows.empty());
  t.device.tcpResult = 1;
  ReadDeviceInfo(t.form);
  EXPECT_EQ(t.rows.Names(), std::vector<std::string>{"Connect error 2101 @ 127.0.0.5"});
}

}  // namespace
}  // namespace qelta::test
