// Where a station's work reports: its rows and notices (a row sink), the silent list, and the
// state it changed. The form's own sink takes everything at once, on the form's thread; a
// station's block keeps it in order for the form to replay in the station's turn.
#pragma once

#include <string>

#include "core/RowSink.h"
#include "fleet/StationState.h"

struct BaseStationRecord;

namespace qelta::fleet {

class StationSink : public RowSink {
 public:
  // A station that did not answer its probe joins the silent list (once).
  virtual void SilentAdd(const BaseStationRecord& record) = 0;
  virtual void SilentClear() = 0;
  // One row per silent station with the operation's suffix; the list is emptied.
  virtual void SilentReport(const std::string& suffix) = 0;
  // The form's state as the station's work left it.
  virtual void Apply(const StationState& state) = 0;
};

}  // namespace qelta::fleet
