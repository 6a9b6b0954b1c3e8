#include "module/ModuleDatagrams.h"

#include <cstring>
#include <random>

namespace qelta::sim {
namespace {

constexpr uint16_t kAnswerType = 0x0002;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

uint32_t GetU32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void SetPayloadLength(std::vector<uint8_t>& d, size_t payload) {
  d[6] = static_cast<uint8_t>(payload >> 8);
  d[7] = static_cast<uint8_t>(payload);
}

}  // namespace

std::vector<uint8_t> BuildDiscoveryAnswer(const ModuleIdentity& id, MalformedAnswer kind,
                                          uint32_t seed) {
  std::vector<uint8_t> d = {'D', 'I', 'G', 'I', 0, 0, 0, 0};
  d[4] = static_cast<uint8_t>(kAnswerType >> 8);
  d[5] = static_cast<uint8_t>(kAnswerType);
  if (kind == MalformedAnswer::kEmpty) return {};

  if (id.hasMac) {
    d.insert(d.end(), {1, 6});
    d.insert(d.end(), id.mac.begin(), id.mac.end());
  }
  d.insert(d.end(), {2, 4});
  PutU32(d, id.address);
  d.insert(d.end(), {3, 4});
  PutU32(d, id.mask);
  // A name field holds at most 255 bytes; longer names are cut by the module itself.
  const size_t nameLength = id.name.size() < 255 ? id.name.size() : 255;
  d.insert(d.end(), {4, static_cast<uint8_t>(nameLength)});
  d.insert(d.end(), id.name.begin(), id.name.begin() + static_cast<ptrdiff_t>(nameLength));
  d.insert(d.end(), {11, 4});
  PutU32(d, id.gateway);
  d.insert(d.end(), {16, 1, static_cast<uint8_t>(id.dhcp ? 1 : 0)});
  SetPayloadLength(d, d.size() - 8);

  switch (kind) {
    case MalformedAnswer::kNone:
    case MalformedAnswer::kEmpty:
      break;
    case MalformedAnswer::kTruncated:
      SetPayloadLength(d, d.size() - 8 + 40);
      break;
    case MalformedAnswer::kBadMagic:
      d[3] = 'X';
      break;
    case MalformedAnswer::kLowerMagic:
      std::memcpy(d.data(), "digi", 4);
      break;
    case MalformedAnswer::kNameOverrun:
      d.resize(8);
      d.insert(d.end(), {4, 200, 'c', 'u', 't'});
      SetPayloadLength(d, d.size() - 8);
      break;
    case MalformedAnswer::kFieldCutOff:
      d.resize(8);
      d.insert(d.end(), {16, 1, 1, 1, 6, 0x00, 0x40});
      SetPayloadLength(d, d.size() - 8);
      break;
    case MalformedAnswer::kOversize: {
      d.resize(8);
      while (d.size() < 1400) d.insert(d.end(), {99, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
      d.resize(1400);
      SetPayloadLength(d, d.size() - 8);
      break;
    }
    case MalformedAnswer::kGarbage: {
      std::mt19937 random(seed);
      const size_t length = 9 + random() % 190;
      d.resize(length);
      for (size_t i = 4; i < length; ++i) d[i] = static_cast<uint8_t>(random());
      break;
    }
  }
  return d;
}

std::optional<ModuleRequest> ParseModuleRequest(const uint8_t* data, size_t length) {
  if (data == nullptr || length < 8 || std::memcmp(data, "DIGI", 4) != 0) return std::nullopt;
  const uint16_t type = static_cast<uint16_t>((data[4] << 8) | data[5]);
  const size_t payload = (size_t{data[6]} << 8) | data[7];
  if (length < 8 + payload) return std::nullopt;
  const uint8_t* p = data + 8;
  ModuleRequest r;

  // MAC, password length, password; false when the payload does not hold them.
  auto readTarget = [&](size_t at) {
    if (at + 7 > payload) return false;
    std::memcpy(r.mac.data(), p + at, 6);
    const size_t n = p[at + 6];
    if (at + 7 + n > payload) return false;
    r.password.assign(reinterpret_cast<const char*>(p + at + 7), n);
    return true;
  };

  switch (type) {
    case 0x0001:
      r.type = RequestType::kDiscovery;
      if (payload >= r.mac.size()) std::memcpy(r.mac.data(), p, r.mac.size());
      return r;
    case 0x0003:
      if (payload < 12 || !readTarget(12)) return std::nullopt;
      r.type = RequestType::kStaticAddress;
      r.address = GetU32(p);
      r.mask = GetU32(p + 4);
      r.gateway = GetU32(p + 8);
      return r;
    case 0x0007:
      if (payload < 1 || !readTarget(1)) return std::nullopt;
      r.type = RequestType::kDhcp;
      r.dhcpOn = p[0] == 1;
      return r;
    case 0x0005:
      if (!readTarget(0)) return std::nullopt;
      r.type = RequestType::kReboot;
      return r;
    default:
      r.type = RequestType::kOther;
      return r;
  }
}

bool DiscoveryIsFor(const ModuleRequest& request, const ModuleIdentity& id) {
  if (request.type != RequestType::kDiscovery) return false;
  ModuleMac everyone;
  everyone.fill(0xFF);
  return request.mac == everyone || (id.hasMac && request.mac == id.mac);
}

}  // namespace qelta::sim
