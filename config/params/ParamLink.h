// The link operations the parameter operations use, as an interface: the form's link object
// stands behind it in the program (HalvexParamLink), a memory-backed device in unit tests.
// Names, argument order and results are those of the link library.
#pragma once

#include <cstdint>
#include <string>

class CHalvexCtrl;

namespace qelta {

class ParamLink {
 public:
  virtual ~ParamLink() = default;
  virtual bool Connect(int16_t comPort, int16_t baud) = 0;
  virtual uint32_t ConnectTCP(uint32_t address, uint16_t port) = 0;
  virtual void Disconnect() = 0;
  virtual int16_t GetDevice() = 0;
  virtual void Reset() = 0;
  virtual int16_t ReadEepromVal(int16_t addr, int16_t page) = 0;
  virtual int16_t SetEepromVal(int16_t addr, int16_t data, int16_t page) = 0;
  virtual bool WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length, int16_t* data) = 0;
  virtual bool WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt) = 0;
  virtual bool ReadEepromBlock(int16_t startAddr, int16_t page, int16_t blockLen) = 0;
  // Reads blockLen bytes at startAddr of `page` into data[0..blockLen-1], returning as soon as the
  // whole answer has arrived; the link's images stay as they are. False when nothing (or not all)
  // was read. A link without a device reads nothing.
  virtual bool ReadBlockNow(int16_t /*startAddr*/, int16_t /*page*/, int16_t /*blockLen*/,
                            int16_t* /*data*/) {
    return false;
  }
  virtual int16_t GetEepByte(int16_t page, int16_t addr) = 0;
  virtual void SetEepByte(int16_t page, int16_t addr, int16_t data) = 0;
  virtual std::string ReadEepStr(int16_t addr, int16_t page, int16_t txtLen) = 0;
  virtual std::string ReadMemStr(int16_t addr, int16_t page, int16_t txtLen) = 0;
  virtual std::string GetID() = 0;
  virtual bool SendAndWait(int16_t* buf, int16_t length, int16_t waitTime) = 0;
  // A wait that is part of the device conversation (after a reset).
  virtual void Pause(int milliseconds) = 0;
  // Why the last Connect failed ("port is busy (used by PID 4242)"); empty when unknown.
  virtual std::string LastFailure() const { return {}; }
  // What the upload performs from now on (a file line, a function key), told before its link
  // calls so that a recording link can say what caused each write. The device link ignores it.
  virtual void SetCurrentSource(const std::string& /*source*/) {}
};

// Forwards every call to a link object unchanged.
class HalvexParamLink final : public ParamLink {
 public:
  explicit HalvexParamLink(CHalvexCtrl& link) : link_(link) {}
  bool Connect(int16_t comPort, int16_t baud) override;
  uint32_t ConnectTCP(uint32_t address, uint16_t port) override;
  void Disconnect() override;
  int16_t GetDevice() override;
  void Reset() override;
  int16_t ReadEepromVal(int16_t addr, int16_t page) override;
  int16_t SetEepromVal(int16_t addr, int16_t data, int16_t page) override;
  bool WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length, int16_t* data) override;
  bool WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt) override;
  bool ReadEepromBlock(int16_t startAddr, int16_t page, int16_t blockLen) override;
  bool ReadBlockNow(int16_t startAddr, int16_t page, int16_t blockLen, int16_t* data) override;
  int16_t GetEepByte(int16_t page, int16_t addr) override;
  void SetEepByte(int16_t page, int16_t addr, int16_t data) override;
  std::string ReadEepStr(int16_t addr, int16_t page, int16_t txtLen) override;
  std::string ReadMemStr(int16_t addr, int16_t page, int16_t txtLen) override;
  std::string GetID() override;
  bool SendAndWait(int16_t* buf, int16_t length, int16_t waitTime) override;
  void Pause(int milliseconds) override;
  std::string LastFailure() const override;

 private:
  CHalvexCtrl& link_;
};

}  // namespace qelta
