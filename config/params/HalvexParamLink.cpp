#include <chrono>
#include <thread>

#include "halvex/HalvexCtrl.h"
#include "params/ParamLink.h"

namespace qelta {

std::string HalvexParamLink::LastFailure() const { return link_.LastFailure(); }

bool HalvexParamLink::Connect(int16_t comPort, int16_t baud) {
  return link_.Connect(comPort, baud);
}
uint32_t HalvexParamLink::ConnectTCP(uint32_t address, uint16_t port) {
  return link_.ConnectTCP(address, port);
}
void HalvexParamLink::Disconnect() { link_.Disconnect(); }
int16_t HalvexParamLink::GetDevice() { return link_.GetDevice(); }
void HalvexParamLink::Reset() { link_.Reset(); }
int16_t HalvexParamLink::ReadEepromVal(int16_t addr, int16_t page) {
  return link_.ReadEepromVal(addr, page);
}
int16_t HalvexParamLink::SetEepromVal(int16_t addr, int16_t data, int16_t page) {
  return link_.SetEepromVal(addr, data, page);
}
bool HalvexParamLink::WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length,
                                         int16_t* data) {
  return link_.WriteBlockToEeprom(addr, page, length, data);
}
bool HalvexParamLink::WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt) {
  return link_.WriteStringToEeprom(address, page, txt);
}
bool HalvexParamLink::ReadEepromBlock(int16_t startAddr, int16_t page, int16_t blockLen) {
  return link_.ReadEepromBlock(startAddr, page, blockLen);
}

bool HalvexParamLink::ReadBlockNow(int16_t startAddr, int16_t page, int16_t blockLen,
                                   int16_t* data) {
  return link_.ReadEepromBlockNow(startAddr, page, blockLen, data);
}
int16_t HalvexParamLink::GetEepByte(int16_t page, int16_t addr) {
  return link_.GetEepByte(page, addr);
}
void HalvexParamLink::SetEepByte(int16_t page, int16_t addr, int16_t data) {
  link_.SetEepByte(page, addr, data);
}
std::string HalvexParamLink::ReadEepStr(int16_t addr, int16_t page, int16_t txtLen) {
  return link_.ReadEepStr(addr, page, txtLen);
}
std::string HalvexParamLink::ReadMemStr(int16_t addr, int16_t page, int16_t txtLen) {
  return link_.ReadMemStr(addr, page, txtLen);
}
std::string HalvexParamLink::GetID() { return link_.GetID(); }
bool HalvexParamLink::SendAndWait(int16_t* buf, int16_t length, int16_t waitTime) {
  return link_.SendAndWait(buf, length, waitTime);
}
void HalvexParamLink::Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace qelta
