#pragma once
// A pseudo terminal: the device holds the master, the link opens the slave path like a serial
// port. The slave is put into raw mode and kept open by the device too, so that the line survives
// the link closing and reopening it. A pty has no modem lines.

#include <string>

#include "transport/SerialEndpoint.h"

namespace qelta::sim {

class PtyEndpoint : public SerialEndpoint {
 public:
  // Opens a new pty; Ok() tells whether that worked, Error() why not.
  PtyEndpoint();
  ~PtyEndpoint() override;
  PtyEndpoint(const PtyEndpoint&) = delete;
  PtyEndpoint& operator=(const PtyEndpoint&) = delete;

  bool Ok() const { return master_ >= 0; }
  const std::string& Error() const { return error_; }
  // The path the link opens, for example /dev/pts/7.
  const std::string& SlavePath() const { return slave_path_; }

  int PollFd() const override { return master_; }
  long Read(std::uint8_t* buffer, std::size_t size) override;
  bool Write(std::span<const std::uint8_t> bytes) override;
  void HangUp() override;

 private:
  int master_ = -1;
  int slave_keepalive_ = -1;
  std::string slave_path_;
  std::string error_;
};

}  // namespace qelta::sim
