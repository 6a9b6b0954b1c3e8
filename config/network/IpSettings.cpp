#include "network/IpSettings.h"

#include <arpa/inet.h>

#include <cstdio>

#include "network/BaseStationListOps.h"
#include "network/WebClient.h"
#include "network/WebOperations.h"

namespace qelta::network {
namespace {

constexpr size_t kHostNameChars = 32;

std::string Trimmed(std::string text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string StatusRow(const WebResult& r) {
  char text[64];
  std::snprintf(text, sizeof text, "%s (%ld)", r.Word(), r.status);
  return text;
}

std::string HttpRow(long status) {
  char text[64];
  std::snprintf(text, sizeof text, "HTTP: %ld", status);
  return text;
}

bool Unusable(uint32_t address) { return address == 0 || address == 0xFFFFFFFFu; }

}  // namespace

std::string DottedHostOrder(uint32_t a) {
  char text[20];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF,
                a & 0xFF);
  return text;
}

bool ParseHostOrder(const std::string& text, uint32_t& hostOrder) {
  uint32_t network = 0;
  if (!TextToAddress(text, network)) return false;
  hostOrder = ntohl(network);
  return true;
}

std::string ValidateIpSettings(const IpSettings& s) {
  if (s.mode != 1) return "";
  std::string added;
  if (Unusable(s.ipAddress))
    added += "\n\nIP address (" + DottedHostOrder(s.ipAddress) + ") is not acceptable.";
  if (Unusable(s.gateway))
    added += "\n\nGateway value (" + DottedHostOrder(s.gateway) + ") is not acceptable.";
  return added.empty() ? added : "Following errors occured:" + added;
}

DialogModel IpSettingsDialog(const IpSettings& s, bool withHostName) {
  DialogModel d;
  d.name = "CIPSettingsDlg";
  d.title = "IP settings";
  d.validationCaption = "Errors";
  d.validationErrorIcon = true;
  auto add = [&d](int id, const char* name, const char* label, FieldKind kind, std::string value) {
    DialogField f;
    f.controlId = id;
    f.name = name;
    f.label = label;
    f.kind = kind;
    f.value = std::move(value);
    return &d.Add(std::move(f));
  };
  add(kIpDhcpRadio, "dhcp", "Use DHCP", FieldKind::Radio, s.mode == 1 ? "0" : "1");
  add(kIpFixedRadio, "fixed", "Use these IP settings", FieldKind::Radio, s.mode == 1 ? "1" : "0");
  add(kIpAddressField, "ip", "IP address", FieldKind::IpAddress, DottedHostOrder(s.ipAddress));
  add(kIpMaskField, "mask", "Subnet mask", FieldKind::IpAddress, DottedHostOrder(s.subnetMask));
  add(kIpGatewayField, "gateway", "Default gateway", FieldKind::IpAddress,
      DottedHostOrder(s.gateway));
  add(0, "hostGroup", "Host name (empty if not used/changed)", FieldKind::Group, "");
  DialogField* host = add(kIpHostNameField, "hostName", "", FieldKind::Text, s.hostName);
  host->enabled = withHostName;
  d.onEdit = [](DialogModel& m, int id) {
    // Typing an address means fixed settings; the two radio buttons exclude each other.
    if (id == kIpAddressField || (id == kIpFixedRadio && m.Value(kIpFixedRadio) == "1")) {
      m.SetValue(kIpFixedRadio, "1");
      m.SetValue(kIpDhcpRadio, "0");
    } else if (id == kIpDhcpRadio && m.Value(kIpDhcpRadio) == "1") {
      m.SetValue(kIpFixedRadio, "0");
    }
  };
  d.validate = [](DialogModel& m) {
    IpSettings read;
    if (!ReadIpSettingsDialog(m, read)) return std::string("Please enter valid IP addresses.");
    return ValidateIpSettings(read);
  };
  return d;
}

bool ReadIpSettingsDialog(const DialogModel& d, IpSettings& s) {
  s.mode = d.Value(kIpFixedRadio) == "1" ? 1 : 0;
  s.hostName = d.Value(kIpHostNameField);
  auto read = [&d](int id, uint32_t& out) {
    const std::string text = d.Value(id);
    if (text.empty()) {
      out = 0;
      return true;
    }
    return ParseHostOrder(text, out);
  };
  return read(kIpAddressField, s.ipAddress) && read(kIpMaskField, s.subnetMask) &&
         read(kIpGatewayField, s.gateway);
}

void EditIpSettings(CQeltaConfigView& view) {
  if (view.selectedBaseStation == nullptr) return;
  const BaseStationRecord station = *view.selectedBaseStation;
  Silent(view).count = 0;
  if (CheckPresence(view, &station)) {
    ReportSilentBaseStations(view, "(IP setting)");
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
  view.AddOutputRow("Login file", HttpRow(page.status), ids::kImageSuccess, page.Kind());
  const WebResult login = PostLogin(session, station, LoginBody(view), answer);
  if (!login.Ok()) {
    view.AddOutputRow("Login failure", "", ids::kImageFailure);
    return;
  }

  const std::string body = s.mode == 0 ? std::string(kDhcpBody)
                                       : "rbDHCP=off&ip_addr=" + ip + "&submask=" + mask +
                                             "&gw_addr=" + gateway + "&Submit=Apply";
  const WebResult setup = PostForm(session, station, kNetworkFormPath, body, answer);
  view.AddOutputRow(s.mode == 0 ? "DHCP setup" : "IP address setup", StatusRow(setup),
                    setup.Ok() ? ids::kImageSuccess : ids::kImageFailure, setup.Kind());
  if (!setup.Ok()) {
    view.AddOutputRow("IP setup failure", "", ids::kImageFailure);
    return;
  }
  if (!hostName.empty()) SetHostName(view, &session, &station, hostName, answer);

  const WebResult reboot = PostForm(session, station, kRebootFormPath, kRebootBody, answer);
  view.AddOutputRow("Restarting base station.", reboot.Word(),
                    reboot.Ok() ? ids::kImageSuccess : ids::kImageFailure, reboot.Kind());

  NamedMutexGuard hold(ListLock(view), kTableClearLockWaitMs);
  if (hold.Owned()) Table(view) = BaseStationList{};
  view.listShowsBaseStations = false;
  // The record the selection pointed at is gone.
  view.selectedBaseStation = nullptr;
}

void RecoverIpSettings(CQeltaConfigView& view) {
  if (view.selectedBaseStation == nullptr) return;
  NamedMutexGuard hold(ListLock(view), kTableClearLockWaitMs);
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
  Table(view).count = 0;
  view.outputList().DeleteAllRows();
  view.selectedBaseStation = nullptr;
  view.AddOutputRow("Reboot sent", macText, ids::kImageStep, RowKind::Success);  // done
}

}  // namespace qelta::network
