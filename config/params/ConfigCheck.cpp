#include "params/ConfigCheck.h"

#include "params/DecimalValue.h"
#include "params/ParamsOperations.h"

namespace qelta {

namespace {

constexpr const char* kTypeDialogName = "CDeviceTypeDlg";
constexpr int kTypeField = 1;

DialogModel DeviceTypeDialog(const std::string& title) {
  DialogModel dialog;
  dialog.name = kTypeDialogName;
  dialog.title = title;
  DialogField type;
  type.controlId = kTypeField;
  type.name = "type";
  type.label = "Device type";
  type.kind = FieldKind::Choice;
  type.choices = {"8 hand terminal", "9 base station"};
  type.value = type.choices.front();
  dialog.Add(std::move(type));
  dialog.validate = [](DialogModel& d) -> std::string {
    const int32_t value = ParseDecimal(d.Value(kTypeField));
    if (value == kCheckTypeTerminal || value == kCheckTypeBaseStation) return "";
    return "The device type is 8 (hand terminal) or 9 (base station).";
  };
  return dialog;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<RecordedWrite> CheckConfiguration(TerminalView& terminal, const std::string& path,
                                              int16_t deviceType) {
  RecordingParamLink device(deviceType);
  // The dry run works on a copy of the state: the form's page, flags and function-key table stay
  // as they are, and the keys' send flags are those a real upload would find.
  fleet::StationState state;
  state.functionKeys = terminal.state.functionKeys;
  // A dry run writes everything: nothing is read from the model.
  fleet::RunSettings settings = terminal.settings;
  settings.verifyWrites = false;
  settings.writeChangedOnly = false;
  TerminalView dryRun(device, terminal.rows, terminal.ui, state, settings, terminal.selection);
  dryRun.configFilePath = path;
  dryRun.startFolder = terminal.startFolder;
  UploadConfiguration(dryRun);
  return device.Writes();
}

std::string WriteAddressText(const RecordedWrite& write) {
  std::string text = std::to_string(write.page) + ":" + std::to_string(write.address);
  if (write.bytes.size() > 1) text += "-" + std::to_string(write.address + write.bytes.size() - 1);
  return text;
}

std::string WriteSourceText(const RecordedWrite& write) {
  if (!write.refused) return write.source;
  return write.source + " (refused: outside the device's memory)";
}

std::optional<FileAndType> AskFileAndDeviceType(UiPort& ui, const std::string& title) {
  FileDialogRequest request;
  request.initialName = "*.pcg";
  request.defaultExt = "pcg";
  request.filter = "QeltaC Files (*.pcg)";
  request.hideReadOnly = true;
  const std::optional<std::string> path = ui.FileDialog(request);
  if (!path || path->empty()) return std::nullopt;
  DialogModel dialog = DeviceTypeDialog(title);
  if (!ui.RunDialog(dialog)) return std::nullopt;
  return FileAndType{*path, static_cast<int16_t>(ParseDecimal(dialog.Value(kTypeField)))};
}

void CheckConfigurationFile(TerminalView& terminal) {
  const std::optional<FileAndType> chosen =
      AskFileAndDeviceType(terminal.ui, "Check configuration file");
  if (!chosen) return;
  const std::string* path = &chosen->path;
  const int16_t type = chosen->type;

  terminal.rows.AddOutputRow("Check configuration file", BaseName(*path), kImageInfo);
  terminal.rows.SetRowText(terminal.rows.RowCount() - 1, 2, "device type " + std::to_string(type));
  const std::vector<RecordedWrite> writes = CheckConfiguration(terminal, *path, type);
  terminal.rows.AddOutputRow("Memory writes", std::to_string(writes.size()), kImageInfo);
  for (const RecordedWrite& write : writes) {
    terminal.rows.AddOutputRow(WriteAddressText(write), HexBytes(write.bytes), kImageStep);
    terminal.rows.SetRowText(terminal.rows.RowCount() - 1, 2, WriteSourceText(write));
  }
}

}  // namespace qelta
