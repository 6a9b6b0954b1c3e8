// Temporary definitions of the device-command methods so that the library links while the real
// implementations are written; every one reports failure.
#include <string>

#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"
#include "protocol/ProtocolState.h"

int16_t CHalvexCtrl::GetDevice() { return -1; }
std::string CHalvexCtrl::GetSWVersion() { return "Connection Error"; }
std::string CHalvexCtrl::GetID() { return "Connection Error"; }
std::string CHalvexCtrl::GetManfDate() { return "Connection Error"; }
void CHalvexCtrl::Reset() {}
int16_t CHalvexCtrl::SetChannel(int16_t) { return -1; }
int16_t CHalvexCtrl::SleepTest(int16_t) { return -1; }
void CHalvexCtrl::DisplayTest(int16_t) {}
void CHalvexCtrl::BackLight(bool) {}
void CHalvexCtrl::BeepTest(int16_t) {}
int16_t CHalvexCtrl::ScanKeyboard() { return -1; }
int16_t CHalvexCtrl::RFTest(int16_t) { return -1; }
std::string CHalvexCtrl::ScanLaser() { return "Connect Error"; }
bool CHalvexCtrl::WriteStringToEeprom(int16_t, int16_t, const std::string&) { return false; }
int16_t CHalvexCtrl::GetChannel() { return -1; }
int16_t CHalvexCtrl::ReadEepromVal(int16_t, int16_t) { return -1; }
int16_t CHalvexCtrl::SetEepromVal(int16_t, int16_t, int16_t) { return -1; }
int16_t CHalvexCtrl::ChargerTest() { return -1; }
int16_t CHalvexCtrl::GetRSSI() { return -1; }
bool CHalvexCtrl::ReadEepromBlock(int16_t, int16_t, int16_t) { return false; }
std::string CHalvexCtrl::ReadEepStr(int16_t, int16_t, int16_t) { return "NoComm"; }
bool CHalvexCtrl::ReadPage1(int16_t, int16_t) { return false; }
bool CHalvexCtrl::ReadPage2(int16_t, int16_t) { return false; }
int16_t CHalvexCtrl::GetEepByte(int16_t, int16_t) { return 0; }
void CHalvexCtrl::SetEepByte(int16_t, int16_t, int16_t) {}
std::string CHalvexCtrl::ReadMemStr(int16_t, int16_t, int16_t) { return ""; }
bool CHalvexCtrl::ReadEprFile(const std::string&) { return false; }
int16_t CHalvexCtrl::WriteLaser(const std::string&) { return -1; }
bool CHalvexCtrl::WriteBlockToEeprom(int16_t, int16_t, int16_t, int16_t*) { return false; }
bool CHalvexCtrl::SetID(int32_t) { return false; }
bool CHalvexCtrl::WriteEepromFile(const std::string&) { return false; }
void CHalvexCtrl::SetBSMode(int16_t) {}
int16_t CHalvexCtrl::SetTxPower(int16_t) { return -1; }
int16_t CHalvexCtrl::GetPRPLow(int16_t) { return -1; }
int16_t CHalvexCtrl::GetPRPHi(int16_t) { return -1; }
bool CHalvexCtrl::GetPRPData() { return false; }
bool CHalvexCtrl::SendBER(int16_t, int16_t) { return true; }
void CHalvexCtrl::WaitBERData(bool) {}
std::string CHalvexCtrl::GetBERData(int16_t) { return ""; }
int16_t CHalvexCtrl::ReadInfo() { return -1; }
int16_t CHalvexCtrl::BromTest(int16_t, int16_t) { return -1; }
int16_t CHalvexCtrl::EEPROMTest() { return -1; }
void CHalvexCtrl::ChargerLed(uint8_t) {}
void CHalvexCtrl::SetSleep() {}

namespace halvex {
void BerReceive(CHalvexCtrl::Impl&, const uint8_t*, size_t) {}
void InvalidateDeviceInfo() {}
}  // namespace halvex
