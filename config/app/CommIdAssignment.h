// Communication IDs as the form's commands: writing the next comm ID into the device on the serial
// port, numbering a series of selected base stations upwards from a start value, and the main
// form's comm ID controls (field 1026, "&Set new" 1027, the next-comm-ID button 1030). The next
// comm ID lives in the field and in the setting "CommID". Everything runs on the main form's
// thread; each station of a range is written through its own handle (devices/CommIds.h).
#pragma once

#include <cstdint>
#include <string>

#include "devices/CommIds.h"

class CQeltaConfigView;

namespace qelta {

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

// Routes button 1027, button 1030 and the changes of field 1026.
void InstallCommIdCommands(CQeltaConfigView& view);

}  // namespace qelta
