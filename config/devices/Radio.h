// Radio type, calibration and channel in a device's memory: where the bytes live, reading and
// writing them through a link, the channel dialog, and the two station operations of the base
// station menus (a radio type, one channel for many) on a station's handle.
#pragma once

#include <cstdint>

#include "fleet/StationHandle.h"
#include "ui/DialogModel.h"

class CHalvexCtrl;

namespace qelta {

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

// Radio type t on the connected base station: 0 when written (or outside production mode, where
// nothing is written), -3 when the write failed.
int WriteRadioType(CHalvexCtrl& link, bool production, int radioType);

// Radio calibration byte: page 2 address 86 on an extended-memory device, page 0 address 22 on
// every other device.
inline constexpr int16_t kCalibrationAddressExtended = 86;
inline constexpr int16_t kCalibrationAddressPage0 = 22;

// The radio type a calibration byte records on a device of this kind, by the windows the device
// report names it with (base station 80-90, 61-71, 42-52; hand terminal 94-104, 75-85, 55-65):
// 1 to 3, or 0 when the byte lies in none of them.
int RadioTypeOfCalibration(int16_t deviceKind, int16_t calibration);
// The calibration byte of the connected device; negative: the link's read error.
int16_t ReadRadioCalibration(CHalvexCtrl& link, int16_t deviceKind);

// The radio type a device holds, read back without writing: a base station (probe, tunnel) or,
// with no station on the handle, the device on the serial port. One row: "Radio type N" with the
// calibration byte, or a failure row (no connection, no device, a read error, a byte of no known
// type). Answers the type, 0 when there is none to tell.
int ReadRadioType(fleet::StationHandle& station);

// One station of "Set radio type": probe, connect, the radio type written and the station reset,
// one row.
void RadioTypeForStation(fleet::StationHandle& station, int radioType);
// One station of "Set to same channel": probe, connect, the channel written and the station
// reset, its rows.
void ChannelForStation(fleet::StationHandle& station, int16_t channel);

}  // namespace qelta
