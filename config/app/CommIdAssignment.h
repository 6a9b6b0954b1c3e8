// Communication IDs: writing the next comm ID into the device on the serial port, numbering a
// series of selected base stations upwards from a start value, and the main form's comm ID
// controls (field 1026, "&Set new" 1027, the next-comm-ID button 1030). The next comm ID lives in
// the field and in the setting "CommID". Everything runs on the main form's thread.
#pragma once

#include <cstdint>
#include <string>

#include "ui/DialogModel.h"

class CQeltaConfigView;

namespace qelta {

inline constexpr const char* kCommIdSetting = "CommID";
inline constexpr int32_t kDefaultCommId = 10000;
inline constexpr int kCommIdAddressHigh = 1;  // EEPROM address of the high byte; low byte at 2
inline constexpr int kCommIdAddressLow = 2;
inline constexpr int kMultiCommIdStartField = 1067;
inline constexpr int kCommIdResetWaitMs = 4000;  // after the reset, before the device is read
inline constexpr int kCommIdStationWaitMs = 50;  // after connecting a station, before writing
inline constexpr uint32_t kMaxCommId = 65535;

// The decimal number at the start of the first line of a text, as the form reads its comm ID
// field: digits up to the first other character, an empty line gives 0. Wraps modulo 2^32 (only
// the low 16 bits are ever used as a comm ID).
uint32_t FirstLineNumber(const std::string& text);

// The range dialog CMultiCommIdDlg, filled with `start`; its validator accepts 0 to 65535.
DialogModel MultiCommIdDialog(uint32_t start);

// Command 1027 ("&Set new", "Set comm ID", "Set comm ID's"): on the selected base stations while
// the list shows them, else on the device on the serial port.
void SetNewCommId(CQeltaConfigView& view);
// Numbers the selected base stations from `start` (asks for the start value first).
void SetCommIdRange(CQeltaConfigView& view, uint32_t start);
// Button 1030: takes the number it shows into the field and runs SetNewCommId.
void UseNextCommId(CQeltaConfigView& view);
// Runs on every change of field 1026: button 1030 offers the number after the field's.
void ShowNextCommId(CQeltaConfigView& view);

// Stores `id` as "CommID" and shows it in field 1026.
void StoreNextCommId(CQeltaConfigView& view, uint32_t id);
// Shows `id` in field 1026 as the number the form offers from "CommID".
void ShowCommIdField(CQeltaConfigView& view, uint32_t id);

// Comm IDs taken from the settings: numbers start .. start + count - 1 (modulo 65536) belong to
// the caller, and "CommID" went from `before` to `after` under the settings lock.
struct CommIdHandOut {
  uint32_t start = 0;
  uint32_t before = 0;
  uint32_t after = 0;
  bool stored = false;  // "CommID" was written (or already held `after`)
};
// Takes `count` numbers starting at `requested`. When `requested` is the number the form offered
// from "CommID" (the user kept it), the stored next comm ID is taken instead: another program may
// have moved it on since. Any other number is the user's choice and is taken as it is.
CommIdHandOut HandOutCommIds(CQeltaConfigView& view, uint32_t requested, uint32_t count);
// Gives the numbers back after a failed write: "CommID" returns to `before` unless someone took
// numbers after ours meanwhile.
void ReturnCommIds(CQeltaConfigView& view, const CommIdHandOut& taken);

// Routes button 1027, button 1030 and the changes of field 1026.
void InstallCommIdCommands(CQeltaConfigView& view);

}  // namespace qelta
