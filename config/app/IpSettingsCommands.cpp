// "IP address settings" (through the module's web forms) and "IP recovery" (through the discovery
// protocol's configuration requests) on the selected base station, with the dialog CIPSettingsDlg.
#include <arpa/inet.h>

#include <cstdio>

#include "app/StationRuns.h"
#include "app/WebOperations.h"
#include "modules/ModuleReboot.h"
#include "network/IpSettings.h"
#include "network/WebClient.h"

namespace qelta::network {
namespace {

constexpr size_t kHostNameChars = 32;

std::string Trimmed(std::string text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

}  // namespace

void EditIpSettings(CQeltaConfigView& view) {
  if (view.selectedBaseStation == nullptr) return;
  const BaseStationRecord station = *view.selectedBaseStation;
  StationDirectory& directory = view.directory();
  directory.ClearSilent();
  if (directory.CheckPresence(station)) {
    directory.ReportSilent("(IP setting)");
    return;
  }
  WebSession session;
  const std::string answerPath = view.programDir + kIpSettingsAnswerFile;
  FILE* answer = std::fopen(answerPath.c_str(), "w+");
  struct Closer {
    FILE*& f;
    ~Closer() {
      if (f) std::fclose(f);
    }
  } closer{answer};

  IpSettings s;
  ParseHostOrder(station.addressText, s.ipAddress);
  s.gateway = station.gatewayValid ? station.gateway : s.ipAddress;
  s.subnetMask = station.maskValid ? station.mask : 0xFFFFFF00u;
  s.mode = station.dhcp == 0 ? 1 : 0;
  DialogModel dialog = IpSettingsDialog(s);
  if (!view.ui().RunDialog(dialog) || !ReadIpSettingsDialog(dialog, s)) return;

  const std::string ip = DottedHostOrder(s.ipAddress);
  const std::string mask = DottedHostOrder(s.subnetMask);
  const std::string gateway = DottedHostOrder(s.gateway);
  const std::string hostName = Trimmed(s.hostName.substr(0, kHostNameChars));

  const std::string question =
      s.mode == 0
          ? std::string(
                "You have chosen DHCP as the IP configuration for this base station.\n\n"
                "Is this correct?")
          : "You have chosen fixed IP settings for this base station.\n\nIP address: " + ip +
                "\nSubnet mask: " + mask + "\nDefault gateway: " + gateway +
                "\n\nHost name: " + (hostName.empty() ? std::string("not used") : hostName) +
                "\n\nAre the settings correct?";
  if (view.Message(question, "Verify IP settings", MessageButtons::OkCancel, MessageIcon::Error) !=
      MessageAnswer::Ok) {
    return;
  }
  if (!session.Valid()) {
    view.Message("Could not initialize HTTP interface.", "HTTP error");
    return;
  }

  const WebResult page = GetLoginPage(session, station, answer);
  view.AddOutputRow("Login file", HttpRowText(page.status), ids::kImageSuccess, page.Kind());
  const WebResult login =
      PostLogin(session, station, LoginBody(view.ethUser, view.ethPassword), answer);
  if (!login.Ok()) {
    view.AddOutputRow("Login failure", "", ids::kImageFailure);
    return;
  }

  const std::string body = s.mode == 0 ? std::string(kDhcpBody)
                                       : "rbDHCP=off&ip_addr=" + ip + "&submask=" + mask +
                                             "&gw_addr=" + gateway + "&Submit=Apply";
  const WebResult setup = PostForm(session, station, kNetworkFormPath, body, answer);
  view.AddOutputRow(s.mode == 0 ? "DHCP setup" : "IP address setup", StatusRowText(setup),
                    setup.Ok() ? ids::kImageSuccess : ids::kImageFailure, setup.Kind());
  if (!setup.Ok()) {
    view.AddOutputRow("IP setup failure", "", ids::kImageFailure);
    return;
  }
  FormSink rows(view);
  if (!hostName.empty()) SetHostName(rows, &session, &station, hostName, answer);

  const WebResult reboot = PostForm(session, station, kRebootFormPath, kRebootBody, answer);
  view.AddOutputRow("Restarting base station.", reboot.Word(),
                    reboot.Ok() ? ids::kImageSuccess : ids::kImageFailure, reboot.Kind());

  directory.ClearTable(kTableClearLockWaitMs);
  view.listShowsBaseStations = false;
  // The record the selection pointed at is gone.
  view.selectedBaseStation = nullptr;
}

void RecoverIpSettings(CQeltaConfigView& view) {
  if (view.selectedBaseStation == nullptr) return;
  StationDirectory& directory = view.directory();
  NamedMutexGuard hold(directory.ListLock(), kTableClearLockWaitMs);
  if (!hold.Owned()) {
    view.Message("Internal error: cannot access base station list.", "Error");
    return;
  }
  const BaseStationRecord station = *view.selectedBaseStation;
  IpSettings s;
  s.ipAddress = ntohl(station.address);
  s.subnetMask = station.maskValid ? station.mask : 0;
  s.gateway = station.gatewayValid ? station.gateway : 0;
  s.mode = station.dhcp == 0 ? 1 : 0;
  DialogModel dialog = IpSettingsDialog(s, false);
  if (!view.ui().RunDialog(dialog) || !ReadIpSettingsDialog(dialog, s)) return;

  view.AddOutputRow("Performing...", "", ids::kImageStep);
  bool sent = false;
  if (s.mode == 0) {
    const DhcpRequestPacket p = MakeDhcpRequest(station.mac);
    sent = BaseStationDiscovery::SendToModules(p.data(), p.size());
  } else {
    const StaticAddressRequestPacket p =
        MakeStaticAddressRequest(s.ipAddress, s.subnetMask, s.gateway, station.mac);
    sent = BaseStationDiscovery::SendToModules(p.data(), p.size());
  }
  if (!sent) {
    view.AddOutputRow("UDP broadcast error", "", ids::kImageFailure);
    return;
  }
  const std::string macText = "MAC: " + FormatMac(station.mac);
  view.AddOutputRow("Settings sent.", macText, ids::kImageStep);
  view.AddOutputRow("Reboot", macText, ids::kImageStep);
  const RebootRequestPacket reboot = MakeRebootRequest(station.mac);
  if (!BaseStationDiscovery::SendToModules(reboot.data(), reboot.size())) {
    view.AddOutputRow("UDP broadcast error", "", ids::kImageFailure);
    return;
  }
  directory.Table().count = 0;
  view.outputList().DeleteAllRows();
  view.selectedBaseStation = nullptr;
  view.AddOutputRow("Reboot sent", macText, ids::kImageStep, RowKind::Success);  // done
}

}  // namespace qelta::network
