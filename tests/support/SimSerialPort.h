// The link's serial port over the host end of the simulator's in-process null-modem cable, so that
// the link can talk to a simulated device (qelta_sim) without a pty.
#pragma once

#include <memory>

#include "halvex/SerialPort.h"
#include "transport/NullModem.h"

namespace halvex::test {

// Keeps the cable alive while the port is open.
std::unique_ptr<SerialPort> OpenSimSerialPort(std::shared_ptr<qelta::sim::NullModem> cable);

}  // namespace halvex::test
