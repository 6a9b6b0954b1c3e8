// Radio type, radio calibration and channel: the radio type buttons of the main form, writing the
// radio type to base stations or the calibration byte to the device on the serial port, and
// reading and setting the channel of the serial device, of one base station or of many at once.
// Everything runs on the main form's thread.
#pragma once

#include <cstdint>

#include "ui/DialogModel.h"

class CQeltaConfigView;
class CHalvexCtrl;

namespace qelta::fleet {
class FleetRun;
}

namespace qelta {

inline constexpr const char* kLastRadioSetting = "LastRadioUsed";
inline constexpr int kChannelField = 1036;
inline constexpr int16_t kMinChannel = 1;
inline constexpr int16_t kMaxChannel = 7;
inline constexpr int kRadioWaitMs = 20;  // paces the device conversations around the writes

// Where a device keeps its settings: the type GetDevice reported (8 = extended memory, page 2),
// or kStationOverTcp for a base station reached through its module (page 0 like type 9).
inline constexpr int16_t kDeviceExtendedMemory = 8;
inline constexpr int16_t kDeviceBaseStation = 9;
inline constexpr int16_t kStationOverTcp = kDeviceBaseStation;

// Channel byte of the connected device; negative: the link's read error.
int16_t ReadChannel(CHalvexCtrl& link, int16_t deviceKind);
// Writes the channel byte; answers the channel when the write succeeded, else -1.
int16_t WriteChannel(CHalvexCtrl& link, int16_t deviceKind, int16_t channel);

// The calibration byte that records radio type t (1 to 3) on a device of this kind; -1 for a
// radio type outside 1 to 3.
int16_t RadioCalibrationByte(int16_t deviceKind, int radioType);

// CBSChannelDlg filled with `channel`; its validator accepts 1 to 7.
DialogModel ChannelDialog(int16_t channel);

// The radio type the buttons choose: "1" checked gives 1, else "2" checked gives 2, else 3.
int SelectedRadioType(const CQeltaConfigView& view);
// A click on radio button n (1 to 3): checks it alone and stores it as "LastRadioUsed".
void ChooseRadioType(CQeltaConfigView& view, int radioType);

// Radio type t on the connected base station: 0 when written (or outside production mode, where
// nothing is written), -3 when the write failed.
int WriteRadioType(CQeltaConfigView& view, int radioType);
// The same on any link (a worker's); `production`: the form's production mode.
int WriteRadioType(CHalvexCtrl& link, bool production, int radioType);
// Command 32804 and the default uploads: the selected radio type on the selected base stations.
// `run`: the fleet run of a command with further phases (null: a run of its own).
void SetBaseStationRadioTypes(CQeltaConfigView& view, fleet::FleetRun* run = nullptr);
// Command 32807: the calibration byte of the selected radio type on the serial device.
void SetDeviceRadioCalibration(CQeltaConfigView& view);
// Command 32805: read, ask and write the serial device's channel.
void SetDeviceChannel(CQeltaConfigView& view);
// Command 32791: the same for the selected base station.
void SetBaseStationChannel(CQeltaConfigView& view);
// Command 32797: one channel for every selected base station.
void SetSameChannel(CQeltaConfigView& view);

// Routes the radio buttons 1060 to 1062 and commands 32804, 32807, 32805, 32791 and 32797.
void InstallRadioChannelCommands(CQeltaConfigView& view);

}  // namespace qelta
