#include "inventory/Inventory.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <thread>

#include "core/ControlCharacters.h"
#include "core/FileAccess.h"
#include "core/OutputImages.h"
#include "devices/CommIds.h"
#include "devices/Radio.h"
#include "fleet/FleetRun.h"
#include "halvex/HalvexCtrl.h"
#include "modules/ModuleSettings.h"
#include "network/BaseStationDiscovery.h"

namespace qelta::fleet {
namespace {

constexpr int kConnectWaitMs = 20;  // paces the first frame after the tunnel opens
constexpr const char* kLinkFailureText = "Connection Error";
constexpr int kImageSilent = 5;

constexpr InventoryColumn kDiscoveryColumns[] = {kInvName, kInvMac, kInvMask, kInvGateway,
                                                 kInvDhcp};
constexpr InventoryColumn kTunnelColumns[] = {kInvDeviceType, kInvSoftware, kInvId,
                                              kInvDate,       kInvChannel,  kInvCommId};
constexpr InventoryColumn kWebColumns[] = {kInvBaud,    kInvDataBits,    kInvStopBits,
                                           kInvParity,  kInvFlowControl, kInvDescription,
                                           kInvLocation};

// The columns the module's settings fill, and where the backup holds them.
struct BackupSetting {
  network::SettingsRegion region;
  const char* element;
  InventoryColumn column;
};
constexpr BackupSetting kBackupSettings[] = {
    {network::SettingsRegion::kSerial, "baud", kInvBaud},
    {network::SettingsRegion::kSerial, "databits", kInvDataBits},
    {network::SettingsRegion::kSerial, "stopbits", kInvStopBits},
    {network::SettingsRegion::kSerial, "parity", kInvParity},
    {network::SettingsRegion::kSerial, "flowcontrol", kInvFlowControl},
    {network::SettingsRegion::kSystem, "description", kInvDescription},
    {network::SettingsRegion::kSystem, "location", kInvLocation}};

void FillBackupColumns(const network::ModuleSettings& settings, InventoryRecord& r) {
  for (const BackupSetting& b : kBackupSettings)
    if (const std::string* text = settings.Find(b.region, b.element); text && !text->empty())
      r.cells[b.column] = Utf8ShownText(*text);
}

std::string Dotted(uint32_t hostOrder) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", hostOrder >> 24, (hostOrder >> 16) & 0xFF,
                (hostOrder >> 8) & 0xFF, hostOrder & 0xFF);
  return text;
}

// Device type, software version, ID, date, channel and comm ID through the module's tunnel. The
// configurator never fills the link's device-information cache, so each identity call asks the
// station itself.
void ReadThroughTunnel(CHalvexCtrl& link, const BaseStationRecord& station, InventoryRecord& r) {
  auto fail = [&r](InventoryColumn c) {
    r.cells[c] = kNoAnswer;
    r.tunnelFailed = true;
  };
  if (link.ConnectTCP(station.address, station.port) != 0) {
    for (InventoryColumn c : kTunnelColumns) fail(c);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(kConnectWaitMs));
  const int16_t type = link.GetDevice();
  if (type < 0) {
    for (InventoryColumn c : kTunnelColumns) fail(c);
    link.Disconnect();
    return;
  }
  r.cells[kInvDeviceType] = std::to_string(type);
  auto text = [&](InventoryColumn c, const std::string& value) {
    if (value == kLinkFailureText) {
      fail(c);
    } else {
      r.cells[c] = Utf8ShownText(value);
    }
  };
  text(kInvSoftware, link.GetSWVersion());
  text(kInvId, link.GetID());
  text(kInvDate, link.GetManfDate());
  const int16_t channel = ReadChannel(link, kStationOverTcp);
  if (channel < 0) {
    fail(kInvChannel);
  } else {
    r.cells[kInvChannel] = std::to_string(channel);
  }
  const int16_t high = link.ReadEepromVal(kCommIdAddressHigh, 0);
  const int16_t low = link.ReadEepromVal(kCommIdAddressLow, 0);
  if (high < 0 || low < 0) {
    fail(kInvCommId);
  } else {
    r.cells[kInvCommId] = std::to_string(high * 256 + low);
  }
  link.Disconnect();
}

// Serial settings, description and location from the module's backup, through the worker's own
// session.
void ReadModuleBackup(StationHandle& s, InventoryRecord& r) {
  network::ModuleSettings settings;
  const bool ok = network::ReadModuleSettings(s, settings);
  FillBackupColumns(settings, r);
  if (ok) return;
  r.webFailed = true;
  // Columns the document filled before it failed keep their values.
  for (InventoryColumn c : kWebColumns)
    if (r.cells[c].empty()) r.cells[c] = kNoAnswer;
}

void InventoryForStation(StationHandle& s, InventoryRecord& r) {
  const BaseStationRecord& station = s.Record();
  r.started = true;
  const std::string name = station.name[0] ? Utf8ShownText(station.name) : "Base station";
  if (!network::BaseStationDiscovery::ProbeBaseStation(station.address)) {
    r.probeFailed = true;
    for (InventoryColumn c : kTunnelColumns) r.cells[c] = kNoAnswer;
    for (InventoryColumn c : kWebColumns) r.cells[c] = kNoAnswer;
  } else {
    ReadThroughTunnel(s.Link(), station, r);
    ReadModuleBackup(s, r);
  }
  r.cells[kInvStatus] = r.StatusText();
  const int image = r.probeFailed ? kImageSilent
                    : r.Failed()  ? ids::kImageFailure
                                  : ids::kImageSuccess;
  const int row = s.AddRow(name, station.addressText, image);
  s.SetText(row, 2, InventorySummary(r));
}

}  // namespace

