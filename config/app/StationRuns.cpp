#include "app/StationRuns.h"

#include "app/QeltaConfigView.h"
#include "params/ParamsState.h"

int FormSink::AddRow(const std::string& name, const std::string& value, int image,
                     qelta::RowKind kind) {
  return view_.AddOutputRow(name, value, image, kind);
}

void FormSink::SetText(int row, int column, const std::string& text) {
  view_.outputList().SetText(row, column, text);
}

void FormSink::SetImage(int row, int image, qelta::RowKind kind) {
  view_.outputList().SetImage(row, image, kind);
}

void FormSink::DeleteAllRows() { view_.outputList().DeleteAllRows(); }

void FormSink::Message(const std::string& text, const std::string& caption,
                       qelta::MessageButtons buttons, qelta::MessageIcon icon) {
  view_.ui().MessageBox(text, caption, buttons, icon);
}

void FormSink::Beep() { view_.ui().Beep(); }

void FormSink::KeepPainting() { view_.ui().KeepPainting(); }

void FormSink::SilentAdd(const BaseStationRecord& record) {
  view_.directory().RememberSilent(record);
}

void FormSink::SilentClear() { view_.directory().ClearSilent(); }

void FormSink::SilentReport(const std::string& suffix) { view_.directory().ReportSilent(suffix); }

void FormSink::Apply(const qelta::fleet::StationState& state) {
  view_.params->functionKeys = state.functionKeys;
  if (state.eepromPage) view_.eepromPage = *state.eepromPage;
  if (state.deviceMenuEnabled) view_.deviceMenuEnabled = *state.deviceMenuEnabled;
  if (state.listShowsBaseStations) view_.listShowsBaseStations = *state.listShowsBaseStations;
  if (state.selectionGone) view_.selectedBaseStation = nullptr;
}

CHalvexCtrl& FormRunHost::Link() { return view_.link(); }

qelta::fleet::RunSettings FormRunHost::Settings() {
  qelta::fleet::RunSettings s;
  s.workingFolder = view_.programDir;
  s.startFolder = view_.startDir;
  s.comPort = view_.comPort;
  s.moduleUser = view_.ethUser;
  s.modulePassword = view_.ethPassword;
  s.serviceMode = view_.uiService != 0;
  s.productionMode = view_.uiProduction != 0;
  s.verifyWrites = view_.verifyWrites != 0;
  s.writeChangedOnly = view_.writeChangedOnly != 0;
  return s;
}

qelta::fleet::StationState FormRunHost::State() {
  qelta::fleet::StationState state;
  state.functionKeys = view_.params->functionKeys;
  return state;
}

qelta::fleet::FleetMonitor* FormRunHost::Monitor() {
  return watched_ ? view_.fleet.monitor : nullptr;
}

int FormRunHost::Jobs() { return qelta::fleet::JobsFor(view_.fleet, view_.settings()); }

StationListHold::StationListHold(CQeltaConfigView& view)
    : view_(view), selection_(view.selectedBaseStation), shows_(view.listShowsBaseStations) {
  view.listShowsBaseStations = true;
}

void StationListHold::Restore() {
  if (restored_) return;
  restored_ = true;
  view_.listShowsBaseStations = shows_;
  view_.selectedBaseStation = selection_;
}
