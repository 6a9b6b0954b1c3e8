// "Inventory..." of the base station menus: the CSV file's name from a file dialog, the inventory
// of the chosen stations, and the file opened in the user's text editor.
#pragma once

#include <vector>

#include "network/BaseStationRecord.h"

class CQeltaConfigView;

namespace qelta::fleet {

// The stations the window's "Inventory..." works on: the selected base station rows; with none
// selected every listed station; with no stations listed every station discovery knows now.
std::vector<BaseStationRecord> InventoryStations(CQeltaConfigView& view);

// "Inventory...": asks for the CSV file, runs the inventory on InventoryStations() and opens the
// file in the text editor.
void InventoryCommand(CQeltaConfigView& view);
void InstallInventoryCommands(CQeltaConfigView& view);

}  // namespace qelta::fleet
