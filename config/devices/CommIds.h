// Comm IDs: the numbers handed out from the setting "CommID" (under the settings lock, so that two
// programs never hand out the same ones), the range dialog, and the comm ID written into one base
// station through its handle.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/RowSink.h"
#include "fleet/StationHandle.h"
#include "ui/DialogModel.h"

class SettingsStore;

namespace qelta {

class UiPort;

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

// Comm IDs taken from the settings: numbers start .. start + count - 1 (modulo 65536) belong to
// the caller, and "CommID" went from `before` to `after` under the settings lock.
struct CommIdHandOut {
  uint32_t start = 0;
  uint32_t before = 0;
  uint32_t after = 0;
  bool stored = false;  // "CommID" was written (or already held `after`)
  int error = 0;        // why it was not: errno of the settings store
};
// Takes `count` numbers starting at `requested`. When `requested` is the number the form `offered`
// from "CommID" (the user kept it), the stored next comm ID is taken instead: another program may
// have moved it on since. Any other number is the user's choice and is taken as it is. Numbers
// that could not be stored (a full disk, a settings folder that cannot be written, a lock that
// cannot be taken) are nobody's: `stored` is false and none of them may be written into a device,
// or the next run would hand them out again.
CommIdHandOut HandOutCommIds(SettingsStore& settings, UiPort& ui, std::optional<uint32_t> offered,
                             uint32_t requested, uint32_t count);
// Gives the numbers back after a failed write: "CommID" returns to `before` unless someone took
// numbers after ours meanwhile.
void ReturnCommIds(SettingsStore& settings, const CommIdHandOut& taken);

// The failure row of a hand-out that could not be stored: "Cannot store CommID", the reason, and
// that no comm ID was written.
void ReportUnstoredCommIds(RowSink& rows, const CommIdHandOut& taken);

// One station of a range: connects to its tunnel, writes the comm ID's two bytes and adds its
// row. True when the station was connected.
bool WriteStationCommId(fleet::StationHandle& station, uint32_t id);

}  // namespace qelta
