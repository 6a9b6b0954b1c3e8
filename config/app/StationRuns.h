// The form's side of the work on stations, written once for every command:
//  - FormSink: what an operation (or a station's work on the form's thread, or a station's block
//    replayed in its turn) reports goes straight into the form's list and message boxes; the
//    silent list is the form's directory's; the state a station's work changed becomes the
//    form's.
//  - FormRunHost: what the form lends a run: its link object, its sink, the settings and the form
//    state that stations start from, the front end's monitor and the number of stations at once.
//  - StationListHold: the list's flags while a command works on copies of the selected stations.
#pragma once

#include "fleet/RunHost.h"
#include "fleet/StationSink.h"

class CQeltaConfigView;
struct BaseStationRecord;

class FormSink : public qelta::fleet::StationSink {
 public:
  explicit FormSink(CQeltaConfigView& view) : view_(view) {}
  using RowSink::AddRow;
  using RowSink::SetImage;
  int AddRow(const std::string& name, const std::string& value, int image,
             qelta::RowKind kind) override;
  void SetText(int row, int column, const std::string& text) override;
  void SetImage(int row, int image, qelta::RowKind kind) override;
  void DeleteAllRows() override;
  void Message(const std::string& text, const std::string& caption, qelta::MessageButtons buttons,
               qelta::MessageIcon icon) override;
  void Beep() override;
  void KeepPainting() override;
  void SilentAdd(const BaseStationRecord& record) override;
  void SilentClear() override;
  void SilentReport(const std::string& suffix) override;
  void Apply(const qelta::fleet::StationState& state) override;

 private:
  CQeltaConfigView& view_;
};

class FormRunHost final : public qelta::fleet::RunHost {
 public:
  // `watched`: the front end's monitor sees the run's progress and may cancel it; a run that is
  // part of building the list (the stations' probes) goes unwatched, as the list always did.
  explicit FormRunHost(CQeltaConfigView& view, bool watched = true)
      : view_(view), sink_(view), watched_(watched) {}
  CHalvexCtrl& Link() override;
  qelta::fleet::StationSink& Sink() override { return sink_; }
  qelta::fleet::RunSettings Settings() override;
  qelta::fleet::StationState State() override;
  qelta::fleet::FleetMonitor* Monitor() override;
  int Jobs() override;

 private:
  CQeltaConfigView& view_;
  FormSink sink_;
  bool watched_;
};

// While a command works on copies of the selected stations the list counts as showing the table,
// so that discovery leaves the table alone; when the command ends (or earlier, at Restore) the
// selection and that flag are what they were before.
class StationListHold {
 public:
  explicit StationListHold(CQeltaConfigView& view);
  ~StationListHold() { Restore(); }
  StationListHold(const StationListHold&) = delete;
  StationListHold& operator=(const StationListHold&) = delete;
  void Restore();

 private:
  CQeltaConfigView& view_;
  BaseStationRecord* selection_;
  bool shows_;
  bool restored_ = false;
};
