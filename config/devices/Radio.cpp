#include "devices/Radio.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "core/OutputImages.h"
#include "core/RowKind.h"
#include "halvex/HalvexCtrl.h"

namespace qelta {
namespace {

// Channel byte: extended-memory devices keep it at 125 in page 2, every other device at 13 in
// page 0.
constexpr int16_t kChannelAddressExtended = 125;
constexpr int16_t kChannelAddressPage0 = 13;
// The byte written after the calibration byte on a base station.
constexpr int16_t kStationRadioMarker = 90;
constexpr int16_t kCalibrationExtended[3] = {99, 80, 60};
constexpr int16_t kCalibrationPage0[3] = {85, 66, 47};

// The calibration windows of radio types 1 to 3.
struct CalibrationWindow {
  int16_t low, high;
};
constexpr CalibrationWindow kWindowsPage0[3] = {{80, 90}, {61, 71}, {42, 52}};
constexpr CalibrationWindow kWindowsExtended[3] = {{94, 104}, {75, 85}, {55, 65}};
constexpr int kSerialBaud = 19200;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct ChannelLocation {
  int16_t address;
  int16_t page;
};

ChannelLocation ChannelAt(int16_t deviceKind) {
  if (deviceKind == kDeviceExtendedMemory) return {kChannelAddressExtended, 2};
  return {kChannelAddressPage0, 0};
}

}  // namespace

int16_t ReadChannel(CHalvexCtrl& link, int16_t deviceKind) {
  const ChannelLocation at = ChannelAt(deviceKind);
  return link.ReadEepromVal(at.address, at.page);
}

int16_t WriteChannel(CHalvexCtrl& link, int16_t deviceKind, int16_t channel) {
  const ChannelLocation at = ChannelAt(deviceKind);
  int16_t data[1] = {channel};
  return link.WriteBlockToEeprom(at.address, at.page, 1, data) ? channel : int16_t{-1};
}

int16_t RadioCalibrationByte(int16_t deviceKind, int radioType) {
  if (radioType < 1 || radioType > 3) return -1;
  return deviceKind == kDeviceExtendedMemory ? kCalibrationExtended[radioType - 1]
                                             : kCalibrationPage0[radioType - 1];
}

int RadioTypeOfCalibration(int16_t deviceKind, int16_t calibration) {
  const CalibrationWindow* windows =
      deviceKind == kDeviceExtendedMemory ? kWindowsExtended : kWindowsPage0;
  for (int type = 1; type <= 3; ++type)
    if (calibration >= windows[type - 1].low && calibration <= windows[type - 1].high) return type;
  return 0;
}

int16_t ReadRadioCalibration(CHalvexCtrl& link, int16_t deviceKind) {
  return deviceKind == kDeviceExtendedMemory ? link.ReadEepromVal(kCalibrationAddressExtended, 2)
                                             : link.ReadEepromVal(kCalibrationAddressPage0, 0);
}

int ReadRadioType(fleet::StationHandle& s) {
  const BaseStationRecord* station = s.Station();
  CHalvexCtrl& link = s.Link();
  std::string where;
  int16_t kind = kStationOverTcp;
  if (station) {
    where = station->addressText;
    if (s.CheckPresence()) return 0;
    if (link.ConnectTCP(station->address, station->port) != 0) {
      s.AddRow("Cannot connect", where, ids::kImageFailure);
      link.Disconnect();
      return 0;
    }
    SleepMs(kRadioWaitMs);
  } else {
    const int32_t port = s.Settings().comPort;
    where = "COM" + std::to_string(port);
    if (!link.Connect(static_cast<int16_t>(port), kSerialBaud)) {
      s.AddRow("Cannot connect to " + where, "", ids::kImageFailure);
      return 0;
    }
    kind = link.GetDevice();
    if (kind != kDeviceExtendedMemory && kind != kDeviceBaseStation) {
      s.AddRow("Cannot get device on " + where, "Device=" + std::to_string(kind),
               ids::kImageFailure);
      link.Disconnect();
      return 0;
    }
  }
  const int16_t calibration = ReadRadioCalibration(link, kind);
  link.Disconnect();
  char text[64];
  if (calibration < 0) {
    std::snprintf(text, sizeof text, "Radio type read error %hd.", calibration);
    s.AddRow(text, where, ids::kImageFailure);
    return 0;
  }
  const int type = RadioTypeOfCalibration(kind, calibration);
  if (type == 0) {
    // The byte was read: it holds no type yet (an erased byte) or one of no known window. Not a
    // failure of the reading; a type to write.
    std::snprintf(text, sizeof text, "Radio type unknown (cal=%hd)", calibration);
    s.AddRow(text, where, ids::kImageInfo, RowKind::Warning);
    return 0;
  }
  std::snprintf(text, sizeof text, "Radio type %d", type);
  const int row = s.AddRow(text, where, ids::kImageSuccess);
  std::snprintf(text, sizeof text, "cal=%hd", calibration);
  s.SetText(row, 2, text);
  return type;
}

DialogModel ChannelDialog(int16_t channel) {
  DialogModel dialog;
  dialog.name = "CBSChannelDlg";
  dialog.title = "Set channel";
  DialogField label;
  label.name = "label";
  label.kind = FieldKind::Label;
  label.value = "Channel setting";
  dialog.Add(std::move(label));
  DialogField field;
  field.controlId = kChannelField;
  field.name = "channel";
  field.kind = FieldKind::Number;
  field.value = std::to_string(channel);
  dialog.Add(std::move(field));
  dialog.validate = [](DialogModel& d) {
    return ValidateIntegerField(d, kChannelField, kMinChannel, kMaxChannel);
  };
  return dialog;
}

int WriteRadioType(CHalvexCtrl& link, bool production, int radioType) {
  if (!production) return 0;
  const int16_t calibration = RadioCalibrationByte(kStationOverTcp, radioType);
  if (calibration < 0) return -3;
  int16_t data[2] = {calibration, kStationRadioMarker};
  return link.WriteBlockToEeprom(kCalibrationAddressPage0, 0, 2, data) ? 0 : -3;
}

// One station of SetBaseStationRadioTypes.
void RadioTypeForStation(fleet::StationHandle& s, int radioType) {
  const BaseStationRecord& station = s.Record();
  const bool production = s.Settings().productionMode;
  if (s.CheckPresence()) return;
  CHalvexCtrl& link = s.Link();
  if (link.ConnectTCP(station.address, station.port) != 0) {
    s.AddRow("Cannot connect", station.addressText, ids::kImageFailure);
  } else {
    SleepMs(kRadioWaitMs);
    const int r = WriteRadioType(link, production, radioType);
    char name[64];
    if (r != 0) {
      std::snprintf(name, sizeof name, "Radio type (%d) failed", radioType);
      const int row = s.AddRow(name, station.addressText, ids::kImageFailure);
      char value[320];
      std::snprintf(value, sizeof value, "%s, error %d", station.addressText, r);
      s.SetText(row, 1, value);
    } else {
      if (production) s.MarkChanged();  // outside production mode nothing was written
      link.Reset();
      std::snprintf(name, sizeof name, "Radio type set to %d", radioType);
      s.AddRow(name, station.addressText, ids::kImageSuccess);
    }
  }
  link.Disconnect();
  SleepMs(kRadioWaitMs);
}

// One station of SetSameChannel.
void ChannelForStation(fleet::StationHandle& s, int16_t channel) {
  const BaseStationRecord& station = s.Record();
  if (s.CheckPresence()) return;
  CHalvexCtrl& link = s.Link();
  s.AddRow("Connect", station.addressText, ids::kImageInfo);
  if (link.ConnectTCP(station.address, station.port) != 0) {
    s.AddRow("Connect error", station.addressText, ids::kImageFailure);
    return;
  }
  const int16_t r = WriteChannel(link, kStationOverTcp, channel);
  if (r == channel) {
    s.MarkChanged();
    s.AddRow("Channel is set", station.addressText, ids::kImageSuccess);
    link.Reset();
  } else {
    char name[64];
    std::snprintf(name, sizeof name, "Channel set error %hd.", r);
    s.AddRow(name, station.addressText, ids::kImageFailure);
  }
}

}  // namespace qelta
