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
#include "devices/Radio.h"
#include "fleet/FleetRun.h"

namespace qelta {
namespace {

constexpr int16_t kSerialBaud = 19200;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

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

std::vector<RadioTypeReading> ReadBaseStationRadioTypes(CQeltaConfigView& view) {
  StationListHold hold(view);
  view.directory().ClearSilent();
  std::vector<BaseStationRecord> stations(network::kMaxBaseStations);
  const uint32_t count = network::CopySelectedBaseStations(view, stations.data());
  std::vector<RadioTypeReading> readings(count);
  if (count > 0) {
    view.AddOutputRow("Reading radio types", "", ids::kImageStep);
    for (uint32_t i = 0; i < count; ++i) readings[i].station = stations[i].addressText;
    FormRunHost host(view);
    fleet::FleetRun run(host, stations.data(), count);
    // Each station fills its own reading; the run has ended before they are read.
    run.Phase(
        [&readings](fleet::StationHandle& s) { readings[s.Index()].radioType = ReadRadioType(s); });
  }
  hold.Restore();
  view.directory().ReportSilent("(radio type)");
  return readings;
}

RadioTypeReading ReadDeviceRadioType(CQeltaConfigView& view) {
  RadioTypeReading reading;
  FormRunHost host(view);
  fleet::RunOne(host, nullptr,
                [&reading](fleet::StationHandle& s) { reading.radioType = ReadRadioType(s); });
  return reading;
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
