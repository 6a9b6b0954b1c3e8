#include "app/CommIdAssignment.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/QeltaConfigView.h"
#include "app/SettingsKey.h"
#include "network/BaseStationListOps.h"
#include "params/FormParams.h"

namespace qelta {
namespace {

constexpr int16_t kSerialBaud = 19200;
constexpr std::size_t kNextButtonChars = 10;
constexpr int kTableLockWaitMs = 3000;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string PortText(const CQeltaConfigView& view) { return std::to_string(view.comPort); }

// Comm ID on the serial device: Connect, identify, write the two bytes, reset and show the
// device again. Only a written ID moves the next comm ID on.
void SetSerialDeviceCommId(CQeltaConfigView& view, uint16_t id) {
  CHalvexCtrl& link = view.link();
  if (!link.Connect(static_cast<int16_t>(view.comPort), kSerialBaud)) {
    view.AddOutputRow("Cannot open COM" + PortText(view), "", ids::kImageFailure);
    view.ui().Beep();
    return;
  }
  const int16_t device = link.GetDevice();
  if (device != 8 && device != 9) {
    link.Disconnect();
    view.AddOutputRow("Cannot ge device on COM" + PortText(view), "", ids::kImageFailure);
    view.ui().Beep();
    return;
  }
  const int16_t page = device == 8 ? 2 : 0;
  view.eepromPage = page;
  view.AddOutputRow("Open COM" + PortText(view), "", ids::kImageStep);
  view.AddOutputRow("Searching Qelta device..", "", ids::kImageStep);

  int16_t bytes[2] = {static_cast<int16_t>(id >> 8), static_cast<int16_t>(id & 0xFF)};
  if (!link.WriteBlockToEeprom(kCommIdAddressHigh, page, 2, bytes)) {
    view.AddOutputRow("Cannot write ID!", "", ids::kImageFailure);
    view.ui().Beep();
  } else {
    link.Reset();
    view.AddOutputRow("commID written successful. Resetting...", "", ids::kImageStep,
                      RowKind::Success);
    SleepMs(kCommIdResetWaitMs);
    ReadDeviceInfo(view);
    StoreNextCommId(view, (static_cast<uint32_t>(id) + 1) % 65536);
  }
  link.Disconnect();
}

std::string Formatted(const char* format, const char* text) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, text);
  return buffer;
}

}  // namespace

uint32_t FirstLineNumber(const std::string& text) {
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10u + static_cast<uint32_t>(c - '0');
  }
  return value;
}

DialogModel MultiCommIdDialog(uint32_t start) {
  DialogModel dialog;
  dialog.name = "CMultiCommIdDlg";
  dialog.title = "Comm ID";
  auto add = [&dialog](int id, const char* name, FieldKind kind, const std::string& value) {
    DialogField field;
    field.controlId = id;
    field.name = name;
    field.kind = kind;
    field.value = value;
    dialog.Add(std::move(field));
  };
  add(0, "group", FieldKind::Group, "");
  dialog.fields.back().label = "Set comm ID range";  // a group shows its caption
  add(0, "label", FieldKind::Label, "Start comm ID's from");
  add(kMultiCommIdStartField, "start", FieldKind::Number, std::to_string(start));
  add(0, "explanation", FieldKind::Label,
      "On each device the comm ID is incremented by 1.\nYou will be prompted whether you want the "
      "comm ID to wrap:\n\n65535 --> 0.");
  dialog.validate = [](DialogModel& d) {
    return ValidateIntegerField(d, kMultiCommIdStartField, 0, kMaxCommId);
  };
  return dialog;
}

void StoreNextCommId(CQeltaConfigView& view, uint32_t id) {
  {
    CSettingsKey key(view.settings(), view.ui());
    key.Open();
    key.WriteNumber(kCommIdSetting, static_cast<int32_t>(id));
  }
  view.SetControlText(ids::kCommIdField, std::to_string(id));
}

void SetNewCommId(CQeltaConfigView& view) {
  const uint32_t id = FirstLineNumber(view.controls().Text(ids::kCommIdField));
  if (view.listShowsBaseStations) {
    uint32_t stations = 0;
    {
      network::NamedMutexGuard hold(network::ListLock(view), kTableLockWaitMs);
      if (hold.Owned()) stations = network::Table(view).count;
    }
    if (stations == 1 && !network::ConfirmResponding(view, view.selectedBaseStation)) return;
    SetCommIdRange(view, id);
    return;
  }
  SetSerialDeviceCommId(view, static_cast<uint16_t>(id & 0xFFFF));
}

