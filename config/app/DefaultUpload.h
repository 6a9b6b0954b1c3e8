// Default uploads to the selected base stations: "Upload all defaults" (the modules' default
// Ethernet settings, a default EEPROM content from a configuration file and the radio type of the
// main form) and "Set configuration file" (only a configuration file). Both run on the main
// form's thread and report in the output list.
#pragma once

#include <string>

#include "ui/DialogModel.h"

class CQeltaConfigView;

namespace qelta {

inline constexpr const char* kLastEepromFileSetting = "LastEEPROMFile";
inline constexpr int kEepromFileField = 1036;
inline constexpr int kBrowseButton = 1056;
inline constexpr int kDefaultsResetWaitMs = 1500;

// "Upload defaults": the default EEPROM file's name in field 1036 and the full path the dialog
// holds (set by Browse or by the caller).
class CDefaultUploadDlg {
 public:
  explicit CDefaultUploadDlg(CQeltaConfigView& view);
  CDefaultUploadDlg(const CDefaultUploadDlg&) = delete;
  CDefaultUploadDlg& operator=(const CDefaultUploadDlg&) = delete;

  // Shows the dialog; true when it was closed with an accepted OK.
  bool Run();
  // The file dialog of button 1056; the field is read back in every case. The model is the one
  // the front end shows (it may be a copy of model()).
  void Browse(DialogModel& shown);
  void Browse() { Browse(model_); }
  // OK: refuses an empty name (the returned text is shown), else stores the full path as
  // "LastEEPROMFile" and accepts (empty text).
  std::string Accept(DialogModel& shown);
  std::string Accept() { return Accept(model_); }

  std::string fileName;
  std::string fullPath;
  DialogModel& model() { return model_; }

 private:
  CQeltaConfigView& view_;
  DialogModel model_;
};

// The part of a path after its last folder separator ('/' or '\'); all of it without one.
std::string FileNamePart(const std::string& path);
// "Time: %lu:%lu": whole minutes and the whole seconds of the rest.
std::string ElapsedTimeText(unsigned long elapsedMs);
// "Avg. %lus/device ": the whole seconds below one minute of the time per station.
std::string AverageTimeText(unsigned long averageMs);

// Command 32800.
void UploadAllDefaults(CQeltaConfigView& view);
// Command 32801.
void SetConfigurationFile(CQeltaConfigView& view);
// Routes commands 32800 and 32801.
void InstallDefaultUploadCommands(CQeltaConfigView& view);

}  // namespace qelta
