#include "params/ParamsOperations.h"

#include <cstdio>
#include <filesystem>

#include "params/ColonFields.h"
#include "params/ConfigUpload.h"
#include "params/DecimalValue.h"
#include "params/MemoryBounds.h"
#include "params/ParameterReadout.h"
#include "params/ParameterWriter.h"
#include "params/ReadSetup.h"
#include "params/ReadoutTarget.h"

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

void ErrorBox(ParamsForm& form, const std::string& text, const std::string& caption) {
  form.ui.MessageBox(text, caption, MessageButtons::Ok, MessageIcon::Error);
}

void RestoreStartDir(const ParamsForm& form) {
  if (form.startDir.empty()) return;
  std::error_code ignored;
  std::filesystem::current_path(form.startDir, ignored);
}

void StartEditor(ParamsForm& form, const std::string& path) {
  ProcessRequest request;
  request.argv = form.editorCommand;
  if (request.argv.empty()) request.argv.push_back("xdg-open");
  request.argv.push_back(path);
  form.ui.StartProcess(request);
}

// The value after the keyword's "XXX=" prefix of an item in the selection file.
int16_t AddressAfter(const std::string& item, size_t prefix) {
  if (item.size() <= prefix) return 0;
  return CutTo16(ParseDecimal(std::string_view(item).substr(prefix)));
}

}  // namespace

void UploadConfiguration(ParamsForm& form) {
  form.link.Disconnect();
  if (form.stations.clearSilent) form.stations.clearSilent();
  ParameterWriter(form.link, form.rows, form.state.functionKeys).ClearFunctionKeys();

  std::optional<StationTarget> station;
  if (form.listShowsBaseStations && form.stations.selected) station = form.stations.selected();
  if (station) {
    if (form.stations.checkPresenceFails && form.stations.checkPresenceFails(*station)) {
      if (form.stations.reportSilent) form.stations.reportSilent("(set config)");
      return;
    }
    if (form.link.ConnectTCP(station->address, station->port) != 0) {
      form.rows.AddOutputRow(
          Format("Cannot connect to %hu @ %s", station->port, station->addressText.c_str()), "",
          kImageFailure);
      form.ui.Beep();
      return;
    }
  } else {
    if (!form.link.Connect(static_cast<int16_t>(form.comPort), kSerialBaud)) {
      form.rows.DeleteAllRows();
      form.rows.AddOutputRow(" not available!", "", kImageFailure);
      form.rows.SetRowText(form.rows.RowCount() - 1, 2, form.link.LastFailure());
      form.ui.Beep();
      return;
    }
    form.deviceMenuEnabled = true;
  }

  const int16_t deviceType = form.link.GetDevice();
  if (deviceType == 8) {
    form.eepromPage = 2;
  } else if (deviceType == 9) {
    form.eepromPage = 0;
  } else {
    form.rows.AddOutputRow(" Qelta device not found", "", kImageFailure);
    form.ui.Beep();
    return;
  }
  // From here on no write goes where the device keeps nothing of it (or keeps it elsewhere).
  MemoryBoundsLink device(form.link, form.rows, deviceType);
  ParameterWriter fileWriter(device, form.rows, form.state.functionKeys);
  fileWriter.SetTargetPage(form.eepromPage);

  switch (UploadConfigurationFile(device, form.rows, fileWriter, form.configFilePath)) {
    case UploadEnd::kFileNotOpened:
      return;
    case UploadEnd::kParameterFailure:
      form.ui.Beep();
      return;
    case UploadEnd::kFinished:
      RestoreStartDir(form);
      return;
  }
}

void EditConfiguration(ParamsForm& form) { StartEditor(form, form.configFilePath); }

void LoadReadSetup(ParamsForm& form) {
  ReadSetupResult result = LoadReadSetupFile(form.programDir + kReadSetupFileName);
  if (result.tooManyEntries) {
    ErrorBox(form, "Alert: too many entries defined for the hand terminal read setup", "Error");
    form.state.selection.clear();
    return;
  }
  if (!result.entries.empty()) form.state.selection = std::move(result.entries);
}

