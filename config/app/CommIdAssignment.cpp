#include "app/CommIdAssignment.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/ParamsCommands.h"
#include "app/QeltaConfigView.h"
#include "app/StationRuns.h"
#include "core/SettingsKey.h"
#include "devices/CommIds.h"
#include "fleet/FleetRun.h"

namespace qelta {
namespace {

constexpr int16_t kSerialBaud = 19200;
constexpr std::size_t kNextButtonChars = 10;
constexpr int kTableLockWaitMs = 3000;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string PortText(const CQeltaConfigView& view) { return std::to_string(view.comPort); }

// Comm ID on the serial device: Connect, identify, take the number under the settings lock,
// write the two bytes, reset and show the device again. A failed write gives the number back.
void SetSerialDeviceCommId(CQeltaConfigView& view, uint32_t requested) {
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

  const CommIdHandOut taken =
      HandOutCommIds(view.settings(), view.ui(), view.offeredCommId, requested, 1);
  if (!taken.stored) {
    // A number not stored would be handed out again: the device keeps the one it has.
    FormSink rows(view);
    ReportUnstoredCommIds(rows, taken);
    link.Disconnect();
    return;
  }
  const uint16_t id = static_cast<uint16_t>(taken.start & 0xFFFF);
  int16_t bytes[2] = {static_cast<int16_t>(id >> 8), static_cast<int16_t>(id & 0xFF)};
  if (!link.WriteBlockToEeprom(kCommIdAddressHigh, page, 2, bytes)) {
    ReturnCommIds(view.settings(), taken);
    view.AddOutputRow("Cannot write ID!", "", ids::kImageFailure);
    view.ui().Beep();
  } else {
    link.Reset();
    view.AddOutputRow("commID written successful. Resetting...", "", ids::kImageStep,
                      RowKind::Success);
    SleepMs(kCommIdResetWaitMs);
    ReadDeviceInfo(view);
    ShowCommIdField(view, taken.after);
  }
  link.Disconnect();
}

}  // namespace

void StoreNextCommId(CQeltaConfigView& view, uint32_t id) {
  {
    CSettingsKey key(view.settings(), view.ui());
    key.Open();
    key.WriteNumber(kCommIdSetting, static_cast<int32_t>(id));
  }
  ShowCommIdField(view, id);
}

void ShowCommIdField(CQeltaConfigView& view, uint32_t id) {
  view.SetControlText(ids::kCommIdField, std::to_string(id));
  view.offeredCommId = id;
}

void SetNewCommId(CQeltaConfigView& view) {
  const uint32_t id = FirstLineNumber(view.controls().Text(ids::kCommIdField));
  if (view.listShowsBaseStations) {
    uint32_t stations = 0;
    { stations = view.directory().Count(kTableLockWaitMs); }
    if (stations == 1 && !view.directory().ConfirmResponding(view.selectedBaseStation)) return;
    SetCommIdRange(view, id);
    return;
  }
  SetSerialDeviceCommId(view, id);
}

void SetCommIdRange(CQeltaConfigView& view, uint32_t start) {
  StationListHold hold(view);
  view.directory().ClearSilent();

  std::vector<BaseStationRecord> stations(network::kMaxBaseStations);
  const uint32_t count = network::CopySelectedBaseStations(view, stations.data());
  if (count == 0) return;
  FormSink rows(view);
  // A run that writes nothing still stores its number, as the one chosen: nothing is taken.
  auto endWithout = [&](uint32_t id) {
    const CommIdHandOut kept =
        HandOutCommIds(view.settings(), view.ui(), view.offeredCommId, id, 0);
    if (!kept.stored) return ReportUnstoredCommIds(rows, kept);
    ShowCommIdField(view, kept.after);
  };

  uint32_t id = start % 65536;
  DialogModel dialog = MultiCommIdDialog(id);
  if (!view.ui().RunDialog(dialog)) return endWithout(start);
  id = static_cast<uint32_t>(dialog.Number(kMultiCommIdStartField).value_or(id)) % 65536;
  // The number the dialog opened with, kept: the hand-out below takes the stored next comm ID.
  const uint32_t requested = id == start % 65536 ? start : id;
  auto wraps = [count](uint32_t first) { return count > 1 && first + count > kMaxCommId; };
  auto askWrap = [&view] {
    return view.Message(
               "It seems that the comm ID wraps from 65535 to 0.\nDo you wish to continue?",
               "Verify wrap", MessageButtons::OkCancel, MessageIcon::Question) == MessageAnswer::Ok;
  };
  if (wraps(id) && !askWrap()) return endWithout(requested);

  // Presence first, in list order: silent stations use up no number.
  FormRunHost host(view);
  fleet::FleetRun run(host, stations.data(), count, 2);
  std::vector<char> present(count, 0);
  run.Phase(
      [&present](fleet::StationHandle& s) { present[s.Index()] = s.CheckPresence() ? 0 : 1; });
  uint32_t used = 0;
  for (uint32_t i = 0; i < count && !run.Cancelled(); ++i) used += present[i] ? 1 : 0;

  // The numbers, taken and "CommID" moved on in one step under the settings lock, so that a
  // second program never hands out the same ones.
  CommIdHandOut taken =
      HandOutCommIds(view.settings(), view.ui(), view.offeredCommId, requested, used);
  if (!taken.stored) {
    // Numbers that were not stored are nobody's: no station gets one.
    ReportUnstoredCommIds(rows, taken);
    view.directory().ReportSilent("");
    return;
  }
  // Another program moved "CommID" on into a wrap nobody was asked about.
  if (taken.start != id && wraps(taken.start) && !wraps(id) && !askWrap()) {
    ReturnCommIds(view.settings(), taken);
    view.directory().ReportSilent("");
    return endWithout(requested);
  }
  std::vector<uint32_t> number(count, 0);
  uint32_t next = taken.start;
  for (uint32_t i = 0; i < count; ++i) {
    if (!present[i]) continue;
    number[i] = next;
    next = (next + 1) % 65536;
  }
  std::atomic<bool> connected{false};
  run.Phase([&](fleet::StationHandle& s) {
    const std::size_t i = s.Index();
    if (present[i] && WriteStationCommId(s, number[i])) connected = true;
  });
  // The last station's tunnel is not left held open: a module serves one client at a time.
  if (connected) view.link().Disconnect();
  view.directory().ReportSilent("");
  ShowCommIdField(view, taken.after);
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
  view.SetChangeHandler(ids::kCommIdField, [v] {
    // Any change but the form's own from "CommID" makes the field's number the user's choice.
    v->offeredCommId.reset();
    ShowNextCommId(*v);
  });
}

}  // namespace qelta
