#include "params/DeviceCompare.h"

#include "params/ConfigCheck.h"
#include "params/ParamsOperations.h"
#include "params/UploadRecording.h"

namespace qelta {

namespace {

void PostLine(OutputRows& rows, const LineComparison& line) {
  rows.AddOutputRow(line.source, line.match ? "in sync" : "differs",
                    line.match ? kImageSuccess : kImageFailure, RowKind::Information);
  rows.SetRowText(rows.RowCount() - 1, 2,
                  line.match
                      ? line.fileValue
                      : "device " + line.deviceValue.value_or("?") + ", file " + line.fileValue);
}

}  // namespace

DeviceComparison CompareWithDevice(TerminalView& terminal, const std::string& path,
                                   int16_t deviceType) {
  DeviceComparison result;
  terminal.link.Disconnect();
  if (terminal.stations.clearSilent) terminal.stations.clearSilent();
  const std::optional<int16_t> found = ConnectToDevice(terminal, "(compare)");
  if (!found) {
    terminal.link.Disconnect();
    return result;
  }
  if (deviceType != 0 && deviceType != *found) {
    terminal.rows.AddOutputRow("Wrong device type", std::to_string(*found), kImageFailure);
    terminal.rows.SetRowText(terminal.rows.RowCount() - 1, 2,
                             "the file is compared for type " + std::to_string(deviceType));
    terminal.link.Disconnect();
    return result;
  }
  FunctionKeyTable keys = terminal.state.functionKeys;
  for (FunctionKeyEntry& key : keys) key.text.clear();  // as "Set" begins
  const auto writes = RecordUpload(path, *found, keys, *terminal.state.eepromPage);
  if (!writes) {
    terminal.rows.AddOutputRow("Cannot open file for reading!", "File: " + path, kImageFailure);
    terminal.link.Disconnect();
    return result;
  }
  const FileMemory file(*writes);
  MemoryBytes device;
  if (!ReadFileAddresses(terminal, file, device)) return result;
  terminal.link.Disconnect();
  result.read = true;
  result.lines = CompareLines(file, &device);
  std::size_t differing = 0;
  for (const LineComparison& line : result.lines) {
    PostLine(terminal.rows, line);
    if (!line.match) ++differing;
  }
  const std::string lines = std::to_string(result.lines.size()) + " lines";
  if (differing == 0) {
    terminal.rows.AddOutputRow("In sync", lines, kImageSuccess);
  } else {
    terminal.rows.AddOutputRow("Differs", std::to_string(differing) + " of " + lines, kImageFailure,
                               RowKind::Information);
  }
  return result;
}

std::optional<DeviceComparison> CompareWithDeviceFile(TerminalView& terminal) {
  const std::optional<FileAndType> chosen =
      AskFileAndDeviceType(terminal.ui, "Compare with device");
  if (!chosen) return std::nullopt;
  terminal.rows.AddOutputRow("Compare with device", chosen->path, kImageInfo);
  return CompareWithDevice(terminal, chosen->path, chosen->type);
}

}  // namespace qelta
