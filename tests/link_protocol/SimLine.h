// Puts a simulated device behind the scripted line: every frame the link writes goes to the
// device, and its answer comes back as one chunk. The script shares the device, so a frame still
// on its way keeps it alive.
#pragma once

#include <memory>

#include "LinkFixture.h"
#include "device/SimDevice.h"

namespace linktest {

using DevicePtr = std::shared_ptr<qelta::sim::SimDevice>;

inline DevicePtr MakeDevice(uint8_t type) {
  qelta::sim::DeviceIdentity id;
  id.type = type;
  return std::make_shared<qelta::sim::SimDevice>(id);
}

inline Script DeviceScript(DevicePtr device) {
  return [device](const Bytes& frame) -> std::optional<Bytes> {
    Bytes answer = device->Exchange(frame);
    if (answer.empty()) return std::nullopt;
    return answer;
  };
}

}  // namespace linktest
