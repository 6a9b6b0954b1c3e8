// Comparing the selected base stations with a configuration file ("Compare with configuration
// file" in the base station menus, `diff --station`/`--all` on the command line): each station's
// memory at the file's addresses is read through its tunnel, several stations at once as the run
// allows, the rows as if one after the other. Nothing is written.
#pragma once

#include <cstdint>
#include <string>

class CQeltaConfigView;

namespace qelta {

// Compares every selected station with `path` (deviceType 8 or 9, 0: each device's own type).
// view.params->comparisons holds one entry per station reached, in list order.
void CompareStations(CQeltaConfigView& view, const std::string& path, int16_t deviceType);

// The menu command: asks for the file, then compares the selected stations as base stations.
void CompareStationsWithFile(CQeltaConfigView& view);

}  // namespace qelta
