// The form's settings that a station's work reads, copied as a run (or a single station's work)
// begins, so that nothing changes under a run halfway and no worker reads the form.
#pragma once

#include <cstdint>
#include <string>

namespace qelta::fleet {

struct RunSettings {
  std::string workingFolder;  // answer files and reports go here; ends in '/'
  std::string startFolder;    // the current folder after the form's initialisation
  int32_t comPort = 0;        // the serial port of the device on the bench
  std::string moduleUser;     // the Ethernet modules' web login
  std::string modulePassword;
  bool serviceMode = false;
  bool productionMode = false;
  // "Set" reads back what it wrote; "Set" writes only what differs from the device.
  bool verifyWrites = false;
  bool writeChangedOnly = false;
};

}  // namespace qelta::fleet
