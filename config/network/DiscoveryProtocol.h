// The Ethernet modules' discovery protocol: the request datagrams the configurator sends and the
// reader for the modules' answers. Every datagram is "DIGI", a 16-bit type, a 16-bit payload
// length (both big-endian) and the payload.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qelta::network {

inline constexpr uint16_t kDiscoveryPort = 2362;
inline constexpr const char* kDiscoveryGroup = "224.0.5.128";
inline constexpr uint16_t kTunnelPort = 2101;

inline constexpr uint16_t kTypeDiscoveryRequest = 0x0001;
inline constexpr uint16_t kTypeStaticAddressRequest = 0x0003;
inline constexpr uint16_t kTypeRebootRequest = 0x0005;
inline constexpr uint16_t kTypeDhcpRequest = 0x0007;

// Tags of the fields in a discovery answer.
inline constexpr uint8_t kTagMac = 1;
inline constexpr uint8_t kTagAddress = 2;
inline constexpr uint8_t kTagMask = 3;
inline constexpr uint8_t kTagName = 4;
inline constexpr uint8_t kTagGateway = 11;
inline constexpr uint8_t kTagDhcp = 16;

inline constexpr size_t kNameChars = 64;
// Answers are received into a buffer of this size; longer datagrams are cut.
inline constexpr size_t kResponseBufferSize = 200;

// The packets always carry the modules' factory password, never the configured one.
inline constexpr std::array<uint8_t, 4> kModulePassword = {'k', 'q', 'z', 'v'};

using MacAddress = std::array<uint8_t, 6>;

using DiscoveryRequestPacket = std::array<uint8_t, 14>;
using StaticAddressRequestPacket = std::array<uint8_t, 31>;
using DhcpRequestPacket = std::array<uint8_t, 20>;
using RebootRequestPacket = std::array<uint8_t, 19>;

// The discovery request: type 1, the broadcast MAC as filter.
DiscoveryRequestPacket MakeDiscoveryRequest();
// Addresses and masks in host order (10.0.0.7 is 0x0A000007); they go out big-endian.
StaticAddressRequestPacket MakeStaticAddressRequest(uint32_t address, uint32_t mask,
                                                    uint32_t gateway, const MacAddress& mac);
DhcpRequestPacket MakeDhcpRequest(const MacAddress& mac);
RebootRequestPacket MakeRebootRequest(const MacAddress& mac);

// One parsed answer, kept only during one discovery cycle.
struct DiscoveryResponse {
  int32_t dhcp = 0;
  uint32_t address = 0;  // sender's IPv4 address, network order (set by the receiver)
  int32_t macValid = 0;
  MacAddress mac{};
  int32_t gatewayValid = 0;
  uint32_t gateway = 0;  // host order
  int32_t maskValid = 0;
  uint32_t mask = 0;  // host order
  char name[kNameChars + 1] = {};
};

// Reads one answer. The response is always cleared first; a datagram that is too short, lacks the
// magic or declares more payload than it carries leaves it empty and answers false. Nothing is
// read outside data[0, length), whatever the datagram declares. The magic is compared without
// regard to letter case; the buffer itself is not changed.
bool ParseDiscoveryResponse(DiscoveryResponse& out, const uint8_t* data, size_t length);

}  // namespace qelta::network
