// Halvex: the device-link library. One CHalvexCtrl owns the serial port or the TCP connection to
// one device and speaks the devices' command protocol.
//
// Every method of the link's method table stands here under its own name, argument order and
// result type. Failures are results (-1, false, an error text), never exceptions. All methods are
// called from the host's thread; events may arrive on the link's Receive worker thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "halvex/HalvexEvents.h"

namespace halvex {
class ControlFace;
class PropertyBag;
}  // namespace halvex

class CHalvexCtrl {
 public:
  CHalvexCtrl();
  ~CHalvexCtrl();
  CHalvexCtrl(const CHalvexCtrl&) = delete;
  CHalvexCtrl& operator=(const CHalvexCtrl&) = delete;

  // --- Host integration (not part of the dispatch table) ---------------------------------------

  // Events go to this sink (nullptr: none). The sink must outlive the link or be reset first.
  void SetEventSink(HalvexEvents* sink);

  // Messages the library would show in a message box (file errors, boot-load results). Without a
  // handler they are written to standard error.
  using MessageHandler = std::function<void(const std::string& text, const std::string& caption)>;
  void SetMessageHandler(MessageHandler handler);

  // COM port n resolves to: $HALVEX_COM<n> if set, else the path registered here, else
  // /dev/ttyS<n-1>. An empty path removes the registration.
  void SetComPortPath(int16_t port, const std::string& devicePath);
  std::string ResolveComPort(int16_t port) const;

  // Why the last Connect, Boot, Update or ReadEprFile failed before anything reached the device,
  // as the user reads it: "port is busy (used by PID 4242)", "permission denied: join the group
  // dialout ...", "file is empty". Empty after a call that did not fail that way.
  std::string LastFailure() const;

  // The control's face: status text, progress line, TX/RX lamps, as a model the host draws.
  halvex::ControlFace& Face();

  // Persistence of BootType ("BootType") and Resettype ("ResetType") through a host's bag.
  void LoadProperties(const halvex::PropertyBag& bag);
  void SaveProperties(halvex::PropertyBag& bag) const;
  bool IsModified() const;

  // The about box's text (name and version); AboutBox() hands it to the message handler.
  static std::string AboutText();

  // --- Properties ------------------------------------------------------------------------------
  bool GetBootType() const;             // dispid 1
  void SetBootType(bool value);
  bool GetResettype() const;            // dispid 2
  void SetResettype(bool value);

  // --- Methods by dispatch id ------------------------------------------------------------------
  bool Connect(int16_t com_port, int16_t baud);                               // 3
  void SendData(int16_t* buf, int16_t length);                                // 4
  bool SendAndWait(int16_t* buf, int16_t length, int16_t waitTime);           // 5
  int16_t GetDevice();                                                        // 6
  std::string GetSWVersion();                                                 // 7
  std::string GetID();                                                        // 8
  std::string GetManfDate();                                                  // 9
  void Reset();                                                               // 10
  int16_t SetChannel(int16_t channel);                                        // 11
  int16_t SleepTest(int16_t delay);                                           // 12
  void DisplayTest(int16_t character);                                        // 13
  void BackLight(bool onoff);                                                 // 14
  void BeepTest(int16_t duration);                                            // 15
  int16_t ScanKeyboard();                                                     // 16
  int16_t RFTest(int16_t char_count);                                         // 17
  std::string ScanLaser();                                                    // 18
  bool WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt);  // 19
  int16_t GetChannel();                                                       // 20
  int16_t Boot(const std::string& filename);                                  // 21
  int16_t Update(const std::string& filename);                                // 22
  int16_t ReadEepromVal(int16_t addr, int16_t page);                          // 23
  int16_t SetEepromVal(int16_t addr, int16_t data, int16_t page);             // 24
  int16_t ChargerTest();                                                      // 25
  int16_t GetRSSI();                                                          // 26
  bool ReadEepromBlock(int16_t startAddr, int16_t page, int16_t blockLen);    // 27
  std::string ReadEepStr(int16_t addr, int16_t page, int16_t txtLen);         // 28
  bool ReadPage1(int16_t startAddr, int16_t stopaddr);                        // 29
  bool ReadPage2(int16_t startAddr, int16_t stopaddr);                        // 30
  int16_t GetEepByte(int16_t page, int16_t addr);                             // 31
  void SetEepByte(int16_t page, int16_t addr, int16_t data);                  // 32
  std::string ReadMemStr(int16_t addr, int16_t page, int16_t txtLen);         // 33
  bool ReadEprFile(const std::string& eprpath);                               // 34
  int16_t WriteLaser(const std::string& command);                             // 35
  bool WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length, int16_t* data);  // 36
  bool SetID(int32_t id);                                                     // 37
  bool WriteEepromFile(const std::string& eprpath);                           // 38
  void SetBSMode(int16_t mode);                                               // 39
  int16_t SetTxPower(int16_t level);                                          // 40
  int16_t GetPRPLow(int16_t addr);                                            // 41
  int16_t GetPRPHi(int16_t addr);                                             // 42
  bool GetPRPData();                                                          // 43
  bool SendBER(int16_t mrk, int16_t cnt);                                     // 44
  void WaitBERData(bool mode);                                                // 45
  std::string GetBERData(int16_t koko);                                       // 46
  bool GetCOMbuf(int16_t* buffer, int16_t size);                              // 47
  int16_t ReadInfo();                                                         // 48
  int16_t BromTest(int16_t cmd, int16_t data);                                // 49
  int16_t EEPROMTest();                                                       // 50
  void ChargerLed(uint8_t onoff);                                             // 51
  void SetSleep();                                                            // 52
  // 53 ConnTCP and 54 The_F_Method are declared in the interface but have no dispatch entry:
  // calling them through Invoke answers "member not found". Called directly they do nothing.
  uint32_t ConnTCP(uint32_t addr, uint16_t port);                             // 53
  void The_F_Method();                                                        // 54
  uint32_t ConnectTCP(uint32_t address, uint16_t port);                       // 55
  void Disconnect();                                                          // 56
  void AboutBox();                                                            // -552

  // --- Beyond the method table (no dispatch id) ------------------------------------------------

  // Reads `blockLen` bytes of device memory at startAddr in `page` (0 and 1 the EEPROM pages, any
  // other page the extended memory with 16-bit addresses) into data[0] to data[blockLen - 1], one
  // byte per element (0..255), and returns as soon as the whole answer (the four request bytes
  // 0F count X Y, then the data) has arrived. The frame and the waits are ReadEepromBlock's (the
  // answer must begin within 1500 ms, or within 3000 ms of the frame's second sending, and end
  // within 300 ms after it began), but a complete answer is not waited out. False, with `data`
  // untouched, when there is no link, blockLen is outside 0..255, the range does not lie inside
  // its page (256 addresses) or the extended memory (32,768), or the answer is missing, short,
  // too long or does not repeat the request. The memory images stay as they are and no event is
  // fired.
  bool ReadEepromBlockNow(int16_t startAddr, int16_t page, int16_t blockLen, int16_t* data);

  // Internal state; defined in link/interface/LinkState.h.
  struct Impl;
  Impl& impl() { return *d_; }

 private:
  std::unique_ptr<Impl> d_;
};
