#include "params/FirmwareUpload.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/ControlIds.h"
#include "app/QeltaConfigView.h"

namespace qelta {
namespace {

void EnterStartDir(const CQeltaConfigView& view) {
  if (view.startDir.empty()) return;
  std::error_code ec;
  std::filesystem::current_path(view.startDir, ec);
}

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

void StartFirmwareUpload(CQeltaConfigView& view) {
  EnterStartDir(view);
  DialogModel dialog = SorviFWUpload(view.ui());
  if (!view.ui().RunDialog(dialog)) {
    view.AddOutputRow("Operation canceled by the user!", "", 0);
    view.ui().Beep();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  view.link().Connect(static_cast<int16_t>(view.comPort), kFirmwareBaud);

  view.firmwarePath = dialog.Value(fwdlg::kPathText);
  view.AddOutputRow("Uploading...", "", 2);
  EnterStartDir(view);

  // The load blocks the form: it starts from the timer, once the row above is on the screen.
  view.pendingBoot = 1;
  view.ui().StartTimer(kFirmwareTimer, kFirmwareTimerMs, [&view] {
    view.ui().StopTimer(kFirmwareTimer);
    if (view.pendingBoot) RunFirmwareUpload(view);
  });
}

void RunFirmwareUpload(CQeltaConfigView& view) {
  const int16_t result = view.link().Boot(view.firmwarePath);
  const std::string why = view.link().LastFailure();
  view.pendingBoot = 0;
  view.link().Connect(0, kFirmwareBaud);
  for (const FirmwareRow& row : FirmwareResultRows(result)) {
    const int added = view.AddOutputRow(row.name, row.value, row.image);
    // A refused file or a port that could not be had says why beside the failure row.
    if (row.image == 0 && !why.empty()) view.outputList().SetText(added, 2, why);
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

void InstallFirmwareUploadCommands(CQeltaConfigView& view) {
  view.SetCommandHandler(ids::kCmdFirmwareUpdate, [&view] { StartFirmwareUpload(view); });
}

}  // namespace qelta
