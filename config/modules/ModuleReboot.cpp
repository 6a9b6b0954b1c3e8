#include "modules/ModuleReboot.h"

#include <cstdio>

#include "core/OutputImages.h"
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
bool RebootByDatagram(fleet::StationHandle& s, StationDirectory& directory) {
  const BaseStationRecord& station = s.Record();
  NamedMutexGuard hold(directory.ListLock(), kRebootLockWaitMs);
  if (!hold.Owned()) return false;
  const RebootRequestPacket packet = MakeRebootRequest(station.mac);
  if (!BaseStationDiscovery::SendToModules(packet.data(), packet.size())) {
    // Nothing left the computer: say so rather than end without a word.
    s.AddRow("UDP broadcast error", "", ids::kImageFailure);
    return true;
  }
  directory.Table().count = 0;
  s.DeleteAllRows();
  s.State().selectionGone = true;
  s.AddRow("Reboot sent", "MAC: " + FormatMac(station.mac), ids::kImageStep,
           RowKind::Success);  // the request is out: done
  return true;
}

void RebootByWebForm(fleet::StationHandle& s, WebSession& session, StationDirectory& directory) {
  const BaseStationRecord& station = s.Record();
  FILE* answers = s.AnswerFile(kRebootAnswerFile);
  FILE* headers = s.AnswerFile(kRebootHeaderFile);
  const std::string loginBody = LoginBody(s.Settings().moduleUser, s.Settings().modulePassword);

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
    s.State().selectionGone = true;
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
  directory.ClearTable(kTableClearLockWaitMs);
  s.DeleteAllRows();
  s.State().selectionGone = true;
  s.State().listShowsBaseStations = false;
}

}  // namespace

void RebootStation(fleet::StationHandle& s, StationDirectory& directory) {
  WebSession session;
  s.ClearSilent();
  if (s.CheckPresence()) {
    s.ReportSilent("(eth reboot)");
    return;
  }
  if (s.Record().macValid && RebootByDatagram(s, directory)) return;
  if (!session.Valid()) {
    s.Notice("Could not initialize HTTP interface.", "HTTP error");
    return;
  }
  RebootByWebForm(s, session, directory);
}

}  // namespace qelta::network
