// What the work on one base station sees of the main form while a command walks many stations:
// a link object, the output list, the UI port, the silent-station list, the form's own state, the
// station's HTTP session and its answer files.
//
// Two kinds stand behind it. On the form's thread (one station at a time) everything goes to the
// form at once, exactly as the operations always did. On a worker thread (several stations at
// once) the station has a link object and an HTTP session of its own, and everything it does to
// the form is recorded as the station's block, which the form replays later in list order.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/RowKind.h"

class CQeltaConfigView;
class CHalvexCtrl;
struct BaseStationRecord;

namespace qelta {
class UiPort;
namespace network {
class WebSession;
}
}  // namespace qelta

namespace qelta::fleet {

class StationScope {
 public:
  virtual ~StationScope() = default;

  // The form, for values that do not change during a run (working folder, module credentials,
  // modes). Its output list, link and UI are reached through the scope only.
  CQeltaConfigView& view() const { return view_; }

  virtual CHalvexCtrl& Link() = 0;
  // Message boxes (notices only: questions are asked before a run), beeps and repaints.
  virtual UiPort& Ui() = 0;
  // An error notice with the error icon, as the form's Message() shows it.
  void Notice(const std::string& text, const std::string& caption);

  // Rows: AddRow answers a handle that SetText and SetImage take; FormRow turns the index of a row
  // that was in the list before the station began into such a handle.
  virtual int AddRow(const std::string& name, const std::string& value, int image,
                     RowKind kind) = 0;
  int AddRow(const std::string& name, const std::string& value, int image) {
    return AddRow(name, value, image, KindOfImage(image));
  }
  virtual int FormRow(int index) = 0;
  virtual void SetText(int row, int column, const std::string& text) = 0;
  virtual void SetImage(int row, int image, RowKind kind) = 0;
  void SetImage(int row, int image) { SetImage(row, image, KindOfImage(image)); }
  virtual void DeleteAllRows() = 0;

  // The silent list: CheckPresence probes the station and, when it does not answer, remembers it
  // (true: not present).
  virtual bool CheckPresence(const BaseStationRecord& record) = 0;
  virtual void ClearSilent() = 0;
  virtual void ReportSilent(const std::string& suffix) = 0;

  // A change of the form's own state (selection, list flags), made on the form's thread in the
  // station's turn.
  virtual void OnForm(std::function<void(CQeltaConfigView&)> change) = 0;

  // The HTTP session of this worker: the operation's own one station after another, one per
  // worker when stations run at once.
  virtual network::WebSession& Web() = 0;
  // An answer file in the working folder, opened ("w+") on first use for this station. One
  // station at a time: the fixed name (the operation may have opened it for the whole run);
  // several at once: the name with the station's suffix before the extension. Null when it
  // cannot be created.
  virtual FILE* AnswerFile(const std::string& name) = 0;

  // Whether this station has shown a failure so far (a failure row, a silent probe).
  bool Failed() const { return failed_; }
  // True on the form's own thread, where the form's state may be used directly.
  virtual bool OnFormThread() const = 0;

 protected:
  explicit StationScope(CQeltaConfigView& view) : view_(view) {}
  void NoteFailure() { failed_ = true; }
  void ResetFailure() { failed_ = false; }

 private:
  CQeltaConfigView& view_;
  bool failed_ = false;
};

// "default_setup.html" with the suffix "127.0.0.5" gives "default_setup_127.0.0.5.html"; a name
// without an extension gets the suffix at its end.
std::string SuffixedFileName(const std::string& name, const std::string& suffix);

// Answer files opened for one station (or for a whole run) and closed together.
class AnswerFiles {
 public:
  AnswerFiles() = default;
  ~AnswerFiles() { CloseAll(); }
  AnswerFiles(const AnswerFiles&) = delete;
  AnswerFiles& operator=(const AnswerFiles&) = delete;

  FILE* Open(const std::string& key, const std::string& path);
  // A file the caller owns, handed out under `key` until CloseAll (which leaves it open).
  void Share(const std::string& key, FILE* file);
  FILE* Find(const std::string& key) const;
  bool Has(const std::string& key) const { return files_.count(key) != 0; }
  void CloseAll();

 private:
  struct Entry {
    FILE* file = nullptr;
    bool owned = false;
  };
  std::map<std::string, Entry> files_;
};

// The scope of the form's own thread: everything goes straight to the form. Used for one station
// at a time and by the single-station commands.
class FormScope final : public StationScope {
 public:
  // `session`: the operation's HTTP session (null: one is made on first use).
  explicit FormScope(CQeltaConfigView& view, network::WebSession* session = nullptr);
  ~FormScope() override;
  bool OnFormThread() const override { return true; }

  // Starts the next station: its answer files (other than shared ones) are closed.
  void NextStation();
  AnswerFiles& Files() { return files_; }

  CHalvexCtrl& Link() override;
  UiPort& Ui() override;
  int AddRow(const std::string& name, const std::string& value, int image, RowKind kind) override;
  int FormRow(int index) override { return index; }
  void SetText(int row, int column, const std::string& text) override;
  void SetImage(int row, int image, RowKind kind) override;
  using StationScope::SetImage;
  void DeleteAllRows() override;
  bool CheckPresence(const BaseStationRecord& record) override;
  void ClearSilent() override;
  void ReportSilent(const std::string& suffix) override;
  void OnForm(std::function<void(CQeltaConfigView&)> change) override;
  network::WebSession& Web() override;
  FILE* AnswerFile(const std::string& name) override;

 private:
  network::WebSession* session_;
  std::unique_ptr<network::WebSession> ownSession_;
  AnswerFiles files_;
  AnswerFiles stationFiles_;
};

}  // namespace qelta::fleet
