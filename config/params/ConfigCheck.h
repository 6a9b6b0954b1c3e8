// Checking a configuration file before it is written anywhere: the upload of the "Set" button
// runs against a recording device model of the chosen type instead of the link. It posts the
// rows the upload would post (from the same code, so warnings, replaced values and cut texts are
// the ones a device would get) and tells which bytes land at which addresses, in order.
//
// The dry run has no connection to make: the rows of a failed connection or an unknown device
// never appear; the function-key send flags are those the next real upload would use, and the
// form's state is left as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "params/FileMemory.h"
#include "params/RecordingParamLink.h"
#include "params/TerminalView.h"

namespace qelta {

inline constexpr int16_t kCheckTypeTerminal = 8;
inline constexpr int16_t kCheckTypeBaseStation = 9;

// Runs the upload of `path` against a device model of `deviceType` (8 or 9), posting its rows to
// the form's list; returns the memory writes in the order they were sent.
std::vector<RecordedWrite> CheckConfiguration(TerminalView& terminal, const std::string& path,
                                              int16_t deviceType);

// "2:121" for one byte, "2:100-119" for more: the page and the addresses a write covers.
std::string WriteAddressText(const RecordedWrite& write);
// The source of a write, with a note when the device would refuse it.
std::string WriteSourceText(const RecordedWrite& write);

// A configuration file and the device type it is meant for, as the user chose them.
struct FileAndType {
  std::string path;
  int16_t type = kCheckTypeTerminal;
};
// Asks for the file (as "&Open Configuration File..." does) and then the device type in a dialog
// titled `title`; nullopt when either was cancelled.
std::optional<FileAndType> AskFileAndDeviceType(UiPort& ui, const std::string& title);

// The File menu's "Check configuration file": asks for the file (as "&Open Configuration
// File..." does) and the device type, then shows the check's rows, a "Memory writes" row and one
// row per write ("page:address", hex bytes, source) in the output list.
void CheckConfigurationFile(TerminalView& terminal);

}  // namespace qelta
