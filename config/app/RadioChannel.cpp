#include "app/RadioChannel.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "app/StationRuns.h"
#include "core/SettingsKey.h"
#include "fleet/FleetRun.h"

namespace qelta {
namespace {

constexpr int16_t kSerialBaud = 19200;

// Channel byte: extended-memory devices keep it at 125 in page 2, every other device at 13 in
// page 0.
constexpr int16_t kChannelAddressExtended = 125;
constexpr int16_t kChannelAddressPage0 = 13;
// Radio calibration byte and the byte written after it on a base station.
constexpr int16_t kCalibrationAddressExtended = 86;
constexpr int16_t kCalibrationAddressPage0 = 22;
constexpr int16_t kStationRadioMarker = 90;
constexpr int16_t kCalibrationExtended[3] = {99, 80, 60};
constexpr int16_t kCalibrationPage0[3] = {85, 66, 47};

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct ChannelLocation {
  int16_t address;
  int16_t page;
};

ChannelLocation ChannelAt(int16_t deviceKind) {
  if (deviceKind == kDeviceExtendedMemory) return {kChannelAddressExtended, 2};
  return {kChannelAddressPage0, 0};
}

std::string ChannelReadError(int16_t code) {
  char text[64];
  std::snprintf(text, sizeof text, "Channel read error %hd.", code);
  return text;
}

// Asks for a channel, starting from `channel`; the accepted channel, or -1 on Cancel.
int16_t AskChannel(CQeltaConfigView& view, int16_t channel) {
  DialogModel dialog = ChannelDialog(channel);
  if (!view.ui().RunDialog(dialog)) return -1;
  return static_cast<int16_t>(dialog.Number(kChannelField).value_or(-1));
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

int SelectedRadioType(const CQeltaConfigView& view) {
  const ControlModel& controls = view.controls();
  if (controls.Checked(ids::kRadioType1)) return 1;
  if (controls.Checked(ids::kRadioType2)) return 2;
  return 3;
}

void ChooseRadioType(CQeltaConfigView& view, int radioType) {
  if (radioType < 1 || radioType > 3) return;
  ControlModel& controls = view.controls();
  controls.SetChecked(ids::kRadioType1, radioType == 1);
  controls.SetChecked(ids::kRadioType2, radioType == 2);
  controls.SetChecked(ids::kRadioType3, radioType == 3);
  CSettingsKey key(view.settings(), view.ui());
  key.Open();
  key.WriteNumber(kLastRadioSetting, radioType);
}

int WriteRadioType(CQeltaConfigView& view, int radioType) {
  return WriteRadioType(view.link(), view.uiProduction != 0, radioType);
}

int WriteRadioType(CHalvexCtrl& link, bool production, int radioType) {
  if (!production) return 0;
  const int16_t calibration = RadioCalibrationByte(kStationOverTcp, radioType);
  if (calibration < 0) return -3;
  int16_t data[2] = {calibration, kStationRadioMarker};
  return link.WriteBlockToEeprom(kCalibrationAddressPage0, 0, 2, data) ? 0 : -3;
}

namespace {

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
    s.AddRow("Channel is set", station.addressText, ids::kImageSuccess);
    link.Reset();
  } else {
    char name[64];
    std::snprintf(name, sizeof name, "Channel set error %hd.", r);
    s.AddRow(name, station.addressText, ids::kImageFailure);
  }
}

}  // namespace

void SetBaseStationRadioTypes(CQeltaConfigView& view, fleet::FleetRun* run) {
  const int radioType = SelectedRadioType(view);
  StationListHold hold(view);
  view.directory().ClearSilent();
  std::vector<BaseStationRecord> stations(network::kMaxBaseStations);
  const uint32_t count = network::CopySelectedBaseStations(view, stations.data());
  if (count > 0) {
    view.AddOutputRow("Setting radio types", "", ids::kImageStep);
    // The caller's run covers the same stations; a selection that changed meanwhile gets its own.
    FormRunHost host(view);
    std::unique_ptr<fleet::FleetRun> ownRun;
    if (run == nullptr || run->Size() != count) {
      // The caller's stations may still be waiting to settle: not these ones.
      if (run) run->SettleNow();
      ownRun = std::make_unique<fleet::FleetRun>(host, stations.data(), count);
      run = ownRun.get();
    }
    run->Phase([radioType](fleet::StationHandle& s) { RadioTypeForStation(s, radioType); });
  } else if (run != nullptr) {
    run->SkipPhase();
  }
  hold.Restore();
  view.directory().ReportSilent("(radio type)");
}

void SetDeviceRadioCalibration(CQeltaConfigView& view) {
  CHalvexCtrl& link = view.link();
  const std::string port = std::to_string(view.comPort);
  if (!link.Connect(static_cast<int16_t>(view.comPort), kSerialBaud)) {
    view.outputList().DeleteAllRows();
    view.AddOutputRow("Cannot connect to COM" + port, "", ids::kImageFailure);
    return;
  }
  const int16_t device = link.GetDevice();
  if (device != kDeviceExtendedMemory && device != kDeviceBaseStation) {
    view.outputList().DeleteAllRows();
    view.AddOutputRow("Cannot get device on COM" + port, "Device=" + std::to_string(device),
                      ids::kImageFailure);
    link.Disconnect();  // the port is not kept from other programs
    return;
  }
  const int16_t address =
      device == kDeviceExtendedMemory ? kCalibrationAddressExtended : kCalibrationAddressPage0;
  const int16_t page = device == kDeviceExtendedMemory ? 2 : 0;
  int16_t data[1] = {RadioCalibrationByte(device, SelectedRadioType(view))};
  if (link.WriteBlockToEeprom(address, page, 1, data)) {
    view.AddOutputRow("Radio calibration set OK.", "", ids::kImageSuccess);
    link.Reset();
  } else {
    view.AddOutputRow("Radio calibration set failed.", "", ids::kImageFailure);
  }
  link.Disconnect();
}

void SetDeviceChannel(CQeltaConfigView& view) {
  CHalvexCtrl& link = view.link();
  const std::string port = std::to_string(view.comPort);
  view.AddOutputRow("Getting channel...", "COM" + port, ids::kImageInfo);
  if (!link.Connect(static_cast<int16_t>(view.comPort), kSerialBaud)) {
    view.AddOutputRow("Connect error", "COM" + port, ids::kImageFailure);
    return;
  }
  const int16_t device = link.GetDevice();
  if (device != kDeviceExtendedMemory && device != kDeviceBaseStation) {
    view.AddOutputRow("Cannot get device on COM" + port, "", ids::kImageFailure);
    link.Disconnect();
    return;
  }
  const int16_t channel = ReadChannel(link, device);
  if (channel < 0) {
    const std::string text = ChannelReadError(channel);
    view.Message(text, "Channel error", MessageButtons::Ok, MessageIcon::None);
    view.AddOutputRow(text, "", ids::kImageFailure);
    link.Disconnect();  // the port is not kept from other programs
    return;
  }
  SleepMs(kRadioWaitMs);
  const int16_t chosen = AskChannel(view, channel);
  if (chosen >= 0) {
    const bool written = WriteChannel(link, device, chosen) == chosen;
    if (!written) {
      view.AddOutputRow("Channel set failed", "", ids::kImageFailure);
    } else if (device == kDeviceExtendedMemory) {
      view.AddOutputRow("Reset", "", ids::kImageStep);
      link.Reset();
      view.AddOutputRow("Channel set OK", "", ids::kImageSuccess);
    } else {
      view.AddOutputRow("Channel set OK", "", ids::kImageSuccess);
    }
  }
  link.Disconnect();
}

void SetBaseStationChannel(CQeltaConfigView& view) {
  BaseStationRecord* station = view.selectedBaseStation;
  if (station == nullptr || !view.directory().ConfirmResponding(station)) return;
  CHalvexCtrl& link = view.link();
  OutputList& list = view.outputList();
  const int row = list.SelectionMark();
  auto more = [&](const std::string& text) { list.SetText(row, 2, text); };

  more("Connecting..");
  const uint32_t r = link.ConnectTCP(station->address, station->port);
  if (r != 0) {
    // Taken before the record leaves the table.
    const std::string address = station->addressText;
    const uint16_t port = station->port;
    network::RemoveBaseStation(view, station);
    char value[320];
    std::snprintf(value, sizeof value, "Port %hu @ %s, error %lu.", port, address.c_str(),
                  static_cast<unsigned long>(r));
    view.AddOutputRow("Connect error", value, ids::kImageFailure);
    return;
  }
  more("Getting channel..");
  const int16_t channel = ReadChannel(link, kStationOverTcp);
  if (channel < 0) {
    const std::string text = ChannelReadError(channel);
    view.Message(text, "Channel error", MessageButtons::Ok, MessageIcon::None);
    more(text);
    list.SetKind(row, RowKind::Failure);  // the station row now tells the failed read
    link.Disconnect();                    // the module's tunnel is not kept from other clients
    return;
  }
  SleepMs(kRadioWaitMs);
  more("");
  const int16_t chosen = AskChannel(view, channel);
  if (chosen >= 0) {
    more("Setting channel..");
    view.ui().KeepPainting();
    if (WriteChannel(link, kStationOverTcp, chosen) == chosen) {
      link.Reset();
      more("Channel: " + std::to_string(chosen));
      list.SetKind(row, RowKind::Success);
    } else {
      view.Message("Channel set error", "Error", MessageButtons::Ok, MessageIcon::Error);
      more("Set error");
      list.SetKind(row, RowKind::Failure);
    }
  }
  link.Disconnect();
}

void SetSameChannel(CQeltaConfigView& view) {
  view.deviceMenuEnabled = false;
  view.directory().ClearSilent();
  std::vector<BaseStationRecord> stations(network::kMaxBaseStations);
  const uint32_t count = network::CopySelectedBaseStations(view, stations.data());
  CHalvexCtrl& link = view.link();
  if (count == 0) {
    view.Message("No base stations", "Error", MessageButtons::Ok, MessageIcon::Error);
  } else {
    const int16_t channel = AskChannel(view, 1);
    if (channel >= 0) {
      FormRunHost host(view);
      fleet::FleetRun run(host, stations.data(), count);
      run.Phase([channel](fleet::StationHandle& s) { ChannelForStation(s, channel); });
    }
    link.Disconnect();
  }
  view.directory().ReportSilent("(channel setup)");
}

void InstallRadioChannelCommands(CQeltaConfigView& view) {
  CQeltaConfigView* v = &view;
  view.SetCommandHandler(ids::kRadioType1, [v] { ChooseRadioType(*v, 1); });
  view.SetCommandHandler(ids::kRadioType2, [v] { ChooseRadioType(*v, 2); });
  view.SetCommandHandler(ids::kRadioType3, [v] { ChooseRadioType(*v, 3); });
  view.SetCommandHandler(ids::kCmdSetRadioType, [v] {
    if (v->uiProduction && v->outputList().SelectedCount() > 0) SetBaseStationRadioTypes(*v);
  });
  view.SetCommandHandler(ids::kCmdDeviceRadioType, [v] {
    if (v->uiProduction) SetDeviceRadioCalibration(*v);
  });
  view.SetCommandHandler(ids::kCmdDeviceChannel, [v] { SetDeviceChannel(*v); });
  view.SetCommandHandler(ids::kCmdChannel, [v] { SetBaseStationChannel(*v); });
  view.SetCommandHandler(ids::kCmdSameChannel, [v] { SetSameChannel(*v); });
}

}  // namespace qelta
