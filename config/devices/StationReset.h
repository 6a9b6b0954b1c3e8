// "Reset base station(s)": one station reset through its tunnel, on its handle.
#pragma once

#include "fleet/StationHandle.h"

namespace qelta {

// Probes the station (a silent one joins the silent list), connects to its tunnel and resets it;
// `progressRow`, a row of the form's list from before the run, shows the station being reset.
void ResetStation(fleet::StationHandle& station, int progressRow);

}  // namespace qelta
