// Radio type, radio calibration and channel: the radio type buttons of the main form, writing the
// radio type to base stations or the calibration byte to the device on the serial port, and
// reading and setting the channel of the serial device, of one base station or of many at once.
// Everything runs on the main form's thread; each of many base stations is worked on through its
// own handle (devices/Radio.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devices/Radio.h"

class CQeltaConfigView;
class CHalvexCtrl;

namespace qelta::fleet {
class FleetRun;
}

namespace qelta {

inline constexpr const char* kLastRadioSetting = "LastRadioUsed";

// The radio type the buttons choose: "1" checked gives 1, else "2" checked gives 2, else 3.
int SelectedRadioType(const CQeltaConfigView& view);
// A click on radio button n (1 to 3): checks it alone and stores it as "LastRadioUsed".
void ChooseRadioType(CQeltaConfigView& view, int radioType);

// Radio type t on the connected base station: 0 when written (or outside production mode, where
// nothing is written), -3 when the write failed.
int WriteRadioType(CQeltaConfigView& view, int radioType);
// Command 32804 and the default uploads: the selected radio type on the selected base stations.
// `run`: the fleet run of a command with further phases (null: a run of its own).
void SetBaseStationRadioTypes(CQeltaConfigView& view, fleet::FleetRun* run = nullptr);
// Command 32807: the calibration byte of the selected radio type on the serial device.
void SetDeviceRadioCalibration(CQeltaConfigView& view);
// The radio type a device holds, read back: its station's dotted address (empty for the device
// on the serial port) and the type, 0 when it could not be read or is no known type.
struct RadioTypeReading {
  std::string station;
  int radioType = 0;
};
// The selected base stations' radio types, read back without writing (in every mode: nothing
// changes), one reading per station in list order; the silent ones reported with "(radio type)".
std::vector<RadioTypeReading> ReadBaseStationRadioTypes(CQeltaConfigView& view);
// The same for the device on the serial port.
RadioTypeReading ReadDeviceRadioType(CQeltaConfigView& view);
// Command 32805: read, ask and write the serial device's channel.
void SetDeviceChannel(CQeltaConfigView& view);
// Command 32791: the same for the selected base station.
void SetBaseStationChannel(CQeltaConfigView& view);
// Command 32797: one channel for every selected base station.
void SetSameChannel(CQeltaConfigView& view);

// Routes the radio buttons 1060 to 1062 and commands 32804, 32807, 32805, 32791 and 32797.
void InstallRadioChannelCommands(CQeltaConfigView& view);

}  // namespace qelta
