// The terminal-parameter operations of the main form: configuration upload ("Set"), editing the
// configuration file ("Edit with Notepad"), parameter read-out ("Get"), device information
// ("&Read Device Info") and loading the read-out's selection file at start.
#pragma once

#include <string>

#include "params/FileMemory.h"
#include "params/TerminalView.h"

namespace qelta {

inline constexpr const char* kDeviceInfoFileName = "RFDeviceInfo.txt";

// "Set": the configuration file into the selected station or the device on the serial port. With
// the run's settings verifyWrites / writeChangedOnly the writes are checked
// (params/CheckedWrites.h) and terminal.written tells what went in.
void UploadConfiguration(TerminalView& terminal);
// With the link closed: connects to the selected station (the list shows the base stations) or the device on the serial
// port and identifies it, posting the rows "Set" posts when that fails; the device's type (8 or
// 9), nullopt on failure (the link may stay open). A silent station is reported with
// `silentSuffix`.
std::optional<int16_t> ConnectToDevice(TerminalView& terminal, const std::string& silentSuffix);
// Reads the addresses the file writes from the connected device; on failure posts "Cannot read
// the device's memory" (the block that failed), closes the link, beeps and answers false.
bool ReadFileAddresses(TerminalView& terminal, const FileMemory& file, MemoryBytes& into);
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
