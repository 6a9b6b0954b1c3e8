// Prints what a device on a COM port says about itself: device type, software version, comm ID
// and manufacturing date. An example of a program built against the installed Halvex library.
//
//   halvex-device-info [COMPORT] [DEVICE]
//
// COMPORT defaults to 1. COM n is the device DEVICE when one is given, else $HALVEX_COM<n>, else
// /dev/ttyS<n-1>.
#include <halvex/ControlFace.h>
#include <halvex/HalvexCtrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc > 3) {
    std::fprintf(stderr, "usage: %s [COMPORT] [DEVICE]\n", argv[0]);
    return 2;
  }
  const long port = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1;
  if (port < 1 || port > 32767) {
    std::fprintf(stderr, "%s: the COM port must be 1 to 32767\n", argv[0]);
    return 2;
  }
  const auto com = static_cast<int16_t>(port);

  CHalvexCtrl link;
  // The library's own messages (it would show them in a message box) go to standard error.
  link.SetMessageHandler([](const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  });
  if (argc > 2) link.SetComPortPath(com, argv[2]);

  const std::string device = link.ResolveComPort(com);
  if (!link.Connect(com, 19200)) {
    // The link's status text says why (it is what the control's face shows).
    std::string why = link.Face().StatusText();
    why.erase(0, why.find_first_not_of(' '));
    std::fprintf(stderr, "COM%d (%s) cannot be opened: %s\n", com, device.c_str(), why.c_str());
    return 1;
  }
  const int16_t type = link.GetDevice();
  if (type < 0) {
    std::fprintf(stderr, "COM%d (%s): no device answered (%d)\n", com, device.c_str(), type);
    link.Disconnect();
    return 1;
  }
  std::printf("Port              COM%d (%s)\n", com, device.c_str());
  std::printf("Device type       %d\n", type);
  std::printf("Software version  %s\n", link.GetSWVersion().c_str());
  std::printf("Comm ID           %s\n", link.GetID().c_str());
  std::printf("Manufactured      %s\n", link.GetManfDate().c_str());
  std::printf("Library           %s\n", CHalvexCtrl::AboutText().c_str());
  link.Disconnect();
  return 0;
}
