// The base station list in the main form's output list: showing the table ("View base stations",
// with its report "bsview.txt"), clearing, selecting, copying out the selection, removing one
// record, resetting the selected stations, the list's clicks and the three context menus, and
// discovery's life with the form. Everything here runs on the main form's thread; the table and
// the silent list are the form's station directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/QeltaConfigView.h"
#include "network/StationDirectory.h"

namespace qelta::network {

inline constexpr const char* kReportFile = "bsview.txt";
inline constexpr int kClearListLockWaitMs = 3000;
inline constexpr int kRemoveLockWaitMs = 3000;

// Discovery's life with the form: started while the form is constructed, stopped (at most
// 1000 ms) while it is destroyed.
void StartDiscovery(CQeltaConfigView& view);
void StopDiscovery(CQeltaConfigView& view);

// The list's commands.
// "View base stations": when the table's lock is free, lists its stations, probing up to the
// form's number of stations at once; the rows and "bsview.txt" read as one at a time gives them.
void ViewBaseStations(CQeltaConfigView& view);
// The list of these stations alone (records as discovery heard them): the table becomes them,
// kept while the list shows them, and they are listed as "View base stations" lists the table.
// False, with nothing done, when the table's lock could not be had within 3000 ms.
bool ViewNamedStations(CQeltaConfigView& view, const std::vector<BaseStationRecord>& stations);
void ClearBaseStationList(CQeltaConfigView& view);
void ClearOutputList(CQeltaConfigView& view);
void SelectAllBaseStations(CQeltaConfigView& view);
// Copies the records of the selected base station rows, in row order, into buffer (room for 256);
// answers how many (0: nothing selected).
uint32_t CopySelectedBaseStations(CQeltaConfigView& view, BaseStationRecord* buffer);
// Takes a record out of the table (a pointer into the table, or a copy: then the first record with
// its address). The list is emptied and stops showing the table. False, with nothing changed,
// when the lock cannot be had.
bool RemoveBaseStation(CQeltaConfigView& view, const BaseStationRecord* record);
void ResetBaseStations(CQeltaConfigView& view);

// The list's notifications and the context menus.
void OnListClick(CQeltaConfigView& view);
void OnListRightClick(CQeltaConfigView& view, int x, int y);
void BuildContextMenus(CQeltaConfigView& view);

// Plugs the network area into the form: its hooks and its commands.
void InstallNetworkHooks(FormHooks& hooks);
void InstallNetworkCommands(CQeltaConfigView& view);

}  // namespace qelta::network
