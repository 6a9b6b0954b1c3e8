// Keeping other programs off a serial port while the link has it. TIOCEXCL alone does not bind
// root and is not seen by other serial programs, so the link also takes an advisory flock on the
// open device and a UUCP-style lock file "LCK..ttyUSB0" in the lock folder (/run/lock), which
// holds the owner's PID as ten ASCII digits and a line feed (older programs write it as four binary
// bytes; both are read). Lock files whose process is gone are removed; without a writable lock
// folder the flock alone keeps the port.
#pragma once

#include <sys/types.h>

#include <string>

namespace halvex {

// The lock file's name for a device: "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3.
std::string LockFileName(const std::string& devicePath);

// The PID a lock file names, in ASCII or as a 4-byte binary PID in host order; 0 when it names
// none (missing, empty or not a number).
pid_t LockFileOwner(const std::string& lockPath);

class PortLockFile {
 public:
  enum class Result {
    kTaken,        // this process holds it now
    kHeld,         // a live process holds it (owner set)
    kUnavailable,  // no lock file can be made here; the port is used without one
  };

  PortLockFile() = default;
  ~PortLockFile() { Release(); }
  PortLockFile(const PortLockFile&) = delete;
  PortLockFile& operator=(const PortLockFile&) = delete;

  // Takes the lock file for `devicePath` in `folder` for this process.
  Result Take(const std::string& folder, const std::string& devicePath, pid_t& owner);
  // Removes the file when it still names this process.
  void Release();

 private:
  std::string path_;
};

// What the user reads when a port cannot be had.
std::string PortBusyText(pid_t owner);  // "port is busy (used by PID 4242)" or "port is busy"
// "permission denied: join the group dialout (sudo adduser $USER dialout), then log in again";
// without a group to name, "permission denied".
std::string PermissionDeniedText(const std::string& group);
// The group that owns the device (empty when unknown or root's own).
std::string DeviceGroup(const std::string& devicePath);

}  // namespace halvex
