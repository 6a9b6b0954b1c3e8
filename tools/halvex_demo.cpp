// A walk through the link library against one device on a COM port: identify it, read a block of
// its memory, write a byte and read it back, and save its EEPROM pages as an EEPROM file.
//
//   halvex-demo COMPORT EPRFILE
//
// COMn is found through HALVEX_COM<n> (scripts/demo points it at a simulated terminal's pty).
#include <halvex/HalvexCtrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int Fail(const char* what) {
  std::printf("FAILED: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s COMPORT EPRFILE\n", argv[0]);
    return 2;
  }
  const auto port = static_cast<int16_t>(std::atoi(argv[1]));
  const std::string eprFile = argv[2];

  CHalvexCtrl link;
  link.SetMessageHandler([](const std::string& text, const std::string& caption) {
    std::printf("[%s] %s\n", caption.c_str(), text.c_str());
  });

  std::printf("COM%d is %s\n", port, link.ResolveComPort(port).c_str());
  if (!link.Connect(port, 19200)) return Fail("Connect");

  const int16_t type = link.GetDevice();
  if (type < 0) return Fail("GetDevice: no device answered");
  std::printf("Device type      %d\n", type);
  if (link.ReadInfo() != 1) return Fail("ReadInfo");
  std::printf("Software version %s\n", link.GetSWVersion().c_str());
  std::printf("Comm ID          %s\n", link.GetID().c_str());
  std::printf("Made             %s\n", link.GetManfDate().c_str());

  // Both EEPROM pages into the images, 85 bytes a block (the images hold addresses 0 to 254).
  for (int16_t page = 0; page <= 1; ++page) {
    for (int16_t start = 0; start < 255; start += 85) {
      if (!link.ReadEepromBlock(start, page, 85)) return Fail("ReadEepromBlock");
    }
  }
  std::printf("Page 0, 0-15    ");
  for (int16_t a = 0; a < 16; ++a) std::printf(" %02X", link.GetEepByte(0, a));
  std::printf("\n");

  // A byte of page 1 changed on the device and read back.
  const int16_t address = 200;
  const int16_t before = link.ReadEepromVal(address, 1);
  const auto value = static_cast<int16_t>((before + 1) & 0xFF);
  if (link.SetEepromVal(address, value, 1) < 0) return Fail("SetEepromVal");
  const int16_t after = link.ReadEepromVal(address, 1);
  std::printf("Page 1 addr %d: %d -> %d\n", address, before, after);
  if (after != value) return Fail("read-back differs");
  link.SetEepByte(1, address, after);

  if (!link.WriteEepromFile(eprFile)) return Fail("WriteEepromFile");
  std::printf("EEPROM file      %s\n", eprFile.c_str());

  link.Disconnect();
  std::printf("OK\n");
  return 0;
}
