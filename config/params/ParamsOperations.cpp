#include "params/ParamsOperations.h"

#include <cstdio>
#include <filesystem>

#include "params/CheckedWrites.h"
#include "params/ColonFields.h"
#include "params/ConfigUpload.h"
#include "params/DecimalValue.h"
#include "params/MemoryBounds.h"
#include "params/ParameterReadout.h"
#include "params/ParameterWriter.h"
#include "params/ReadSetup.h"
#include "params/ReadoutTarget.h"
#include "params/UploadRecording.h"

namespace qelta {

namespace {

constexpr int16_t kSerialBaud = 19200;
constexpr size_t kTemplatePiece = 119;

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

void ErrorBox(TerminalView& terminal, const std::string& text, const std::string& caption) {
  terminal.ui.MessageBox(text, caption, MessageButtons::Ok, MessageIcon::Error);
}

void RestoreStartDir(const TerminalView& terminal) {
  if (terminal.startFolder.empty()) return;
  std::error_code ignored;
  std::filesystem::current_path(terminal.startFolder, ignored);
}

void StartEditor(TerminalView& terminal, const std::string& path) {
  ProcessRequest request;
  request.argv = terminal.editorCommand;
  if (request.argv.empty()) request.argv.push_back("xdg-open");
  request.argv.push_back(path);
  terminal.ui.StartProcess(request);
}

// The value after the keyword's "XXX=" prefix of an item in the selection file.
int16_t AddressAfter(const std::string& item, size_t prefix) {
  if (item.size() <= prefix) return 0;
  return CutTo16(ParseDecimal(std::string_view(item).substr(prefix)));
}

// The file's upload to an identified device through `link`. From here on no write goes where the
// device keeps nothing of it (or keeps it elsewhere).
UploadEnd UploadToDevice(TerminalView& terminal, ParamLink& link, OutputRows& rows,
                         int16_t deviceType) {
  MemoryBoundsLink device(link, rows, deviceType);
  ParameterWriter fileWriter(device, rows, terminal.state.functionKeys);
  fileWriter.SetTargetPage(*terminal.state.eepromPage);
  return UploadConfigurationFile(device, rows, fileWriter, terminal.configFilePath);
}

}  // namespace

bool ReadFileAddresses(TerminalView& terminal, const FileMemory& file, MemoryBytes& into) {
  MemoryRange failed;
  if (ReadMemory(terminal.link, file.ReadBlocks(), into, &failed)) return true;
  terminal.rows.AddOutputRow("Cannot read the device's memory", RangeText(failed), kImageFailure);
  terminal.link.Disconnect();
  terminal.ui.Beep();
  return false;
}

std::optional<int16_t> ConnectToDevice(TerminalView& terminal, const std::string& silentSuffix) {
  std::optional<StationTarget> station;
  if (terminal.listShowsBaseStations && terminal.stations.selected)
    station = terminal.stations.selected();
  if (station) {
    if (terminal.stations.checkPresenceFails && terminal.stations.checkPresenceFails(*station)) {
      if (terminal.stations.reportSilent) terminal.stations.reportSilent(silentSuffix);
      return std::nullopt;
    }
    if (terminal.link.ConnectTCP(station->address, station->port) != 0) {
      terminal.rows.AddOutputRow(
          Format("Cannot connect to %hu @ %s", station->port, station->addressText.c_str()), "",
          kImageFailure);
      terminal.ui.Beep();
      return std::nullopt;
    }
  } else {
    if (!terminal.link.Connect(static_cast<int16_t>(terminal.settings.comPort), kSerialBaud)) {
      terminal.rows.DeleteAllRows();
      terminal.rows.AddOutputRow(" not available!", "", kImageFailure);
      terminal.rows.SetRowText(terminal.rows.RowCount() - 1, 2, terminal.link.LastFailure());
      terminal.ui.Beep();
      return std::nullopt;
    }
    terminal.state.deviceMenuEnabled = true;
  }

  const int16_t deviceType = terminal.link.GetDevice();
  if (deviceType != 8 && deviceType != 9) {
    terminal.rows.AddOutputRow(" Qelta device not found", "", kImageFailure);
    terminal.ui.Beep();
    return std::nullopt;
  }
  terminal.state.eepromPage = deviceType == 8 ? 2 : 0;
  return deviceType;
}

void UploadConfiguration(TerminalView& terminal) {
  terminal.written.reset();
  terminal.link.Disconnect();
  if (terminal.stations.clearSilent) terminal.stations.clearSilent();
  ParameterWriter(terminal.link, terminal.rows, terminal.state.functionKeys).ClearFunctionKeys();
  const std::optional<int16_t> deviceType = ConnectToDevice(terminal, "(set config)");
  if (!deviceType) return;

  const bool verify = terminal.settings.verifyWrites;
  const bool changedOnly = terminal.settings.writeChangedOnly;
  UploadEnd end;
  if (!verify && !changedOnly) {
    end = UploadToDevice(terminal, terminal.link, terminal.rows, *deviceType);
  } else {
    // What the upload will write, from its recording; in changed-only mode what the device holds
    // there is read first. A file that cannot be opened gets the upload's own row.
    const std::vector<RecordedWrite> writes =
        RecordUpload(terminal.configFilePath, *deviceType, terminal.state.functionKeys,
                     *terminal.state.eepromPage)
            .value_or(std::vector<RecordedWrite>{});
    MemoryBytes before;
    if (changedOnly && !ReadFileAddresses(terminal, FileMemory(writes), before)) return;
    CheckedWriteLink checked(terminal.link, terminal.rows, *deviceType, writes,
                             changedOnly ? &before : nullptr, verify);
    CheckedRows rows(terminal.rows, checked);
    end = UploadToDevice(terminal, checked, rows, *deviceType);
    if (end == UploadEnd::kFinished) terminal.written = checked.Summary();
  }
  switch (end) {
    case UploadEnd::kFileNotOpened:
      return;
    case UploadEnd::kParameterFailure:
      terminal.ui.Beep();
      return;
    case UploadEnd::kFinished:
      RestoreStartDir(terminal);
      return;
  }
}

void EditConfiguration(TerminalView& terminal) { StartEditor(terminal, terminal.configFilePath); }

void LoadReadSetup(TerminalView& terminal) {
  ReadSetupResult result = LoadReadSetupFile(terminal.settings.workingFolder + kReadSetupFileName);
  if (result.tooManyEntries) {
    ErrorBox(terminal, "Alert: too many entries defined for the hand terminal read setup", "Error");
    terminal.selection.clear();
    return;
  }
  if (!result.entries.empty()) terminal.selection = std::move(result.entries);
}

void ReadParameters(TerminalView& terminal) {
  if (terminal.listShowsBaseStations) return;
  terminal.rows.DeleteAllRows();
  if (terminal.selection.empty()) {
    ErrorBox(terminal, "No configuration entries have been defined.", "Error");
    return;
  }
  FileDialogRequest request;
  request.save = true;
  request.initialName = "*.pcg";
  request.defaultExt = "pcg";
  request.filter = "QeltaC Files (*.pcg)";
  request.hideReadOnly = true;
  const std::optional<std::string> path = terminal.ui.FileDialog(request);
  if (!path) return;

  terminal.link.Disconnect();
  terminal.rows.InsertRow(
      0, Format("Connecting to COM%hu", static_cast<uint16_t>(terminal.settings.comPort)),
      kImageInfo);
  if (!terminal.link.Connect(static_cast<int16_t>(terminal.settings.comPort), kSerialBaud)) {
    ErrorBox(terminal, Format("Cannot connect to COM port.\nPort=%d.", terminal.settings.comPort),
             "Error");
    return;
  }
  int16_t device = terminal.link.GetDevice();
  if (device < 0) {
    terminal.rows.AddOutputRow(
        "Cannot get device on COM" + std::to_string(terminal.settings.comPort), "", kImageFailure);
    terminal.link.Disconnect();
    return;
  }
  if (device != 8) {
    ErrorBox(terminal, "Copying other device parameters than hand terminal's is not supported.",
             "Error, device=" + std::to_string(device));
    terminal.link.Disconnect();
    return;
  }
  terminal.rows.SetRowText(0, 1, "OK");
  terminal.rows.InsertRow(1, "Getting device...", kImageInfo);
  device = terminal.link.GetDevice();
  if (device != 8 && device != 9) {
    terminal.rows.DeleteAllRows();
    terminal.rows.InsertRow(0,
                            Format("Cannot get device @ COM%lu.",
                                   static_cast<unsigned long>(terminal.settings.comPort)),
                            kImageFailure);
    return;
  }
  terminal.rows.SetRowText(1, 1, "OK");
  terminal.rows.SetRowText(1, 2, Format("Device=%hd.", device));

  // Opened before the read, emptied only when the read-out is complete.
  ReadoutTarget file;
  if (file.Open(*path) != 0) {
    ErrorBox(terminal, "Cannot open file. Name:" + *path, "File open error");
    return;
  }
  terminal.rows.DeleteAllRows();
  // The progress row, whatever its picture.
  terminal.rows.InsertRow(0, "Reading device parameters...", kImageSuccess, RowKind::Step);

  ReadoutImage image{};
  bool failed = false;
  for (int half = 0; half < 2; ++half) {
    if (!terminal.link.ReadEepromBlock(static_cast<int16_t>(255 * half), 2, 255)) failed = true;
    for (size_t a = 256 * static_cast<size_t>(half); a < 256 * static_cast<size_t>(half + 1); ++a) {
      const int16_t byte = terminal.link.GetEepByte(2, static_cast<int16_t>(a));
      if (byte == -1) failed = true;
      image[a] = static_cast<uint8_t>(byte);
    }
  }

  ReadoutKeys keys;
  std::string content;
  if (!failed) {
    for (const SelectionEntry& entry : terminal.selection) {
      terminal.rows.SetRowText(0, 1, entry.name);
      terminal.ui.KeepPainting();
      const std::string caption = DecodeSelectionEntry(entry, image, keys, content);
      if (!caption.empty()) terminal.rows.SetRowText(0, 2, caption);
    }
  }

  terminal.rows.DeleteAllRows();
  if (!failed) {
    terminal.rows.AddOutputRow(
        Format("%lu parameters read OK.", static_cast<unsigned long>(terminal.selection.size())),
        *path, kImageSuccess);
    content += FunctionKeySection(keys);
    if (!file.Commit(content)) {
      // The device was read but the file did not take it: say so rather than open a stub.
      terminal.rows.AddOutputRow("Cannot write file", *path, kImageFailure);
    } else {
      StartEditor(terminal, *path);
    }
  } else {
    file.Abandon();
    terminal.rows.InsertRow(0, "Reading parameters failed", kImageNone, RowKind::Failure);
  }
  terminal.link.Disconnect();
  if (terminal.storeSettingsPath) terminal.storeSettingsPath();
}

std::string CalibrationText(int16_t calibration, bool baseStation) {
  struct Window {
    int low, high;
  };
  static constexpr Window kBase[3] = {{80, 90}, {61, 71}, {42, 52}};
  static constexpr Window kTerminal[3] = {{94, 104}, {75, 85}, {55, 65}};
  const Window* windows = baseStation ? kBase : kTerminal;
  for (int type = 0; type < 3; ++type) {
    if (calibration >= windows[type].low && calibration <= windows[type].high) {
      return Format("%d, cal=%hd", type + 1, calibration);
    }
  }
  return Format("undefined (cal=%hd)", calibration);
}

std::optional<std::string> DeviceInfoItemValue(DeviceInfoContext& c, const std::string& item) {
  auto has = [&](const char* keyword) { return item.find(keyword) != std::string::npos; };
  if (has("FW_VER")) {
    return c.deviceType == 9 ? c.link.ReadEepStr(20000, 2, 40) : c.link.ReadMemStr(20000, 2, 40);
  }
  if (has("COMMID")) return c.link.GetID();
  if (has("VER")) {
    std::string text = std::to_string(c.link.GetEepByte(c.page, AddressAfter(item, 4)));
    text.insert(1, ".");
    return text;
  }
  if (has("CHANNEL")) {
    const int16_t channel =
        c.baseStation ? c.link.ReadEepromVal(13, 0) : c.link.ReadEepromVal(125, 2);
    if (channel == -1) {
      c.itemFailed = true;
      return std::string("Channel read error");
    }
    return std::to_string(channel);
  }
  if (has("RSSI_CALIB")) {
    if (!c.production) return std::nullopt;
    return CalibrationText(c.link.GetEepByte(c.page, c.baseStation ? 22 : 86), c.baseStation);
  }
  if (has("ADDR")) return std::to_string(c.link.GetEepByte(c.page, AddressAfter(item, 5)));
  if (has("NAME")) return c.link.ReadMemStr(AddressAfter(item, 5), c.page, 20);
  return item;
}

void ReadDeviceInfo(TerminalView& terminal) {
  terminal.state.deviceMenuEnabled = false;
  bool baseStation = false;
  std::optional<StationTarget> station;
  if (terminal.stations.selected) station = terminal.stations.selected();
  if (station) {
    if (terminal.stations.confirmResponding && !terminal.stations.confirmResponding(*station))
      return;
    if (terminal.link.ConnectTCP(station->address, station->port) != 0) {
      terminal.rows.AddOutputRow(
          Format("Connect error %hu @ %s", station->port, station->addressText.c_str()), "",
          kImageFailure);
      return;
    }
    baseStation = true;
  } else {
    const auto port = static_cast<uint16_t>(terminal.settings.comPort);
    terminal.rows.AddOutputRow(Format("Connecting to COM%hu", port), "", kImageInfo);
    if (!terminal.link.Connect(static_cast<int16_t>(terminal.settings.comPort), kSerialBaud)) {
      terminal.rows.DeleteAllRows();
      terminal.rows.AddOutputRow("Cannot open COM" + std::to_string(terminal.settings.comPort), "",
                                 kImageFailure);
      terminal.rows.SetRowText(terminal.rows.RowCount() - 1, 2, terminal.link.LastFailure());
      terminal.ui.Beep();
      return;
    }
    terminal.rows.AddOutputRow(Format("Reading from COM%hu", port), "", kImageInfo);
    terminal.state.deviceMenuEnabled = true;
  }

  const int16_t device = terminal.link.GetDevice();
  terminal.rows.DeleteAllRows();
  terminal.state.listShowsBaseStations = false;
  if (device != 8 && device != 9) {
    terminal.rows.AddOutputRow(Format("Cannot find Tolvi device, dev=%d", device), "",
                               kImageFailure);
    terminal.link.Disconnect();
    terminal.ui.Beep();
    terminal.state.deviceMenuEnabled = false;
    return;
  }
  terminal.rows.AddOutputRow("Reading device info...", "", kImageStep);

  int16_t kind = 0;
  const int16_t page = device == 8 ? 2 : 0;
  terminal.state.eepromPage = page;
  if (device == 8) {
    const char* failure = nullptr;
    if (!terminal.link.ReadEepromBlock(20000, 2, 40)) {
      failure = "Read FW version failed";
    } else if (!terminal.link.ReadEepromBlock(0, 2, 255)) {
      failure = "Read Eeprom block failed";
    }
    if (failure != nullptr) {
      terminal.rows.AddOutputRow(failure, "", kImageFailure);
      terminal.link.Disconnect();
      terminal.ui.Beep();
      return;
    }
    kind = terminal.link.GetEepByte(2, 99);
  } else {
    baseStation = true;
    terminal.link.ReadEepromBlock(0, 0, 100);
    kind = terminal.link.ReadEepromVal(99, 0);
  }

  terminal.rows.DeleteAllRows();
  LineReader reader(kTemplatePiece);
  if (!reader.Open(terminal.settings.workingFolder + kDeviceInfoFileName)) {
    terminal.rows.AddOutputRow("Cannot open [RFDeviceInfo.txt] file for reading!", "",
                               kImageFailure);
    terminal.rows.SetRowText(terminal.rows.RowCount() - 1, 2, reader.FailureText());
    return;
  }
  DeviceInfoContext context{terminal.link, page, baseStation, device,
                            terminal.settings.productionMode};
  bool sectionOpen = false;
  while (auto line = reader.Next()) {
    const ColonFields fields = SplitColonFields(*line);
    if (fields.first == "DEVICE_ID") {
      if (!sectionOpen && ParseDecimal(fields.third) == kind) sectionOpen = true;
      continue;
    }
    if (!sectionOpen) continue;
    if (fields.first == "END") break;
    // Every line of the open section is an item line, a blank one too.
    context.itemFailed = false;
    if (auto value = DeviceInfoItemValue(context, fields.second)) {
      terminal.rows.AddOutputRow(fields.first, *value, kImageInfo,
                                 context.itemFailed ? RowKind::Failure : RowKind::Information);
    }
  }
  if (!sectionOpen) {
    terminal.rows.AddOutputRow(
        "Unknown device",
        Format("Type: %d (%02lX)", kind, static_cast<unsigned long>(static_cast<uint32_t>(kind))),
        kImageFailure);
  }
  reader.Close();
  terminal.link.Disconnect();
}

}  // namespace qelta
