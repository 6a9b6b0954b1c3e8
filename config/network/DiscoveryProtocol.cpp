#include "network/DiscoveryProtocol.h"

#include <cctype>
#include <cstring>

namespace qelta::network {
namespace {

template <size_t N>
void PutHeader(std::array<uint8_t, N>& p, uint16_t type) {
  p[0] = 'D';
  p[1] = 'I';
  p[2] = 'G';
  p[3] = 'I';
  p[4] = static_cast<uint8_t>(type >> 8);
  p[5] = static_cast<uint8_t>(type);
  p[6] = static_cast<uint8_t>((N - 8) >> 8);
  p[7] = static_cast<uint8_t>(N - 8);
}

template <size_t N>
void PutU32(std::array<uint8_t, N>& p, size_t at, uint32_t v) {
  p[at] = static_cast<uint8_t>(v >> 24);
  p[at + 1] = static_cast<uint8_t>(v >> 16);
  p[at + 2] = static_cast<uint8_t>(v >> 8);
  p[at + 3] = static_cast<uint8_t>(v);
}

// MAC, password length, password: the tail every configuration request ends with.
template <size_t N>
void PutTarget(std::array<uint8_t, N>& p, size_t at, const MacAddress& mac) {
  std::memcpy(&p[at], mac.data(), mac.size());
  p[at + 6] = static_cast<uint8_t>(kModulePassword.size());
  std::memcpy(&p[at + 7], kModulePassword.data(), kModulePassword.size());
}

uint32_t GetU32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

DiscoveryRequestPacket MakeDiscoveryRequest() {
  DiscoveryRequestPacket p{};
  PutHeader(p, kTypeDiscoveryRequest);
  for (size_t i = 8; i < p.size(); ++i) p[i] = 0xFF;
  return p;
}

StaticAddressRequestPacket MakeStaticAddressRequest(uint32_t address, uint32_t mask,
                                                    uint32_t gateway, const MacAddress& mac) {
  StaticAddressRequestPacket p{};
  PutHeader(p, kTypeStaticAddressRequest);
  PutU32(p, 8, address);
  PutU32(p, 12, mask);
  PutU32(p, 16, gateway);
  PutTarget(p, 20, mac);
  return p;
}

DhcpRequestPacket MakeDhcpRequest(const MacAddress& mac) {
  DhcpRequestPacket p{};
  PutHeader(p, kTypeDhcpRequest);
  p[8] = 0x01;
  PutTarget(p, 9, mac);
  return p;
}

RebootRequestPacket MakeRebootRequest(const MacAddress& mac) {
  RebootRequestPacket p{};
  PutHeader(p, kTypeRebootRequest);
  PutTarget(p, 8, mac);
  return p;
}

bool ParseDiscoveryResponse(DiscoveryResponse& out, const uint8_t* data, size_t length) {
  out = DiscoveryResponse{};
  if (data == nullptr || length < 4) return false;
  static constexpr char kMagic[] = "digi";
  for (size_t i = 0; i < 4; ++i) {
    if (std::tolower(data[i]) != kMagic[i]) return false;
  }
  if (length <= 8) return false;
  const size_t payload = (size_t{data[6]} << 8) | data[7];
  const size_t end = 8 + payload;
  if (length < end) return false;

  // Fields are read only inside the datagram; a fixed-size field cut off by its end is ignored.
  size_t at = 8;
  while (at < length) {
    const uint8_t tag = data[at];
    const size_t value = at + 2;  // first value byte
    switch (tag) {
      case kTagMac:
        if (value + 6 <= length) {
          std::memcpy(out.mac.data(), data + value, 6);
          out.macValid = 1;
        }
        at += 8;
        break;
      case kTagAddress:
        at += 6;
        break;
      case kTagMask:
        if (value + 4 <= length) {
          out.mask = GetU32(data + value);
          out.maskValid = 1;
        }
        at += 6;
        break;
      case kTagGateway:
        if (value + 4 <= length) {
          out.gateway = GetU32(data + value);
          out.gatewayValid = 1;
        }
        at += 6;
        break;
      case kTagDhcp:
        if (value + 1 <= length) out.dhcp = data[value];
        at += 3;
        break;
      default: {
        if (at + 1 >= length) return true;  // no length byte left
        const size_t n = data[at + 1];
        if (tag == kTagName && value + n <= end) {
          const size_t copied = n < kNameChars ? n : kNameChars;
          std::memcpy(out.name, data + value, copied);
          out.name[copied] = '\0';
        }
        at += n + 2;
        break;
      }
    }
  }
  return true;
}

}  // namespace qelta::network
