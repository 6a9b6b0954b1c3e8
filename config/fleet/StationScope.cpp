#include "fleet/StationScope.h"

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "network/WebClient.h"

namespace qelta::fleet {

void StationScope::Notice(const std::string& text, const std::string& caption) {
  Ui().MessageBox(text, caption, MessageButtons::Ok, MessageIcon::Error);
}

std::string SuffixedFileName(const std::string& name, const std::string& suffix) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + "_" + suffix;
  return name.substr(0, dot) + "_" + suffix + name.substr(dot);
}

FILE* AnswerFiles::Open(const std::string& key, const std::string& path) {
  auto it = files_.find(key);
  if (it != files_.end()) return it->second.file;
  FILE* file = std::fopen(path.c_str(), "w+");
  // A file that cannot be created is not retried for every answer.
  files_[key] = Entry{file, file != nullptr};
  return file;
}

void AnswerFiles::Share(const std::string& key, FILE* file) { files_[key] = Entry{file, false}; }

FILE* AnswerFiles::Find(const std::string& key) const {
  auto it = files_.find(key);
  return it == files_.end() ? nullptr : it->second.file;
}

void AnswerFiles::CloseAll() {
  for (auto& [key, entry] : files_) {
    if (entry.owned && entry.file) std::fclose(entry.file);
  }
  files_.clear();
}

FormScope::FormScope(CQeltaConfigView& view, network::WebSession* session)
    : StationScope(view), session_(session) {}

FormScope::~FormScope() = default;

void FormScope::NextStation() {
  stationFiles_.CloseAll();
  ResetFailure();
}

CHalvexCtrl& FormScope::Link() { return view().link(); }

UiPort& FormScope::Ui() { return view().ui(); }

int FormScope::AddRow(const std::string& name, const std::string& value, int image, RowKind kind) {
  if (kind == RowKind::Failure) NoteFailure();
  return view().AddOutputRow(name, value, image, kind);
}

void FormScope::SetText(int row, int column, const std::string& text) {
  view().outputList().SetText(row, column, text);
}

void FormScope::SetImage(int row, int image, RowKind kind) {
  if (kind == RowKind::Failure) NoteFailure();
  view().outputList().SetImage(row, image, kind);
}

void FormScope::DeleteAllRows() { view().outputList().DeleteAllRows(); }

bool FormScope::CheckPresence(const BaseStationRecord& record) {
  if (!view().directory().CheckPresence(record)) return false;
  NoteFailure();
  return true;
}

void FormScope::ClearSilent() { view().directory().ClearSilent(); }

void FormScope::ReportSilent(const std::string& suffix) { view().directory().ReportSilent(suffix); }

void FormScope::OnForm(std::function<void(CQeltaConfigView&)> change) {
  if (change) change(view());
}

network::WebSession& FormScope::Web() {
  if (session_) return *session_;
  if (!ownSession_) ownSession_ = std::make_unique<network::WebSession>();
  return *ownSession_;
}

FILE* FormScope::AnswerFile(const std::string& name) {
  if (files_.Has(name)) return files_.Find(name);
  return stationFiles_.Open(name, view().programDir + name);
}

}  // namespace qelta::fleet
