// Binds the parameter operations to the main form: its link, its output list, its state, and the
// command routing of the "Set", "Edit with Notepad", "Get" and "&Read Device Info" buttons.
#pragma once

#include <memory>

#include "params/ParamsForm.h"

class CQeltaConfigView;

namespace qelta {

// The form seen through ParamsForm, with the adapters it needs; valid while the form lives.
class FormParams {
 public:
  explicit FormParams(CQeltaConfigView& view);
  ~FormParams();
  ParamsForm& form() { return *form_; }

 private:
  struct Adapters;
  std::unique_ptr<Adapters> adapters_;
  std::unique_ptr<ParamsForm> form_;
};

// The operations on a form, for the other areas that call them (default uploads to base
// stations, the device report after a new comm ID).
void UploadConfiguration(CQeltaConfigView& view);
void ReadDeviceInfo(CQeltaConfigView& view);

// Routes buttons 1029, 1012, 1032, 1015 and commands 32793 and 32811 to the operations.
void InstallParamsCommands(CQeltaConfigView& view);
// The read-out list loader the form runs at the end of LoadSettings.
void LoadReadSetupForForm(CQeltaConfigView& view);

}  // namespace qelta
