// One discovered base station (its Ethernet module), the shared table of them and the list of
// stations that stopped answering. Records are plain data, copied by value into selections.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "network/DiscoveryProtocol.h"

// One discovered module. It lives outside the namespace because the main form and its output
// list refer to it by this plain name (rows carry a pointer to it as item data).
struct BaseStationRecord {
  char addressText[256] = {};  // dotted decimal, what the user sees
  uint32_t address = 0;        // IPv4, network byte order: identifies the station
  uint16_t port = 0;           // serial tunnel, host order
  int32_t dhcp = 0;            // 0 = fixed address
  int32_t macValid = 0;
  qelta::network::MacAddress mac{};
  char name[qelta::network::kNameChars + 1] = {};  // module host name, empty if none
  int32_t gatewayValid = 0;
  uint32_t gateway = 0;  // host order
  int32_t maskValid = 0;
  uint32_t mask = 0;  // host order
};

namespace qelta::network {

using ::BaseStationRecord;

inline constexpr size_t kMaxBaseStations = 256;

struct BaseStationList {
  std::array<BaseStationRecord, kMaxBaseStations> records{};
  uint32_t count = 0;
};

struct SilentList {
  std::array<BaseStationRecord, kMaxBaseStations> records{};
  uint32_t count = 0;
};

// "00-40-9D-2A-79-06"; a null pointer gives "(null)".
std::string FormatMac(const uint8_t* mac);
inline std::string FormatMac(const MacAddress& mac) { return FormatMac(mac.data()); }

// Dotted decimal of an address in network order.
std::string AddressToText(uint32_t networkOrderAddress);
// First octet of an address in network order (169 marks a link-local, temporary address).
uint8_t FirstOctet(uint32_t networkOrderAddress);
// Parses dotted decimal into network order; false on anything else.
bool TextToAddress(const std::string& text, uint32_t& networkOrderAddress);

// The texts of a base station row's first two columns: the name ("Base station" when empty), and
// the address with the MAC ("10.0.0.7 (00-40-9D-2A-79-06)").
std::string BaseStationRowName(const BaseStationRecord& record);
std::string BaseStationRowValue(const BaseStationRecord& record);

// Fills a record from one answer: the fields whose flag is clear are left zero.
BaseStationRecord RecordFromResponse(const DiscoveryResponse& response);

}  // namespace qelta::network
