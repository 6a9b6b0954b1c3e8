#include "modules/DefaultSettingsCheck.h"

#include <cctype>
#include <charconv>
#include <string_view>

#include "core/OutputImages.h"
#include "modules/ModuleDefaults.h"

namespace qelta::network {
namespace {

// Each value the default forms post: its name in the outcome, where the backup shows it, the
// value as the module shows it, and the value as the form posts it when that reads otherwise.
struct DefaultSetting {
  const char* setting;
  SettingsRegion region;
  const char* element;
  const char* shown;
  const char* posted;
};

constexpr DefaultSetting kDefaultSettings[] = {
    {"gpio_1", SettingsRegion::kGpio, "pin1", "2", nullptr},
    {"gpio_1_output", SettingsRegion::kGpio, "output1", "0", nullptr},
    {"gpio_2", SettingsRegion::kGpio, "pin2", "3", nullptr},
    {"gpio_3", SettingsRegion::kGpio, "pin3", "2", nullptr},
    {"gpio_3_output", SettingsRegion::kGpio, "output3", "0", nullptr},
    {"gpio_4", SettingsRegion::kGpio, "pin4", "3", nullptr},
    {"gpio_5", SettingsRegion::kGpio, "pin5", "2", nullptr},
    {"gpio_5_output", SettingsRegion::kGpio, "output5", "0", nullptr},
    {"port_description", SettingsRegion::kSerial, "portdescription", "Default serial", nullptr},
    {"baud_rate", SettingsRegion::kSerial, "baud", "19200", nullptr},
    {"data_bits", SettingsRegion::kSerial, "databits", "8", nullptr},
    {"parity", SettingsRegion::kSerial, "parity", "none", "0"},
    {"stop_bits", SettingsRegion::kSerial, "stopbits", "1", nullptr},
    {"flow_control", SettingsRegion::kSerial, "flowcontrol", "none", nullptr},
    {"port_profile", SettingsRegion::kSerial, "profile", "9", nullptr},
    {"tcp_forward", SettingsRegion::kSerial, "tcpforwardstate", "on", nullptr},
    {"tcp_forward_on_idle", SettingsRegion::kSerial, "tcpforwardonidle", "on", nullptr},
    {"tcp_forward_idle_timeout", SettingsRegion::kSerial, "tcpforwardidletimeout", "5", nullptr},
    {"tcp_forward_bytes", SettingsRegion::kSerial, "tcpforwardbytes", "300", nullptr},
    {"tcp_idle_timeout_state", SettingsRegion::kSerial, "tcpidletimeoutstate", "on", nullptr},
    {"tcp_idle_timeout", SettingsRegion::kSerial, "tcpidletimeout", "60", nullptr},
    {"description", SettingsRegion::kSystem, "description", "", nullptr},
    {"contact", SettingsRegion::kSystem, "contact", "", nullptr},
    {"location", SettingsRegion::kSystem, "location", "", nullptr},
    {"dhcp", SettingsRegion::kSerial, "dhcp", "on", nullptr},
};

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<long long> Decimal(std::string_view text) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// Blanks around a value, the case of letters and leading zeros of a number do not count
// ("None" is "none", "00000002" is "2").
bool SameValue(std::string_view held, std::string_view wanted) {
  held = Trimmed(held);
  const auto a = Decimal(held);
  const auto b = Decimal(wanted);
  if (a && b) return *a == *b;
  if (held.size() != wanted.size()) return false;
  for (std::size_t i = 0; i < held.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(held[i])) !=
        std::tolower(static_cast<unsigned char>(wanted[i])))
      return false;
  return true;
}

}  // namespace

std::vector<SettingDifference> DefaultSettingsDifferences(const ModuleSettings& settings) {
  std::vector<SettingDifference> differences;
  for (const DefaultSetting& d : kDefaultSettings) {
    const std::string* held = settings.Find(d.region, d.element);
    if (held && (SameValue(*held, d.shown) || (d.posted && SameValue(*held, d.posted)))) continue;
    SettingDifference difference{d.setting, std::nullopt, d.shown};
    if (held) difference.before = *held;
    differences.push_back(std::move(difference));
  }
  return differences;
}

std::string DifferencesText(const std::vector<SettingDifference>& differences) {
  std::string text;
  for (const SettingDifference& d : differences) {
    if (!text.empty()) text += "; ";
    text += d.setting + ": " + (d.before ? *d.before : std::string("(none)")) + " -> " + d.after;
  }
  return text;
}

void CheckedDefaultsForStation(fleet::StationHandle& s, DefaultsMode mode,
                               DefaultsOutcome& outcome) {
  const BaseStationRecord& station = s.Record();
  outcome.station = station.addressText;
  if (mode == DefaultsMode::kAlways) {
    DefaultsForStation(s);
    outcome.changed = true;
  } else if (station.address != 0 && station.address != 0xFFFFFFFFu && !s.CheckPresence()) {
    ModuleSettings settings;
    if (!ReadModuleSettings(s, settings)) {
      s.AddRow("Cannot read module settings", station.addressText, ids::kImageFailure);
    } else {
      outcome.read = true;
      outcome.differences = DefaultSettingsDifferences(settings);
      if (outcome.differences.empty()) {
        s.AddRow("already set", station.addressText, ids::kImageSuccess);
      } else {
        const bool dryRun = mode == DefaultsMode::kDryRun;
        const int row =
            s.AddRow(dryRun ? "would change" : "differs", station.addressText, ids::kImageInfo);
        s.SetText(row, 2, DifferencesText(outcome.differences));
        outcome.changed = true;
        if (!dryRun) PostDefaultsForStation(s);
      }
    }
  }
  outcome.ok = !s.Failed();
}

}  // namespace qelta::network
