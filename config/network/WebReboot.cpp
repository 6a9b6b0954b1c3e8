// "Reboot Ethernet module(s)": by the discovery protocol's reboot request when the station's MAC
// is known, through the module's reboot form otherwise. The table is emptied afterwards because
// the module may come back under another address.
#include <cstdio>
#include <vector>

#include "network/BaseStationListOps.h"
#include "network/WebClient.h"
#include "network/WebOperations.h"

namespace qelta::network {
namespace {

std::string ResponseRow(long status) {
  char text[64];
  std::snprintf(text, sizeof text, "Response: %ld", status);
  return text;
}

class AnswerFile {
 public:
  explicit AnswerFile(const std::string& path) : file_(std::fopen(path.c_str(), "w+")) {}
  ~AnswerFile() {
    if (file_) std::fclose(file_);
  }
  AnswerFile(const AnswerFile&) = delete;
  AnswerFile& operator=(const AnswerFile&) = delete;
  FILE* get() const { return file_; }

 private:
  FILE* file_;
};

// The reboot request by datagram. False when the lock could not be had (the web pages are used
// then); true when the datagram path was taken, whether or not the send worked.
bool RebootByDatagram(CQeltaConfigView& view, const BaseStationRecord& station) {
  NamedMutexGuard hold(ListLock(view), kRebootLockWaitMs);
  if (!hold.Owned()) return false;
  const RebootRequestPacket packet = MakeRebootRequest(station.mac);
  if (!BaseStationDiscovery::SendToModules(packet.data(), packet.size())) {
    // Nothing left the computer: say so rather than end without a word.
    view.AddOutputRow("UDP broadcast error", "", ids::kImageFailure);
    return true;
  }
  Table(view).count = 0;
  view.outputList().DeleteAllRows();
  view.selectedBaseStation = nullptr;
  view.AddOutputRow("Reboot sent", "MAC: " + FormatMac(station.mac), ids::kImageStep,
                    RowKind::Success);  // the request is out: done
  return true;
}

void RebootByWebForm(CQeltaConfigView& view, WebSession& session,
                     const BaseStationRecord& station) {
  AnswerFile answers(view.programDir + kRebootAnswerFile);
  AnswerFile headers(view.programDir + kRebootHeaderFile);
  const std::string loginBody = LoginBody(view);

  bool loggedIn = false;
  const WebResult page = GetLoginPage(session, station, answers.get());
  // The responses show the success image whatever they were; their kind tells the truth.
  view.AddOutputRow(ResponseRow(page.status), "", ids::kImageSuccess, page.Kind());
  if (page.Ok()) {
    view.AddOutputRow("Logging in.", "", ids::kImageSuccess, RowKind::Step);
    session.SetHeaderFile(headers.get());
    const WebResult login = PostLogin(session, station, loginBody, answers.get());
    view.AddOutputRow(ResponseRow(login.status), "", ids::kImageSuccess, login.Kind());
    loggedIn = login.Ok();
  }
  if (!loggedIn) {
    view.outputList().DeleteAllRows();
    view.selectedBaseStation = nullptr;
    view.AddOutputRow("Could not log in to the Ethernet module.", "", ids::kImageFailure);
    session.SetHeaderFile(nullptr);
    return;
  }

  const WebResult reboot = PostForm(session, station, kRebootFormPath, kRebootBody, answers.get());
  view.AddOutputRow("Restarting base station.", reboot.Word(),
                    reboot.Ok() ? ids::kImageSuccess : ids::kImageFailure, reboot.Kind());
  session.SetHeaderFile(nullptr);

  {
    NamedMutexGuard hold(ListLock(view), kTableClearLockWaitMs);
    // Without the lock the discovery thread owns the table; it refills it anyway once the list
    // no longer shows it.
    if (hold.Owned()) Table(view) = BaseStationList{};
    view.outputList().DeleteAllRows();
    view.selectedBaseStation = nullptr;
    view.listShowsBaseStations = false;
  }
}

}  // namespace

void RebootModule(CQeltaConfigView& view, bool confirm) {
  if (view.selectedBaseStation == nullptr) return;
  if (confirm &&
      view.Message("Rediscovering base station after reboot may take a couple of minutes.\nOK to "
                   "proceed?",
                   "Verify", MessageButtons::OkCancel,
                   MessageIcon::Question) != MessageAnswer::Ok) {
    return;
  }
  // A copy: the record in the table is emptied on the way.
  const BaseStationRecord station = *view.selectedBaseStation;
  WebSession session;
  Silent(view).count = 0;
  if (CheckPresence(view, &station)) {
    ReportSilentBaseStations(view, "(eth reboot)");
    return;
  }
  if (station.macValid && RebootByDatagram(view, station)) return;
  if (!session.Valid()) {
    view.Message("Could not initialize HTTP interface.", "HTTP error");
    return;
  }
  RebootByWebForm(view, session, station);
}

void RebootModules(CQeltaConfigView& view) {
  std::vector<BaseStationRecord> selection(kMaxBaseStations);
  const uint32_t count = CopySelectedBaseStations(view, selection.data());
  BaseStationRecord* const savedSelection = view.selectedBaseStation;
  const bool savedShows = view.listShowsBaseStations;
  view.listShowsBaseStations = true;
  for (uint32_t i = 0; i < count; ++i) {
    view.selectedBaseStation = &selection[i];
    RebootModule(view, false);
  }
  // The copies die here: never leave the selection pointing at them.
  view.selectedBaseStation = savedSelection;
  view.listShowsBaseStations = savedShows;
}

}  // namespace qelta::network
