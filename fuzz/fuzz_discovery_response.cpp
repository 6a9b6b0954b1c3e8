// Feeds arbitrary datagrams to the discovery answer reader and checks what it keeps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "network/BaseStationRecord.h"
#include "network/DiscoveryProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy: any read past the datagram's end is caught.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
  if (size) std::memcpy(copy.get(), data, size);

  qelta::network::DiscoveryResponse r;
  const bool accepted = qelta::network::ParseDiscoveryResponse(r, copy.get(), size);
  if (std::memchr(r.name, 0, sizeof r.name) == nullptr) std::abort();
  if (!accepted && (r.macValid || r.maskValid || r.gatewayValid || r.dhcp || r.name[0])) {
    std::abort();
  }
  if (size && std::memcmp(copy.get(), data, size) != 0) std::abort();  // input left alone

  r.address = 0x0100007F;
  const auto record = qelta::network::RecordFromResponse(r);
  if (std::strlen(record.name) > qelta::network::kNameChars) std::abort();
  return 0;
}