void SetCommIdRange(CQeltaConfigView& view, uint32_t start) {
  BaseStationRecord* savedSelection = view.selectedBaseStation;
  const bool savedShows = view.listShowsBaseStations;
  view.listShowsBaseStations = true;
  network::Silent(view).count = 0;
  auto restore = [&] {
    view.listShowsBaseStations = savedShows;
    view.selectedBaseStation = savedSelection;
  };

  std::vector<BaseStationRecord> stations(network::kMaxBaseStations);
  const uint32_t count = network::CopySelectedBaseStations(view, stations.data());
  if (count == 0) {
    restore();
    return;
  }

  uint32_t id = start % 65536;
  DialogModel dialog = MultiCommIdDialog(id);
  if (view.ui().RunDialog(dialog)) {
    id = static_cast<uint32_t>(dialog.Number(kMultiCommIdStartField).value_or(id)) % 65536;
    const bool wraps = count > 1 && id + count > kMaxCommId;
    const bool go = !wraps || view.Message(
                                  "It seems that the comm ID wraps from 65535 to 0.\nDo "
                                  "you wish to continue?",
                                  "Verify wrap", MessageButtons::OkCancel,
                                  MessageIcon::Question) == MessageAnswer::Ok;
    if (go) {
      CHalvexCtrl& link = view.link();
      OutputList& list = view.outputList();
      bool connected = false;
      for (uint32_t i = 0; i < count; ++i) {
        const BaseStationRecord& station = stations[i];
        if (network::CheckPresence(view, &station)) continue;  // silent: no ID used up
        if (link.ConnectTCP(station.address, station.port) != 0) {
          view.AddOutputRow("Connect error", station.addressText, ids::kImageFailure);
        } else {
          connected = true;
          SleepMs(kCommIdStationWaitMs);
          const int16_t high =
              link.SetEepromVal(kCommIdAddressHigh, static_cast<int16_t>((id >> 8) & 0xFF), 0);
          const int16_t low =
              link.SetEepromVal(kCommIdAddressLow, static_cast<int16_t>(id & 0xFF), 0);
          const bool written = high != -1 && low != -1;
          const int row =
              view.AddOutputRow(Formatted(written ? "New CommID @ %s" : "Cannot set CommID @ %s",
                                          station.addressText),
                                "", written ? ids::kImageSuccess : ids::kImageFailure);
          list.SetText(row, 1, "Comm ID: " + std::to_string(id));
        }
        id = (id + 1) % 65536;
      }
      // The last station's tunnel is not left held open: a module serves one client at a time.
      if (connected) link.Disconnect();
      network::ReportSilentBaseStations(view, "");
    }
  }
  StoreNextCommId(view, id);
  restore();
}

void UseNextCommId(CQeltaConfigView& view) {
  std::string offer = view.controls().Text(ids::kNextCommIdButton);
  // Without service mode the button shows nothing: an empty offer is no comm ID to write.
  if (offer.empty()) return;
  if (offer.size() > kNextButtonChars) offer.resize(kNextButtonChars);
  view.SetControlText(ids::kCommIdField, offer);
  SetNewCommId(view);
}

void ShowNextCommId(CQeltaConfigView& view) {
  if (!view.formReady || !view.uiService) return;
  ControlModel& controls = view.controls();
  const std::string& text = controls.Text(ids::kCommIdField);
  const std::string firstLine = text.substr(0, text.find_first_of("\r\n"));
  if (firstLine.empty()) {
    controls.SetVisible(ids::kNextCommIdButton, false);
    controls.SetVisible(ids::kNextCommIdLabel, false);
    return;
  }
  controls.SetVisible(ids::kNextCommIdButton, true);
  controls.SetVisible(ids::kNextCommIdLabel, true);
  uint64_t next = static_cast<uint64_t>(FirstLineNumber(firstLine)) + 1;
  if (next > kMaxCommId) next = 1;
  controls.SetText(ids::kNextCommIdButton, std::to_string(next));
}

void InstallCommIdCommands(CQeltaConfigView& view) {
  CQeltaConfigView* v = &view;
  view.SetCommandHandler(ids::kSetNewCommIdButton, [v] { SetNewCommId(*v); });
  view.SetCommandHandler(ids::kNextCommIdButton, [v] { UseNextCommId(*v); });
  view.SetChangeHandler(ids::kCommIdField, [v] { ShowNextCommId(*v); });
}

}  // namespace qelta
