// The dialog CDescLocDlg of "Set description": the module's description, location and host name.
#pragma once

#include <cstddef>

#include "ui/DialogModel.h"

namespace qelta::network {

inline constexpr const char* kDescriptionAnswerFile = "bs_description.html";

inline constexpr int kDescriptionField = 1036;
inline constexpr int kLocationField = 1037;
inline constexpr int kDescHostNameField = 1038;
// The longest description or location, and the longest host name, the fields take.
inline constexpr std::size_t kDescriptionChars = 64;
inline constexpr std::size_t kDescHostNameChars = 32;

// CDescLocDlg with empty fields.
DialogModel DescriptionDialog();

}  // namespace qelta::network
