#include "app/FirmwareCommands.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/QeltaConfigView.h"
#include "params/FirmwareUpload.h"

namespace qelta {
namespace {

void EnterStartDir(const CQeltaConfigView& view) {
  if (view.startDir.empty()) return;
  std::error_code ec;
  std::filesystem::current_path(view.startDir, ec);
}

}  // namespace

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

void InstallFirmwareUploadCommands(CQeltaConfigView& view) {
  view.SetCommandHandler(ids::kCmdFirmwareUpdate, [&view] { StartFirmwareUpload(view); });
}

}  // namespace qelta
