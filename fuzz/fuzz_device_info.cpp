// Any bytes as the device-information template "RFDeviceInfo.txt", read by the device report
// against a memory-backed hand terminal and base station, in and out of production mode.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FakeDevice.h"
#include "FuzzFiles.h"
#include "params/ParamsOperations.h"
#include "params/TerminalView.h"
#include "ui/ScriptedUi.h"

namespace {

using namespace qelta;
using qelta::fuzz::Expect;

void Report(int16_t deviceType, int32_t production, size_t templateLines) {
  test::FakeDevice device;
  device.deviceType = deviceType;
  // The device-kind byte opens the template's section of that number.
  device.memory[deviceType == 8 ? 2 : 0][99] = static_cast<uint8_t>(deviceType);
  for (size_t a = 0; a < 512; ++a) device.memory[2][a] = static_cast<uint8_t>(a * 7 + 1);
  const std::string firmware = "HT 2.3.1";
  std::copy(firmware.begin(), firmware.end(), device.memory[2].begin() + 20000);

  test::FakeRows rows;
  ScriptedUi ui;
  fleet::StationState state;
  state.eepromPage = 1;
  std::vector<SelectionEntry> selection;
  fleet::RunSettings settings;
  settings.workingFolder = qelta::fuzz::ScratchFolder::Get().Dir();
  settings.comPort = 1;
  settings.productionMode = production != 0;
  TerminalView form(device, rows, ui, state, settings, selection);
  ReadDeviceInfo(form);

  Expect(!device.connected, "the report closes the link");
  Expect(state.eepromPage == (deviceType == 8 ? 2 : 0), "the page of the device type");
  Expect(device.writes.empty(), "the report writes nothing into the device");
  Expect(rows.rows.size() <= templateLines + 1, "at most one row per template line");
  for (size_t i = 0; i < rows.rows.size(); ++i) {
    const auto& row = rows.rows[i];
    if (row.name == "Unknown device" && row.image == kImageFailure) {
      Expect(i + 1 == rows.rows.size(), "\"Unknown device\" comes last");
    } else {
      Expect(row.image == kImageInfo, "item rows are information rows");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qelta::fuzz::ScratchFolder::Get().Write(kDeviceInfoFileName, data, size);
  // A template line is read in pieces of at most 119 characters.
  size_t pieces = 0;
  for (size_t i = 0, run = 0; i < size; ++i) {
    ++run;
    if (data[i] == '\n' || run == 119 || i + 1 == size) {
      ++pieces;
      run = 0;
    }
  }
  Report(8, 1, pieces);
  Report(9, 0, pieces);
  return 0;
}
