// "Set description": the module's description, location and host name through its system and
// advanced network forms, with the dialog CDescLocDlg.
#pragma once

#include "app/QeltaConfigView.h"
#include "ui/DialogModel.h"

namespace qelta::network {

inline constexpr const char* kDescriptionAnswerFile = "bs_description.html";

inline constexpr int kDescriptionField = 1036;
inline constexpr int kLocationField = 1037;
inline constexpr int kDescHostNameField = 1038;

// CDescLocDlg with empty fields.
DialogModel DescriptionDialog();

// The command, on selectedBaseStation.
void EditDescription(CQeltaConfigView& view);

}  // namespace qelta::network
