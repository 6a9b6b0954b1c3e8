#include "network/IpSettings.h"

#include <arpa/inet.h>

#include <cstdio>

#include "network/BaseStationRecord.h"

namespace qelta::network {
namespace {

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

}  // namespace qelta::network
