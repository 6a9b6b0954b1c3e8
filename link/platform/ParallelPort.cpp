#include "platform/ParallelPort.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace halvex {
namespace {

constexpr const char* kParportDevice = "/dev/parport0";

std::mutex& WriterLock() {
  static std::mutex m;
  return m;
}

ParallelWriter& Writer() {
  static ParallelWriter w;
  return w;
}

bool WritePpdev(uint8_t value) {
  int fd = ::open(kParportDevice, O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = false;
  if (::ioctl(fd, PPCLAIM) == 0) {
    unsigned char data = value;
    ok = ::ioctl(fd, PPWDATA, &data) == 0;
    ::ioctl(fd, PPRELEASE);
  }
  ::close(fd);
  return ok;
}

}  // namespace

bool WriteParallelData(uint8_t value) {
  ParallelWriter writer;
  {
    std::lock_guard<std::mutex> lock(WriterLock());
    writer = Writer();
  }
  const bool ok = writer ? writer(value) : WritePpdev(value);
  if (!ok) {
    std::fprintf(stderr,
                 "halvex: no parallel port at %s; boot/reset lines not driven (data 0x%02X)\n",
                 kParportDevice, value);
  }
  return ok;
}

void SetParallelWriter(ParallelWriter writer) {
  std::lock_guard<std::mutex> lock(WriterLock());
  Writer() = std::move(writer);
}

}  // namespace halvex
