// A link that hands every call on to another one unchanged: the base of the links that stand
// between an upload and its device and change only some of the calls (the memory bounds guard,
// the checked writes).
#pragma once

#include <cstdint>
#include <string>

#include "params/ParamLink.h"

namespace qelta {

class ForwardingParamLink : public ParamLink {
 public:
  explicit ForwardingParamLink(ParamLink& link) : link_(link) {}

  bool Connect(int16_t comPort, int16_t baud) override { return link_.Connect(comPort, baud); }
  uint32_t ConnectTCP(uint32_t address, uint16_t port) override {
    return link_.ConnectTCP(address, port);
  }
  void Disconnect() override { link_.Disconnect(); }
  int16_t GetDevice() override { return link_.GetDevice(); }
  void Reset() override { link_.Reset(); }
  int16_t ReadEepromVal(int16_t addr, int16_t page) override {
    return link_.ReadEepromVal(addr, page);
  }
  int16_t SetEepromVal(int16_t addr, int16_t data, int16_t page) override {
    return link_.SetEepromVal(addr, data, page);
  }
  bool WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length, int16_t* data) override {
    return link_.WriteBlockToEeprom(addr, page, length, data);
  }
  bool WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt) override {
    return link_.WriteStringToEeprom(address, page, txt);
  }
  bool ReadEepromBlock(int16_t startAddr, int16_t page, int16_t blockLen) override {
    return link_.ReadEepromBlock(startAddr, page, blockLen);
  }
  bool ReadBlockNow(int16_t startAddr, int16_t page, int16_t blockLen, int16_t* data) override {
    return link_.ReadBlockNow(startAddr, page, blockLen, data);
  }
  int16_t GetEepByte(int16_t page, int16_t addr) override { return link_.GetEepByte(page, addr); }
  void SetEepByte(int16_t page, int16_t addr, int16_t data) override {
    link_.SetEepByte(page, addr, data);
  }
  std::string ReadEepStr(int16_t addr, int16_t page, int16_t txtLen) override {
    return link_.ReadEepStr(addr, page, txtLen);
  }
  std::string ReadMemStr(int16_t addr, int16_t page, int16_t txtLen) override {
    return link_.ReadMemStr(addr, page, txtLen);
  }
  std::string GetID() override { return link_.GetID(); }
  bool SendAndWait(int16_t* buf, int16_t length, int16_t waitTime) override {
    return link_.SendAndWait(buf, length, waitTime);
  }
  void Pause(int milliseconds) override { link_.Pause(milliseconds); }
  std::string LastFailure() const override { return link_.LastFailure(); }
  void SetCurrentSource(const std::string& source) override { link_.SetCurrentSource(source); }

 protected:
  ParamLink& link_;
};

}  // namespace qelta