std::string InventoryRecord::StatusText() const {
  if (!started) return kInventoryNotStarted;
  std::string parts;
  auto add = [&parts](bool failed, const char* part) {
    if (!failed) return;
    if (!parts.empty()) parts += ", ";
    parts += part;
  };
  add(unlisted, "discovery");
  add(probeFailed, "probe");
  add(tunnelFailed, "tunnel");
  add(webFailed, "web");
  return parts.empty() ? std::string(kInventoryDone) : std::string(kNoAnswer) + " (" + parts + ")";
}

InventoryRecord DiscoveryPart(const BaseStationRecord& station) {
  InventoryRecord r;
  r.cells[kInvName] = Utf8ShownText(station.name);
  r.cells[kInvAddress] = station.addressText;
  if (station.macValid) r.cells[kInvMac] = network::FormatMac(station.mac);
  if (station.maskValid) r.cells[kInvMask] = Dotted(station.mask);
  if (station.gatewayValid) r.cells[kInvGateway] = Dotted(station.gateway);
  r.cells[kInvDhcp] = station.dhcp ? "on" : "off";
  r.cells[kInvStatus] = r.StatusText();
  return r;
}

InventoryRecord UnlistedPart(const BaseStationRecord& station) {
  InventoryRecord r;
  for (InventoryColumn c : kDiscoveryColumns) r.cells[c] = kNoAnswer;
  r.cells[kInvAddress] = station.addressText;
  r.unlisted = true;
  r.cells[kInvStatus] = r.StatusText();
  return r;
}

bool ReadBackupColumns(const char* data, std::size_t size, InventoryRecord& record) {
  network::ModuleSettings settings;
  const bool ok = network::ParseModuleSettings(data, size, settings);
  FillBackupColumns(settings, record);
  return ok;
}

std::string InventorySummary(const InventoryRecord& record) {
  std::string text;
  for (std::size_t c = kInvDeviceType; c < kInventoryColumns; ++c) {
    if (!text.empty()) text += "; ";
    text += kInventoryHeader[c];
    text += ": ";
    text += record.cells[c];
  }
  return text;
}

std::vector<InventoryRecord> CollectInventory(RunHost& host, const BaseStationRecord* stations,
                                              std::size_t count, std::size_t unlisted) {
  std::vector<InventoryRecord> records;
  if (stations == nullptr) count = 0;
  records.reserve(count);
  const std::size_t listed = count - std::min(unlisted, count);
  for (std::size_t i = 0; i < count; ++i)
    records.push_back(i < listed ? DiscoveryPart(stations[i]) : UnlistedPart(stations[i]));
  if (count == 0) return records;
  FleetRun run(host, stations, count);
  // Each station's work fills its own record only; the run has ended (its workers joined) before
  // the records are read.
  run.Phase([&records](StationHandle& s) { InventoryForStation(s, records[s.Index()]); });
  for (InventoryRecord& r : records) r.cells[kInvStatus] = r.StatusText();
  return records;
}

std::string CsvField(const std::string& text) {
  // A leading apostrophe keeps a spreadsheet from taking the cell for a formula.
  const bool formula =
      !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
  const std::string cell = formula ? "'" + text : text;
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string quoted = "\"";
  for (const char c : cell) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string InventoryCsv(const std::vector<InventoryRecord>& records) {
  auto line = [](auto&& cell) {
    std::string text;
    for (std::size_t c = 0; c < kInventoryColumns; ++c) {
      if (c) text += ',';
      text += CsvField(cell(c));
    }
    return text + "\r\n";
  };
  std::string csv = line([](std::size_t c) { return std::string(kInventoryHeader[c]); });
  for (const InventoryRecord& r : records) csv += line([&r](std::size_t c) { return r.cells[c]; });
  return csv;
}

bool RunInventory(RunHost& host, IFileAccess& files, const BaseStationRecord* stations,
                  std::size_t count, const std::string& csvPath, std::vector<InventoryRecord>* out,
                  std::size_t unlisted, std::string* failure) {
  std::vector<InventoryRecord> records = CollectInventory(host, stations, count, unlisted);
  bool written = true;
  if (!csvPath.empty()) {
    // A file that is there keeps its mode (one kept private stays private).
    mode_t mode = 0644;
    struct stat existing {};
    if (::stat(csvPath.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
      mode = existing.st_mode & 07777;
    const int error = files.WriteFileAtomic(csvPath, InventoryCsv(records), mode);
    written = error == 0;
    StationSink& rows = host.Sink();
    if (written) {
      rows.AddRow("Inventory written", csvPath, ids::kImageSuccess);
    } else {
      // "not a regular file" for a device or a FIFO, "No space left on device", ...
      const std::string why = FileErrorText(error, 0);
      const int row = rows.AddRow("Cannot write inventory", csvPath, ids::kImageFailure);
      rows.SetText(row, 2, why);
      if (failure) *failure = why;
    }
  }
  if (out) *out = std::move(records);
  return written;
}

}  // namespace qelta::fleet
