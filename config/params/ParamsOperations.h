// The terminal-parameter operations of the main form: configuration upload ("Set"), editing the
// configuration file ("Edit with Notepad"), parameter read-out ("Get"), device information
// ("&Read Device Info") and loading the read-out's selection file at start.
#pragma once

#include <string>

#include "params/TerminalView.h"

namespace qelta {

inline constexpr const char* kDeviceInfoFileName = "RFDeviceInfo.txt";

void UploadConfiguration(TerminalView& terminal);
void EditConfiguration(TerminalView& terminal);
void ReadParameters(TerminalView& terminal);
void ReadDeviceInfo(TerminalView& terminal);
// Loads programDir + "HT_parameters_to_get.cfg" into the selection table.
void LoadReadSetup(TerminalView& terminal);

// The value an item line of the device-information template shows, or nullopt when the line is
// left out (a calibration line outside production mode).
struct DeviceInfoContext {
  ParamLink& link;
  int16_t page = 0;
  bool baseStation = false;
  int16_t deviceType = 0;
  bool production = false;
  bool itemFailed = false;  // set when the last item's value could not be read
};
std::optional<std::string> DeviceInfoItemValue(DeviceInfoContext& context, const std::string& item);
// "1, cal=80" when the calibration byte lies in a radio type's window, else "undefined (cal=70)".
std::string CalibrationText(int16_t calibration, bool baseStation);

}  // namespace qelta
