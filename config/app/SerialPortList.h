// The serial ports of this machine as a user choosing one sees them: each /dev/ttyS*, ttyUSB* and
// ttyACM* with its stable /dev/serial/by-id names, the COM numbers that lead to it, and whether
// this user may open it. Everything is looked up below a root folder ("/" on a real machine), so
// that a fake /dev tree stands in for the real one.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct SerialPortEntry {
  std::string path;               // as the user names it, e.g. "/dev/ttyUSB0"
  std::vector<std::string> byId;  // "/dev/serial/by-id/..." names that lead to it
  std::vector<int> comPorts;      // COM numbers whose device path leads to it, ascending
  bool present = true;            // false: a COM port's device that does not exist
  bool mayOpen = false;           // readable and writable for this user
  std::string group;              // the group owning the device ("dialout"), empty if unknown
};

struct SerialPortQuery {
  std::string root = "/";
  // The device path of COM n (the link's resolution: $HALVEX_COM<n>, the stored mapping, else
  // /dev/ttyS<n-1>).
  std::function<std::string(int n)> comDevice;
  // The COM numbers to look at.
  std::vector<int> comPorts;
  // Whether COM n is shown even where its device is no listed port (a pty, a missing adapter) or
  // a ttyS without a UART; otherwise its number only marks a port listed anyway. Unset: all are.
  std::function<bool(int n)> comPortShown;
  // Whether this user may read and write a path (below the root); unset: access(R_OK | W_OK).
  std::function<bool(const std::string& path)> mayOpen;
};

// The ports below root/dev in name order (ttyACM, ttyS, ttyUSB; numbers in numeric order), then
// one entry for each shown COM port's device that is none of them (a pty, an adapter not plugged
// in). A ttyS port whose UART is unknown to the kernel (sysfs type 0) is left out unless a shown
// COM port leads to it: most machines list ttyS0 to ttyS31 without the hardware.
std::vector<SerialPortEntry> ListSerialPorts(const SerialPortQuery& query);

// The COM numbers mapped to a device of their own, ascending: each n of a $HALVEX_COM<n>
// variable in `environment` (NAME=value texts) and of a stored "ComDevice<n>" in `settingNames`.
std::vector<int> MappedComPorts(const std::vector<std::string>& environment,
                                const std::vector<std::string>& settingNames);

// Where a path below the root leads, following symbolic links the way the system would if root
// were "/" (absolute links stay below the root). The result is relative to the root and starts
// with '/'; empty when it cannot be followed (a loop, too many links).
std::string ResolveBelowRoot(const std::string& root, const std::string& path);
