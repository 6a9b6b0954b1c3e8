// A station handle: everything one station's work needs, and nothing more. Its record (a copy), the
// link object and HTTP session of the thread it runs on, its rows (straight into the form's list
// when stations run one at a time on the form's thread, into the station's block when several run
// at once), the silent-station check, its answer files, and copies of the run's settings and of
// the form's state that the work may change. There is no way from a handle to the form: an
// operation on a station takes a handle and does the same whichever thread runs it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "core/RowSink.h"
#include "fleet/AnswerFiles.h"
#include "fleet/RunSettings.h"
#include "fleet/StationSink.h"
#include "fleet/StationState.h"
#include "network/BaseStationRecord.h"

class CHalvexCtrl;

namespace qelta::network {
class WebSession;
}

namespace qelta::fleet {

// What a station's work borrows from the thread it runs on: a link object and an HTTP session,
// each kept for the thread's next stations.
class StationLane {
 public:
  virtual ~StationLane() = default;
  virtual CHalvexCtrl& Link() = 0;
  virtual network::WebSession& Web() = 0;
};

// Where a station's answer files go, as its runner lays them out.
struct AnswerFileNaming {
  std::string folder;             // the working folder, ending in '/'
  std::string suffix;             // empty: the fixed names
  AnswerFiles* shared = nullptr;  // files of the whole phase, taken before the station's own
};

class StationHandle final : public RowSink {
 public:
  // Made by the runner for each station (`station` null: the device on the serial port).
  StationHandle(const BaseStationRecord* station, std::size_t index, StationLane& lane,
                StationSink& sink, const RunSettings& settings, StationState state,
                AnswerFileNaming files, bool onFormThread);
  ~StationHandle() override;
  StationHandle(const StationHandle&) = delete;
  StationHandle& operator=(const StationHandle&) = delete;

  // The station worked on: a copy of its record, null for the device on the serial port.
  const BaseStationRecord* Station() const { return hasStation_ ? &record_ : nullptr; }
  const BaseStationRecord& Record() const { return record_; }
  // Its place in the run's list of stations.
  std::size_t Index() const { return index_; }

  CHalvexCtrl& Link() { return lane_.Link(); }
  network::WebSession& Web() { return lane_.Web(); }
  const RunSettings& Settings() const { return settings_; }
  // The folder the work may make current again after a file dialog; empty away from the form's
  // thread, since the current folder is the whole process's.
  const std::string& StartFolder() const;
  StationState& State() { return state_; }

  // The station's rows, in its sink.
  using RowSink::AddRow;
  using RowSink::SetImage;
  // A failure row, or a row changed to a failure, marks the station failed.
  int AddRow(const std::string& name, const std::string& value, int image, RowKind kind) override;
  void SetImage(int row, int image, RowKind kind) override;
  void SetText(int row, int column, const std::string& text) override;
  void DeleteAllRows() override;
  // Notices only (see Ui()).
  void Message(const std::string& text, const std::string& caption, MessageButtons buttons,
               MessageIcon icon) override;
  void Beep() override;
  void KeepPainting() override;
  // A row that was in the form's list before the station began, as SetText and SetImage take it.
  static int ListRow(int index) { return index; }
  // Notices, beeps and painting as a UI port. Questions, dialogs and file choices never come up
  // during a station's work (they are asked before it) and get the cautious answer.
  UiPort& Ui();

  // The silent-station check on the station (or another record): true when it did not answer its
  // probe; it then joins the silent list and the station counts as failed.
  bool CheckPresence() { return CheckPresence(record_); }
  bool CheckPresence(const BaseStationRecord& record);
  void ClearSilent();
  void ReportSilent(const std::string& suffix);

  // One of the station's answer files, opened on first use; null when it cannot be created.
  FILE* AnswerFile(const std::string& name);

  bool Failed() const { return failed_; }
  // The work changed something on the station (a byte written, a form posted).
  void MarkChanged() { changed_ = true; }
  bool Changed() const { return changed_; }
  // The runner's end of the station: its answer files are closed and the state it left goes to
  // the sink.
  void Finish();

 private:
  class Port;

  BaseStationRecord record_{};
  bool hasStation_;
  std::size_t index_;
  StationLane& lane_;
  StationSink& sink_;
  const RunSettings& settings_;
  StationState state_;
  AnswerFileNaming naming_;
  AnswerFiles files_;
  bool onFormThread_;
  bool failed_ = false;
  bool changed_ = false;
  bool finished_ = false;
  std::unique_ptr<Port> ui_;
};

}  // namespace qelta::fleet
