// The firmware upload of the File menu ("FirmWare update..."): the SorviFWUpload dialog that guides
// the user through the cabling and the choice of the image, and the output rows of the boot
// loader's result code. The form's command is in app/FirmwareCommands.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/DialogModel.h"
#include "ui/UiPort.h"

namespace qelta {

inline constexpr const char* kFirmwareDialogName = "SorviFWUpload";
inline constexpr int kFirmwareTimer = 1;
inline constexpr int kFirmwareTimerMs = 100;
inline constexpr int16_t kFirmwareBaud = 4800;

// Control ids of the dialog's layout.
namespace fwdlg {
constexpr int kOpenFileButton = 1001;
constexpr int kPathText = 1002;
}  // namespace fwdlg

// The dialog, its path field empty; "Open FW file..." asks for the image through `ui`.
DialogModel SorviFWUpload(UiPort& ui);

// The "Open FW file..." button: an open-file dialog for hand-terminal and base-station images;
// the chosen path goes into the dialog's path field.
void ChooseFirmwareFile(UiPort& ui, DialogModel& dialog);

// The rows (name, value, image) that report a boot loader result.
struct FirmwareRow {
  std::string name;
  std::string value;
  int image;
  bool operator==(const FirmwareRow&) const = default;
};
std::vector<FirmwareRow> FirmwareResultRows(int16_t result);

}  // namespace qelta
