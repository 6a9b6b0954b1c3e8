#include "devices/CommIds.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "core/FileAccess.h"
#include "core/OutputImages.h"
#include "core/SettingsKey.h"
#include "halvex/HalvexCtrl.h"

namespace qelta {
namespace {

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

CommIdHandOut HandOutCommIds(SettingsStore& settings, UiPort& ui, std::optional<uint32_t> offered,
                             uint32_t requested, uint32_t count) {
  const bool keptOffer = offered && *offered == requested;
  CommIdHandOut h;
  h.start = requested % 65536;
  h.before = h.start;
  h.after = (h.start + count) % 65536;
  // The key shows what keeps it from opening; the store's own answer below decides.
  CSettingsKey key(settings, ui);
  key.Open();
  const int e = settings.Update([&](SettingsDocument& doc) {
    const std::optional<uint32_t> stored = ReadNumberValue(doc, kCommIdSetting);
    const uint32_t current = stored.value_or(static_cast<uint32_t>(kDefaultCommId));
    h.before = current;
    // The number the form offered is "the next one": whatever "CommID" says now, which another
    // program may have moved on since the field was filled.
    if (keptOffer) h.start = current % 65536;
    h.after = (h.start + count) % 65536;
    if (stored && *stored == h.after) return false;
    doc.Set(kCommIdSetting, SettingValue{SettingKind::Number, {}, h.after});
    return true;
  });
  h.stored = e == 0;
  h.error = e;
  return h;
}

void ReturnCommIds(SettingsStore& settings, const CommIdHandOut& taken) {
  if (!taken.stored || taken.before == taken.after) return;
  settings.Update([&](SettingsDocument& doc) {
    // Numbers handed out after ours stay handed out: only an untouched "CommID" goes back.
    const std::optional<uint32_t> stored = ReadNumberValue(doc, kCommIdSetting);
    if (!stored || *stored != taken.after) return false;
    doc.Set(kCommIdSetting, SettingValue{SettingKind::Number, {}, taken.before});
    return true;
  });
}

void ReportUnstoredCommIds(RowSink& rows, const CommIdHandOut& taken) {
  const int row =
      rows.AddRow("Cannot store CommID", FileErrorText(taken.error, SettingsStore::kMaxFileSize),
                  ids::kImageFailure, RowKind::Failure);
  rows.SetText(row, 2, "No comm ID written");
  rows.Beep();
}

// One station of a range: connect, write the two bytes, one row. True when it was connected.
bool WriteStationCommId(fleet::StationHandle& s, uint32_t id) {
  const BaseStationRecord& station = s.Record();
  CHalvexCtrl& link = s.Link();
  if (link.ConnectTCP(station.address, station.port) != 0) {
    s.AddRow("Connect error", station.addressText, ids::kImageFailure);
    return false;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(kCommIdStationWaitMs));
  const int16_t high =
      link.SetEepromVal(kCommIdAddressHigh, static_cast<int16_t>((id >> 8) & 0xFF), 0);
  const int16_t low = link.SetEepromVal(kCommIdAddressLow, static_cast<int16_t>(id & 0xFF), 0);
  const bool written = high != -1 && low != -1;
  if (high != -1 || low != -1) s.MarkChanged();
  const int row = s.AddRow(
      Formatted(written ? "New CommID @ %s" : "Cannot set CommID @ %s", station.addressText), "",
      written ? ids::kImageSuccess : ids::kImageFailure);
  s.SetText(row, 1, "Comm ID: " + std::to_string(id));
  return true;
}

}  // namespace qelta
