// The simulated Ethernet module's side of the discovery protocol: the answers it sends and the
// configuration requests it reads. Kept apart from the configurator's code on purpose: the module
// is an independent counterpart written from what the configurator expects of it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qelta::sim {

inline constexpr uint16_t kModuleDiscoveryPort = 2362;
inline constexpr const char* kModuleDiscoveryGroup = "224.0.5.128";
inline constexpr uint16_t kModuleTunnelPort = 2101;
inline constexpr const char* kModuleDefaultPassword = "kqzv";

using ModuleMac = std::array<uint8_t, 6>;

// What a module tells about itself. Addresses in host order (127.0.0.5 is 0x7F000005).
struct ModuleIdentity {
  std::string name;
  bool hasMac = true;
  ModuleMac mac{};
  uint32_t address = 0;
  uint32_t mask = 0xFFFFFF00u;
  uint32_t gateway = 0;
  bool dhcp = false;
};

// Deliberately broken answers, for testing the reader.
enum class MalformedAnswer {
  kNone,
  kTruncated,    // declares more payload than it carries
  kBadMagic,     // "DIGX"
  kLowerMagic,   // "digi": still a valid answer
  kNameOverrun,  // a name field whose length runs past the datagram
  kFieldCutOff,  // ends in the middle of a MAC field
  kEmpty,        // a datagram of length 0
  kOversize,     // 1400 bytes, far beyond the reader's buffer
  kGarbage,      // random bytes after a valid magic
};

// The tagged-field answer to a discovery request.
std::vector<uint8_t> BuildDiscoveryAnswer(const ModuleIdentity& id, MalformedAnswer kind,
                                          uint32_t seed);

enum class RequestType { kDiscovery, kStaticAddress, kDhcp, kReboot, kOther };

struct ModuleRequest {
  RequestType type = RequestType::kOther;
  // The target module; for a discovery request the MAC filter (all ones: every module). A
  // discovery request without one names no module.
  ModuleMac mac{};
  std::string password;
  uint32_t address = 0, mask = 0, gateway = 0;  // static request, host order
  bool dhcpOn = false;
};

// Reads a request; nothing when the datagram is not one (bad magic, short, inconsistent).
std::optional<ModuleRequest> ParseModuleRequest(const uint8_t* data, size_t length);

// A discovery request is for the module with this MAC (none: a module without one) when its
// filter is the all-ones MAC or that very MAC.
bool DiscoveryIsFor(const ModuleRequest& request, const ModuleIdentity& id);

}  // namespace qelta::sim
