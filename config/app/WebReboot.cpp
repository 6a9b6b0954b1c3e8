// "Reboot Ethernet module(s)": by the discovery protocol's reboot request when the station's MAC
// is known, through the module's reboot form otherwise. The table is emptied afterwards because
// the module may come back under another address.
#include <cstdio>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/WebOperations.h"
#include "fleet/FleetRun.h"
#include "network/WebClient.h"

namespace qelta::network {
namespace {

std::string ResponseRow(long status) {
  char text[64];
  std::snprintf(text, sizeof text, "Response: %ld", status);
  return text;
}

// The reboot request by datagram. False when the lock could not be had (the web pages are used
// then); true when the datagram path was taken, whether or not the send worked.
bool RebootByDatagram(fleet::StationScope& s, const BaseStationRecord& station) {
  CQeltaConfigView& view = s.view();
  NamedMutexGuard hold(view.directory().ListLock(), kRebootLockWaitMs);
  if (!hold.Owned()) return false;
  const RebootRequestPacket packet = MakeRebootRequest(station.mac);
  if (!BaseStationDiscovery::SendToModules(packet.data(), packet.size())) {
    // Nothing left the computer: say so rather than end without a word.
    s.AddRow("UDP broadcast error", "", ids::kImageFailure);
    return true;
  }
  view.directory().Table().count = 0;
  s.DeleteAllRows();
  s.OnForm([](CQeltaConfigView& form) { form.selectedBaseStation = nullptr; });
  s.AddRow("Reboot sent", "MAC: " + FormatMac(station.mac), ids::kImageStep,
           RowKind::Success);  // the request is out: done
  return true;
}

void RebootByWebForm(fleet::StationScope& s, WebSession& session,
                     const BaseStationRecord& station) {
  CQeltaConfigView& view = s.view();
  FILE* answers = s.AnswerFile(kRebootAnswerFile);
  FILE* headers = s.AnswerFile(kRebootHeaderFile);
  const std::string loginBody = LoginBody(view.ethUser, view.ethPassword);

  bool loggedIn = false;
  const WebResult page = GetLoginPage(session, station, answers);
  // The responses show the success image whatever they were; their kind tells the truth.
  s.AddRow(ResponseRow(page.status), "", ids::kImageSuccess, page.Kind());
  if (page.Ok()) {
    s.AddRow("Logging in.", "", ids::kImageSuccess, RowKind::Step);
    session.SetHeaderFile(headers);
    const WebResult login = PostLogin(session, station, loginBody, answers);
    s.AddRow(ResponseRow(login.status), "", ids::kImageSuccess, login.Kind());
    loggedIn = login.Ok();
  }
  if (!loggedIn) {
    s.DeleteAllRows();
    s.OnForm([](CQeltaConfigView& form) { form.selectedBaseStation = nullptr; });
    s.AddRow("Could not log in to the Ethernet module.", "", ids::kImageFailure);
    session.SetHeaderFile(nullptr);
    return;
  }

  const WebResult reboot = PostForm(session, station, kRebootFormPath, kRebootBody, answers);
  s.AddRow("Restarting base station.", reboot.Word(),
           reboot.Ok() ? ids::kImageSuccess : ids::kImageFailure, reboot.Kind());
  session.SetHeaderFile(nullptr);

  // Without the lock the discovery thread owns the table; it refills it anyway once the list no
  // longer shows it.
  view.directory().ClearTable(kTableClearLockWaitMs);
  s.DeleteAllRows();
  s.OnForm([](CQeltaConfigView& form) {
    form.selectedBaseStation = nullptr;
    form.listShowsBaseStations = false;
  });
}

// One module's reboot, asked or not: its own HTTP session, as every operation here has.
void RebootStation(fleet::StationScope& s, const BaseStationRecord& station) {
  WebSession session;
  s.ClearSilent();
  if (s.CheckPresence(station)) {
    s.ReportSilent("(eth reboot)");
    return;
  }
  if (station.macValid && RebootByDatagram(s, station)) return;
  if (!session.Valid()) {
    s.Notice("Could not initialize HTTP interface.", "HTTP error");
    return;
  }
  RebootByWebForm(s, session, station);
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
  fleet::RunOnForm(view, [&station](fleet::StationScope& s) { RebootStation(s, station); });
}

void RebootModules(CQeltaConfigView& view) {
  std::vector<BaseStationRecord> selection(kMaxBaseStations);
  const uint32_t count = CopySelectedBaseStations(view, selection.data());
  BaseStationRecord* const savedSelection = view.selectedBaseStation;
  const bool savedShows = view.listShowsBaseStations;
  view.listShowsBaseStations = true;
  {
    fleet::FleetRun run(view, fleet::StationNames(selection.data(), count));
    run.Phase([&selection](fleet::StationScope& s, std::size_t i) {
      // The station is the selected one for its turn, as the single reboot acts on it.
      s.OnForm(
          [record = &selection[i]](CQeltaConfigView& form) { form.selectedBaseStation = record; });
      RebootStation(s, selection[i]);
    });
  }
  // The copies die here: never leave the selection pointing at them.
  view.selectedBaseStation = savedSelection;
  view.listShowsBaseStations = savedShows;
}

}  // namespace qelta::network
