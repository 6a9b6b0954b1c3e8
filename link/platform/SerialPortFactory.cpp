// The process-wide factory through which the link opens serial ports.
#include <mutex>
#include <utility>

#include "halvex/SerialPort.h"

namespace halvex {
namespace {
std::mutex& FactoryMutex() {
  static std::mutex m;
  return m;
}
SerialPortFactory& Factory() {
  static SerialPortFactory f;
  return f;
}
}  // namespace

void SetSerialPortFactory(SerialPortFactory factory) {
  std::lock_guard lock(FactoryMutex());
  Factory() = std::move(factory);
}

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& path, SerialOpenFailure* failure) {
  SerialPortFactory f;
  {
    std::lock_guard lock(FactoryMutex());
    f = Factory();
  }
  return f ? f(path, failure) : OpenPosixSerialPort(path, failure);
}

}  // namespace halvex
