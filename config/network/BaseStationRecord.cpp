#include "network/BaseStationRecord.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

namespace qelta::network {

std::string FormatMac(const uint8_t* mac) {
  if (mac == nullptr) return "(null)";
  char text[18];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}

std::string AddressToText(uint32_t networkOrderAddress) {
  in_addr a{};
  a.s_addr = networkOrderAddress;
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &a, text, sizeof text) == nullptr) return {};
  return text;
}

uint8_t FirstOctet(uint32_t networkOrderAddress) {
  uint8_t octets[4];
  std::memcpy(octets, &networkOrderAddress, 4);
  return octets[0];
}

bool TextToAddress(const std::string& text, uint32_t& networkOrderAddress) {
  in_addr a{};
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  networkOrderAddress = a.s_addr;
  return true;
}

BaseStationRecord RecordFromResponse(const DiscoveryResponse& response) {
  BaseStationRecord r;
  r.dhcp = response.dhcp;
  r.address = response.address;
  std::memcpy(r.name, response.name, sizeof r.name);
  r.name[sizeof r.name - 1] = '\0';
  r.macValid = response.macValid;
  if (response.macValid) r.mac = response.mac;
  r.gatewayValid = response.gatewayValid;
  if (response.gatewayValid) r.gateway = response.gateway;
  r.maskValid = response.maskValid;
  if (response.maskValid) r.mask = response.mask;
  const std::string text = AddressToText(response.address);
  std::snprintf(r.addressText, sizeof r.addressText, "%s", text.c_str());
  r.port = kTunnelPort;
  return r;
}

std::string BaseStationRowName(const BaseStationRecord& record) {
  return record.name[0] ? std::string(record.name) : std::string("Base station");
}

std::string BaseStationRowValue(const BaseStationRecord& record) {
  return std::string(record.addressText) + " (" + FormatMac(record.mac) + ")";
}

}  // namespace qelta::network
