#include "params/FirmwareUpload.h"

namespace qelta {
namespace {

DialogField Static(const std::string& text) {
  DialogField f;
  f.kind = FieldKind::Label;
  f.label = text;
  f.value = text;
  return f;
}

}  // namespace

DialogModel SorviFWUpload(UiPort& ui) {
  DialogModel dialog;
  dialog.name = kFirmwareDialogName;
  dialog.title = "Qelta Firmware upload";
  dialog.okText = "Start uploading";
  dialog.cancelText = "Cancel";
  dialog.Add(Static("1. Remove Batteries from device"));
  dialog.Add(Static("2. Connect boot cable between PC Com port and device"));
  dialog.Add(Static("3. Open FW file Hsbtxx.a20 where xx is version number"));

  DialogField open;
  open.controlId = fwdlg::kOpenFileButton;
  open.name = "openFile";
  open.label = "Open FW file...";
  open.kind = FieldKind::Button;
  open.onClick = [&ui](DialogModel& d) { ChooseFirmwareFile(ui, d); };
  dialog.Add(std::move(open));

  DialogField path;
  path.controlId = fwdlg::kPathText;
  path.name = "path";
  path.kind = FieldKind::Label;
  dialog.Add(std::move(path));

  dialog.Add(Static("4. Place batteries to device."));
  dialog.Add(Static("5."));
  return dialog;
}

void ChooseFirmwareFile(UiPort& ui, DialogModel& dialog) {
  FileDialogRequest request;
  request.save = false;
  request.initialName = "hsbt*.a20;bsbt*.a20";
  request.defaultExt = "a20";
  request.filter = "Qelta Firmware (*.a20)";
  request.hideReadOnly = true;
  if (std::optional<std::string> chosen = ui.FileDialog(request)) {
    dialog.SetValue(fwdlg::kPathText, *chosen);
  }
}

std::vector<FirmwareRow> FirmwareResultRows(int16_t result) {
  switch (result) {
    case 1:
      return {{"Can't open boot file", "", 0}};
    case 2:
      return {{"Can't open FW file", "", 0}};
    case 3:
      return {{"No response from device: Waiting 00", "", 0}};
    case 4:
      return {{"No response from device: Waiting AA", "", 0}};
    case 5:
      return {{"Boot load error: <first>", "", 0}};
    case 6:
      return {{"Boot load error: <second>", "", 0}};
    case 7:
      return {{"Boot load error: <third>", "", 0}};
    case 8:
      return {{"Flash verification failed!", "", 0}};
    case 10:
      return {{"UPLOADING DONE", "", 1},
              {"REMOVE BOOT CABLE FROM DEVICE", "", 2},
              {"REMOVE BATTERIES AND PUT THEM BACK AGAIN", "", 2}};
    default:
      return {{"", "", 0}};
  }
}

}  // namespace qelta
