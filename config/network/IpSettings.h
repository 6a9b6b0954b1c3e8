// The dialog CIPSettingsDlg of "IP address settings" and "IP recovery", with its check, which lives
// here so that every front end shares it.
#pragma once

#include <cstdint>
#include <string>

#include "ui/DialogModel.h"

namespace qelta::network {

inline constexpr const char* kIpSettingsAnswerFile = "digi_ipsettings.html";

// Control ids of CIPSettingsDlg.
inline constexpr int kIpDhcpRadio = 1046;
inline constexpr int kIpFixedRadio = 1047;
inline constexpr int kIpAddressField = 1035;
inline constexpr int kIpMaskField = 1036;
inline constexpr int kIpGatewayField = 1037;
inline constexpr int kIpHostNameField = 1038;

// What the dialog holds. Addresses in host order (10.0.0.7 is 0x0A000007), 0 when not filled in.
struct IpSettings {
  int mode = 0;  // 0: "Use DHCP", 1: "Use these IP settings"
  uint32_t ipAddress = 0;
  uint32_t subnetMask = 0;
  uint32_t gateway = 0;
  std::string hostName;
};

// "a.b.c.d" of a host-order address, and back (false on anything but four decimal octets).
std::string DottedHostOrder(uint32_t hostOrder);
bool ParseHostOrder(const std::string& text, uint32_t& hostOrder);

// The OK check: empty when the settings may be used, else "Following errors occured:" with one
// paragraph per rejected address (fixed settings only; the mask is not examined).
std::string ValidateIpSettings(const IpSettings& settings);

// The dialog model filled from settings (withHostName false: the host name field is disabled),
// and the settings read back from it (false when an address field does not parse).
DialogModel IpSettingsDialog(const IpSettings& settings, bool withHostName = true);
bool ReadIpSettingsDialog(const DialogModel& dialog, IpSettings& settings);

}  // namespace qelta::network
