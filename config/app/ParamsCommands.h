// The terminal-parameter operations as the form's commands: the "Set", "Edit with Notepad", "Get"
// and "&Read Device Info" buttons and the File menu's check, each run on the form's thread through
// a station handle on the form's link, for the selected base station or the device on the serial
// port.
#pragma once

#include <functional>
#include <string>

#include "params/FileMemory.h"
#include "params/TerminalView.h"

class CQeltaConfigView;
struct BaseStationRecord;

namespace qelta {

// Runs `operation` on a terminal view of the form: the form's link, rows, UI port, settings and
// state (taken back as it ends), addressing `station` (null: the device on the serial port).
void RunOnTerminal(CQeltaConfigView& view, const BaseStationRecord* station,
                   const std::function<void(TerminalView&)>& operation);

// The operations on a form, for the other areas that call them (the device report after a new
// comm ID) and for the command line.
// "Set"; with checked writes, view.params->writes tells what went in.
void UploadConfiguration(CQeltaConfigView& view);
// Compares the device on the serial port with `path` (deviceType 8 or 9, 0: the device's own),
// posting the comparison's rows; view.params->comparisons holds the result too.
DeviceComparison CompareFileWithDevice(CQeltaConfigView& view, const std::string& path,
                                       int16_t deviceType);
void ReadDeviceInfo(CQeltaConfigView& view);

// Routes buttons 1029, 1012, 1032, 1015 and commands 32793 and 32811 to the operations.
void InstallParamsCommands(CQeltaConfigView& view);
// The read-out list loader the form runs at the end of LoadSettings.
void LoadReadSetupForForm(CQeltaConfigView& view);

}  // namespace qelta
