// Puts a simulated device behind the scripted line: every frame the link writes goes to the
// device, and its answer comes back as one chunk.
#pragma once

#include "ScriptedPort.h"
#include "device/SimDevice.h"

namespace linktest {

inline ScriptedLine::Script DeviceScript(qelta::sim::SimDevice& device) {
  return [&device](const Bytes& frame) -> std::optional<Bytes> {
    Bytes answer = device.Exchange(frame);
    if (answer.empty()) return std::nullopt;
    return answer;
  };
}

inline qelta::sim::DeviceIdentity Identity(uint8_t type) {
  qelta::sim::DeviceIdentity id;
  id.type = type;
  return id;
}

}  // namespace linktest