void ReadParameters(ParamsForm& form) {
  if (form.listShowsBaseStations) return;
  form.rows.DeleteAllRows();
  if (form.state.selection.empty()) {
    ErrorBox(form, "No configuration entries have been defined.", "Error");
    return;
  }
  FileDialogRequest request;
  request.save = true;
  request.initialName = "*.pcg";
  request.defaultExt = "pcg";
  request.filter = "QeltaC Files (*.pcg)";
  request.hideReadOnly = true;
  const std::optional<std::string> path = form.ui.FileDialog(request);
  if (!path) return;

  form.link.Disconnect();
  form.rows.InsertRow(0, Format("Connecting to COM%hu", static_cast<uint16_t>(form.comPort)),
                      kImageInfo);
  if (!form.link.Connect(static_cast<int16_t>(form.comPort), kSerialBaud)) {
    ErrorBox(form, Format("Cannot connect to COM port.\nPort=%d.", form.comPort), "Error");
    return;
  }
  int16_t device = form.link.GetDevice();
  if (device < 0) {
    form.rows.AddOutputRow("Cannot get device on COM" + std::to_string(form.comPort), "",
                           kImageFailure);
    form.link.Disconnect();
    return;
  }
  if (device != 8) {
    ErrorBox(form, "Copying other device parameters than hand terminal's is not supported.",
             "Error, device=" + std::to_string(device));
    form.link.Disconnect();
    return;
  }
  form.rows.SetRowText(0, 1, "OK");
  form.rows.InsertRow(1, "Getting device...", kImageInfo);
  device = form.link.GetDevice();
  if (device != 8 && device != 9) {
    form.rows.DeleteAllRows();
    form.rows.InsertRow(
        0, Format("Cannot get device @ COM%lu.", static_cast<unsigned long>(form.comPort)),
        kImageFailure);
    return;
  }
  form.rows.SetRowText(1, 1, "OK");
  form.rows.SetRowText(1, 2, Format("Device=%hd.", device));

  // Opened before the read, emptied only when the read-out is complete.
  ReadoutTarget file;
  if (file.Open(*path) != 0) {
    ErrorBox(form, "Cannot open file. Name:" + *path, "File open error");
    return;
  }
  form.rows.DeleteAllRows();
  // The progress row, whatever its picture.
  form.rows.InsertRow(0, "Reading device parameters...", kImageSuccess, RowKind::Step);

  ReadoutImage image{};
  bool failed = false;
  for (int half = 0; half < 2; ++half) {
    if (!form.link.ReadEepromBlock(static_cast<int16_t>(255 * half), 2, 255)) failed = true;
    for (size_t a = 256 * static_cast<size_t>(half); a < 256 * static_cast<size_t>(half + 1); ++a) {
      const int16_t byte = form.link.GetEepByte(2, static_cast<int16_t>(a));
      if (byte == -1) failed = true;
      image[a] = static_cast<uint8_t>(byte);
    }
  }

  ReadoutKeys keys;
  std::string content;
  if (!failed) {
    for (const SelectionEntry& entry : form.state.selection) {
      form.rows.SetRowText(0, 1, entry.name);
      form.ui.KeepPainting();
      const std::string caption = DecodeSelectionEntry(entry, image, keys, content);
      if (!caption.empty()) form.rows.SetRowText(0, 2, caption);
    }
  }

  form.rows.DeleteAllRows();
  if (!failed) {
    form.rows.AddOutputRow(
        Format("%lu parameters read OK.", static_cast<unsigned long>(form.state.selection.size())),
        *path, kImageSuccess);
    content += FunctionKeySection(keys);
    if (!file.Commit(content)) {
      // The device was read but the file did not take it: say so rather than open a stub.
      form.rows.AddOutputRow("Cannot write file", *path, kImageFailure);
    } else {
      StartEditor(form, *path);
    }
  } else {
    file.Abandon();
    form.rows.InsertRow(0, "Reading parameters failed", kImageNone, RowKind::Failure);
  }
  form.link.Disconnect();
  if (form.storeSettingsPath) form.storeSettingsPath();
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

void ReadDeviceInfo(ParamsForm& form) {
  form.deviceMenuEnabled = false;
  bool baseStation = false;
  std::optional<StationTarget> station;
  if (form.stations.selected) station = form.stations.selected();
  if (station) {
    if (form.stations.confirmResponding && !form.stations.confirmResponding(*station)) return;
    if (form.link.ConnectTCP(station->address, station->port) != 0) {
      form.rows.AddOutputRow(
          Format("Connect error %hu @ %s", station->port, station->addressText.c_str()), "",
          kImageFailure);
      return;
    }
    baseStation = true;
  } else {
    const auto port = static_cast<uint16_t>(form.comPort);
    form.rows.AddOutputRow(Format("Connecting to COM%hu", port), "", kImageInfo);
    if (!form.link.Connect(static_cast<int16_t>(form.comPort), kSerialBaud)) {
      form.rows.DeleteAllRows();
      form.rows.AddOutputRow("Cannot open COM" + std::to_string(form.comPort), "", kImageFailure);
      form.rows.SetRowText(form.rows.RowCount() - 1, 2, form.link.LastFailure());
      form.ui.Beep();
      return;
    }
    form.rows.AddOutputRow(Format("Reading from COM%hu", port), "", kImageInfo);
    form.deviceMenuEnabled = true;
  }

  const int16_t device = form.link.GetDevice();
  form.rows.DeleteAllRows();
  form.listShowsBaseStations = false;
  if (device != 8 && device != 9) {
    form.rows.AddOutputRow(Format("Cannot find Tolvi device, dev=%d", device), "", kImageFailure);
    form.link.Disconnect();
    form.ui.Beep();
    form.deviceMenuEnabled = false;
    return;
  }
  form.rows.AddOutputRow("Reading device info...", "", kImageStep);

  int16_t kind = 0;
  if (device == 8) {
    form.eepromPage = 2;
    const char* failure = nullptr;
    if (!form.link.ReadEepromBlock(20000, 2, 40)) {
      failure = "Read FW version failed";
    } else if (!form.link.ReadEepromBlock(0, 2, 255)) {
      failure = "Read Eeprom block failed";
    }
    if (failure != nullptr) {
      form.rows.AddOutputRow(failure, "", kImageFailure);
      form.link.Disconnect();
      form.ui.Beep();
      return;
    }
    kind = form.link.GetEepByte(2, 99);
  } else {
    form.eepromPage = 0;
    baseStation = true;
    form.link.ReadEepromBlock(0, 0, 100);
    kind = form.link.ReadEepromVal(99, 0);
  }

  form.rows.DeleteAllRows();
  LineReader reader(kTemplatePiece);
  if (!reader.Open(form.programDir + kDeviceInfoFileName)) {
    form.rows.AddOutputRow("Cannot open [RFDeviceInfo.txt] file for reading!", "", kImageFailure);
    form.rows.SetRowText(form.rows.RowCount() - 1, 2, reader.FailureText());
    return;
  }
  DeviceInfoContext context{form.link, form.eepromPage, baseStation, device,
                            form.uiProduction != 0};
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
      form.rows.AddOutputRow(fields.first, *value, kImageInfo,
                             context.itemFailed ? RowKind::Failure : RowKind::Information);
    }
  }
  if (!sectionOpen) {
    form.rows.AddOutputRow(
        "Unknown device",
        Format("Type: %d (%02lX)", kind, static_cast<unsigned long>(static_cast<uint32_t>(kind))),
        kImageFailure);
  }
  reader.Close();
  form.link.Disconnect();
}

}  // namespace qelta
