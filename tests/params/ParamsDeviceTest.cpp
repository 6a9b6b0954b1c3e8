// The parameter operations end to end: the link library talks over a pty to a simulated hand
// terminal or base station, and the device's memory is checked afterwards.
#include <gtest/gtest.h>

#include <map>

#include "SimLinkForm.h"
#include "params/ParamsOperations.h"

namespace qelta::test {
namespace {

// What the example file means, written out by hand: address -> byte on the terminal's page 2.
std::map<size_t, uint8_t> ExampleTerminalBytes() {
  std::map<size_t, uint8_t> bytes;
  auto text = [&](size_t address, const std::string& value) {
    for (size_t i = 0; i < value.size(); ++i) bytes[address + i] = static_cast<uint8_t>(value[i]);
  };
  text(100, "Warehouse North     ");
  bytes[120] = 12;
  bytes[0] = 3;
  bytes[121] = 60;
  bytes[122] = 1;
  bytes[134] = 1;
  text(195, "Stock count         ");
  bytes[125] = 5;
  bytes[128] = 1;
  bytes[129] = 0;
  bytes[135] = 12;
  bytes[143] = 7;
  bytes[141] = 1234 / 256;
  bytes[142] = 1234 % 256;
  bytes[137] = 1;
  bytes[138] = 0x12;
  bytes[139] = 0x34;
  bytes[140] = 0x56;
  bytes[658] = 1;
  bytes[130] = 200;
  bytes[144] = 1;
  bytes[126] = 5;
  bytes[127] = 3;
  bytes[145] = 1;
  for (int n = 1; n <= 7; ++n) bytes[145 + n] = static_cast<uint8_t>(2 * n);
  bytes[123] = 120;
  bytes[133] = 4;
  bytes[136] = 2;
  bytes[32] = 1;
  bytes[153] = 1;
  bytes[154] = 0;
  text(155, "Locked - call office");
  text(175, "Ext. 4711           ");
  bytes[124] = 1;
  bytes[132] = 0;
  bytes[654] = 1;
  bytes[655] = 0;
  bytes[657] = 1;
  for (int n = 1; n <= 6; ++n) text(441 + 12 * (n - 1), "00809800A1B" + std::to_string(1 + n));
  text(570, "Dock 1      ");
  text(582, "Dock 2      ");
  text(594, "Printer     ");
  const char* keys[] = {"YES", "NO", "CANCEL", "QTY", "+1", "-1", "MENU", "HELP", "SHIFT", "DONE"};
  for (int n = 1; n <= 10; ++n) {
    const std::string slot = std::string(keys[n - 1]) + "\n\r";
    bytes[215 + 16 * (n - 1)] = static_cast<uint8_t>(slot.size());
    text(216 + 16 * (n - 1), slot);
  }
  return bytes;
}

TEST(ParamsOnDevice, ExampleFileLandsByteForByteInTheTerminal) {
  SimLine terminal(8);
  LinkForm f;
  f.Attach(3, terminal);
  f.form.configFilePath = kDataDir + "examples/hand_terminal_settings.pcg";
  UploadConfiguration(f.form);

  EXPECT_EQ(f.FailureRows(), std::vector<std::string>{});
  ASSERT_FALSE(f.rows.rows.empty());
  EXPECT_EQ(f.rows.rows.back().name, "File END");
  EXPECT_EQ(f.state.eepromPage, 2);
  const std::map<size_t, uint8_t> expected = ExampleTerminalBytes();
  const std::vector<uint8_t> memory = terminal.Extended();
  for (size_t a = 0; a < 1024; ++a) {
    const auto it = expected.find(a);
    const uint8_t want = it != expected.end() ? it->second : sim::kErasedByte;
    EXPECT_EQ(memory[a], want) << "address " << a;
  }
}

TEST(ParamsOnDevice, RawBlocksAndBaseStationPage) {
  SimLine terminal(8);
  LinkForm f;
  f.Attach(3, terminal);
  f.form.configFilePath = kDataDir + "examples/raw_blocks.pcg";
  UploadConfiguration(f.form);
  EXPECT_EQ(f.FailureRows(), std::vector<std::string>{});
  const std::vector<uint8_t> memory = terminal.Extended();
  const std::vector<uint8_t> block{1, 2, 31, 1, 44, 'A', 'B', 0x0A, 0xFF, 'Q', 'e', 'l', 't', 'a'};
  EXPECT_EQ(std::vector<uint8_t>(memory.begin() + 300, memory.begin() + 314), block);
  EXPECT_EQ(memory[314], sim::kErasedByte);
  EXPECT_EQ(std::vector<uint8_t>(memory.begin() + 320, memory.begin() + 336),
            std::vector<uint8_t>(16, 0));
  EXPECT_EQ(std::string(memory.begin() + 340, memory.begin() + 354),
            std::string("Serviced 2026\0", 14));

  SimLine station(9);
  LinkForm b;
  b.Attach(4, station);
  b.form.configFilePath = kDataDir + "examples/base_station_channel.pcg";
  UploadConfiguration(b.form);
  EXPECT_EQ(b.FailureRows(), std::vector<std::string>{});
  EXPECT_EQ(b.state.eepromPage, 0);
  const std::vector<uint8_t> page0 = station.device().Page(0);
  EXPECT_EQ(page0[13], 3);
  EXPECT_EQ(page0[12], 1);
}

TEST(ParamsOnDevice, DeviceFallingSilentMidFileCancelsTheUpload) {
  SimLine terminal(8);
  sim::FaultKnobs faults;
  faults.drop_after_frames = 4;  // the identification and three writes
  terminal.device().SetFaults(faults);
  LinkForm f;
  f.Attach(3, terminal);
  f.form.configFilePath = f.folder.Write(
      "silent.pcg", "VOLUME:4\nSLEEP:20\nBACKLIT:1\nKEYSOUND:1\nMENULANG:2\nF1TXT:x\n");
  UploadConfiguration(f.form);
  const std::vector<uint8_t> memory = terminal.Extended();
  EXPECT_EQ(memory[133], 4);
  EXPECT_EQ(memory[123], 20);
  EXPECT_EQ(memory[122], 1);
  EXPECT_EQ(memory[132], sim::kErasedByte);
  EXPECT_EQ(memory[136], sim::kErasedByte);
  EXPECT_EQ(memory[215], sim::kErasedByte);
  EXPECT_EQ(f.FailureRows(),
            (std::vector<std::string>{"Communication failure!", "Operation cancelled!"}));
  EXPECT_FALSE(f.rows.Has("File END"));
  EXPECT_EQ(f.ui.Beeps(), 1);
}

TEST(ParamsOnDevice, ReadOutReproducesEveryParameterInABlankTerminal) {
  SimLine source(8);
  LinkForm f;
  LoadReadSetup(f.form);
  ASSERT_EQ(f.selection.size(), 53u);
  f.Attach(3, source);
  f.form.configFilePath = kDataDir + "examples/hand_terminal_settings.pcg";
  UploadConfiguration(f.form);
  ASSERT_EQ(f.FailureRows(), std::vector<std::string>{});

  const std::string readout = f.folder.path() + "/readout.pcg";
  f.ui.QueueFileDialogResult(readout);
  ReadParameters(f.form);
  ASSERT_EQ(f.rows.rows.size(), 1u);
  EXPECT_EQ(f.rows.rows[0].name, std::to_string(f.selection.size()) + " parameters read OK.");
  ASSERT_EQ(f.ui.Processes().size(), 1u);
  EXPECT_EQ(f.ui.Processes()[0].argv.back(), readout);

  SimLine blank(8);
  f.Attach(4, blank);
  f.rows.rows.clear();
  f.form.configFilePath = readout;
  UploadConfiguration(f.form);
  EXPECT_EQ(f.FailureRows(), std::vector<std::string>{});  // uploads cleanly: no warnings

  const std::vector<uint8_t> a = source.Extended();
  const std::vector<uint8_t> b = blank.Extended();
  size_t compared = 0;
  for (const SelectionEntry& entry : f.selection) {
    const size_t length = entry.kind == SelectionKind::kFunctionKeyText ? 16 : entry.length;
    for (size_t i = 0; i < length; ++i) {
      const size_t address = entry.address + i;
      EXPECT_EQ(a[address], b[address]) << entry.name << " address " << address;
      ++compared;
    }
  }
  EXPECT_GT(compared, 300u);
}

TEST(ParamsOnDevice, DeviceReportForBothKinds) {
  SimLine terminal(8, 4321);
  terminal.Poke(99, std::string(1, '\x08'), sim::MemoryArea::kExtended);
  terminal.Poke(20000, std::string("HT-433 v2.3.1\0", 14), sim::MemoryArea::kExtended);
  terminal.Poke(86, std::string(1, char(98)), sim::MemoryArea::kExtended);
  LinkForm f;
  f.Attach(3, terminal);
  f.form.configFilePath = kDataDir + "examples/hand_terminal_settings.pcg";
  UploadConfiguration(f.form);
  f.rows.rows.clear();
  ReadDeviceInfo(f.form);
  std::vector<std::pair<std::string, std::string>> rows;
  for (const Row& row : f.rows.rows) rows.emplace_back(row.name, row.value);
  EXPECT_EQ(rows, (std::vector<std::pair<std::string, std::string>>{
                      {"Firmware", "HT-433 v2.3.1"},
                      {"Comm ID", "4321"},
                      {"Parameter set", "1.2"},
                      {"Channel", "5"},
                      {"Radio calibration", "1, cal=98"},
                      {"Terminal name", "Warehouse North     "},
                      {"Heading", "Stock count         "},
                      {"LCD contrast", "60"},
                      {"Sleep time (s)", "120"},
                      {"Volume", "4"},
                      {"Menu language", "2"},
                      {"Device kind", "Hand terminal\n"}}));

  SimLine station(9, 77);
  station.Poke(99, std::string(1, '\x09'), sim::MemoryArea::kPage0);
  station.Poke(12, std::string(1, '\x01'), sim::MemoryArea::kPage0);
  station.Poke(13, std::string(1, '\x06'), sim::MemoryArea::kPage0);
  station.Poke(22, std::string(1, char(66)), sim::MemoryArea::kPage0);
  LinkForm b;
  b.Attach(5, station);
  ReadDeviceInfo(b.form);
  rows.clear();
  for (const Row& row : b.rows.rows) rows.emplace_back(row.name, row.value);
  EXPECT_EQ(rows,
            (std::vector<std::pair<std::string, std::string>>{{"Comm ID", "77"},
                                                              {"Channel", "6"},
                                                              {"Radio calibration", "2, cal=66"},
                                                              {"Base station mode", "1"},
                                                              {"Device kind", "Base station\n"}}));

  // A device kind the template does not know.
  station.Poke(99, std::string(1, '\x2C'), sim::MemoryArea::kPage0);
  ReadDeviceInfo(b.form);
  ASSERT_EQ(b.rows.rows.size(), 1u);
  EXPECT_EQ(b.rows.rows[0].name, "Unknown device");
  EXPECT_EQ(b.rows.rows[0].value, "Type: 44 (2C)");
}

}  // namespace
}  // namespace qelta::test
