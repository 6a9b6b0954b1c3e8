// Comparing a device with a configuration file: the addresses the file's upload writes (from its
// recording) are read from the device and each line of the file is shown in sync or differing,
// with the device's and the file's values. Nothing is written and the device is not reset.
#pragma once

#include <cstdint>
#include <string>

#include "params/FileMemory.h"
#include "params/TerminalView.h"

namespace qelta {

// Compares the device "Set" would write to (the selected station when the list shows the base
// stations, else the device on the serial port) with `path`. `deviceType` 8 or 9 names the type
// the file is meant for (another device is a failure row); 0 takes the device's own. Posts one
// row per line of the file that writes memory and a closing row.
DeviceComparison CompareWithDevice(TerminalView& terminal, const std::string& path,
                                   int16_t deviceType);

// The File menu's "Compare with device": asks for the file (as "&Open Configuration File..."
// does) and the device type, then shows the comparison's rows. Changes nothing.
// nullopt when a question was cancelled.
std::optional<DeviceComparison> CompareWithDeviceFile(TerminalView& terminal);

}  // namespace qelta
