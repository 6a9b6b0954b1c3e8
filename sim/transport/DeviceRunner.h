#pragma once
// Runs a SimDevice on its own thread over one SerialEndpoint: reads the line, feeds the device,
// writes its answers when they are due (paced at the device's baud rate when it has one) and
// hangs up when the device drops the line. Stop() (or destruction) joins the thread.

#include <atomic>
#include <memory>
#include <thread>

#include "device/SimDevice.h"
#include "transport/SerialEndpoint.h"

namespace qelta::sim {

class DeviceRunner {
 public:
  DeviceRunner(SimDevice& device, std::unique_ptr<SerialEndpoint> endpoint);
  ~DeviceRunner();
  DeviceRunner(const DeviceRunner&) = delete;
  DeviceRunner& operator=(const DeviceRunner&) = delete;

  void Start();
  void Stop();
  bool Running() const { return thread_.joinable(); }

  SerialEndpoint& Endpoint() { return *endpoint_; }

 private:
  void Run();

  SimDevice& device_;
  std::unique_ptr<SerialEndpoint> endpoint_;
  int wake_fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace qelta::sim
