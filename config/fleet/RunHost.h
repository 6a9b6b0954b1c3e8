// The form's side of a run, as the runner knows it: the form's link object and rows for stations
// worked on the form's own thread, the settings and form state that stations start from, who
// watches the progress and how many stations may run at once. The front end's form implements it;
// the runner and the handles know the form only as this.
#pragma once

#include "fleet/RunSettings.h"
#include "fleet/StationSink.h"
#include "fleet/StationState.h"

class CHalvexCtrl;

namespace qelta::fleet {

class FleetMonitor;

class RunHost {
 public:
  virtual ~RunHost() = default;
  // The form's own link object: the one stations use on the form's thread.
  virtual CHalvexCtrl& Link() = 0;
  // Straight into the form's list, on the form's thread.
  virtual StationSink& Sink() = 0;
  // A copy of the settings now, and of the form's state a station starts from.
  virtual RunSettings Settings() = 0;
  virtual StationState State() = 0;
  // Null: nobody watches.
  virtual FleetMonitor* Monitor() = 0;
  // Stations at once for a run that begins now (1 to 64).
  virtual int Jobs() = 0;
};

}  // namespace qelta::fleet
