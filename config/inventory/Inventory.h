// The fleet inventory: for each chosen base station its discovery record, the base station's
// identity, channel and comm ID read through the module's tunnel, and the module's serial settings,
// description and location from its settings backup. One output row per station, and a CSV file
// with a header row and the columns in the fixed order below.
//
// Stations run through the fleet runner (up to "ParallelStations" or --jobs at once), each with a
// link object and an HTTP session of its own. A part that does not answer (the probe, the tunnel
// or the web interface) leaves "no answer" in the columns it would have filled, and the row and
// the "Status" column name the part. A station named by its address that discovery did not list
// (switched off) has "no answer" in the discovery columns and is probed like every other one.
//
// Texts (the module's name, description and location, the base station's version, ID and date)
// are kept whole as UTF-8 in the CSV, the rows and the json objects alike: bytes that are not
// UTF-8 are taken as Latin-1, and control characters are shown as \xHH (Utf8ShownText).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "fleet/RunHost.h"
#include "network/BaseStationRecord.h"

class IFileAccess;

namespace qelta::fleet {

// The columns, in the order of the CSV file.
enum InventoryColumn : std::size_t {
  kInvName,  // discovery record
  kInvAddress,
  kInvMac,
  kInvMask,
  kInvGateway,
  kInvDhcp,
  kInvDeviceType,  // through the tunnel
  kInvSoftware,
  kInvId,
  kInvDate,
  kInvChannel,
  kInvCommId,
  kInvBaud,  // the module's settings backup
  kInvDataBits,
  kInvStopBits,
  kInvParity,
  kInvFlowControl,
  kInvDescription,
  kInvLocation,
  kInvStatus,
  kInventoryColumns
};

inline constexpr std::array<const char*, kInventoryColumns> kInventoryHeader = {
    "Name",         "Address",     "MAC",         "Subnet mask",
    "Gateway",      "DHCP",        "Device type", "Software version",
    "ID",           "Date",        "Channel",     "Comm ID",
    "Baud rate",    "Data bits",   "Stop bits",   "Parity",
    "Flow control", "Description", "Location",    "Status"};

inline constexpr const char* kNoAnswer = "no answer";
inline constexpr const char* kInventoryDone = "OK";
inline constexpr const char* kInventoryNotStarted = "not started (cancelled)";

struct InventoryRecord {
  std::array<std::string, kInventoryColumns> cells;
  bool started = false;   // false: the run was cancelled before this station
  bool unlisted = false;  // named by address; discovery did not list it
  bool probeFailed = false;
  bool tunnelFailed = false;
  bool webFailed = false;

  bool Failed() const { return !started || unlisted || probeFailed || tunnelFailed || webFailed; }
  // "OK", "no answer (probe)", "no answer (tunnel, web)", "no answer (discovery, probe)",
  // "not started (cancelled)".
  std::string StatusText() const;
};

// The discovery columns of a record; the other columns empty.
InventoryRecord DiscoveryPart(const BaseStationRecord& station);
// The record of a station that discovery did not list: its address, "no answer" in the other
// discovery columns.
InventoryRecord UnlistedPart(const BaseStationRecord& station);

// The settings backup's serial settings, description and location into the record's columns
// (texts as long as they are, as Utf8ShownText gives them). False when the document does not
// parse; the columns read up to the error are kept.
bool ReadBackupColumns(const char* data, std::size_t size, InventoryRecord& record);

// The station's output row: column 0 the module's name (or "Base station"), column 1 its
// address, column 2 every column after the discovery ones as "Header: value" joined by "; ".
std::string InventorySummary(const InventoryRecord& record);

// Runs the inventory on `count` stations in list order, adds one row per station (success, a
// failure, or image 5 for a station that did not answer its probe) and answers the records. The
// last `unlisted` of the stations were named by address and not listed by discovery.
std::vector<InventoryRecord> CollectInventory(RunHost& host, const BaseStationRecord* stations,
                                              std::size_t count, std::size_t unlisted = 0);

// CSV (RFC 4180): a field holding a comma, a quote, CR or LF is quoted and its quotes doubled. A
// field that a spreadsheet would take for a formula (it starts with =, +, -, @, a tab or CR) gets
// an apostrophe in front, which the spreadsheet shows as text.
std::string CsvField(const std::string& text);
// The header row and one line per record, CRLF after every line.
std::string InventoryCsv(const std::vector<InventoryRecord>& records);

// Collects the inventory and, with a path, writes the CSV there atomically (a temporary file
// beside it, then a rename; an existing file keeps its mode, a new one gets 0644) and adds the row
// "Inventory written" or "Cannot write inventory" (with the reason in its third column). True when
// the file was written (or none was asked for); otherwise `failure`, when given, says why.
bool RunInventory(RunHost& host, IFileAccess& files, const BaseStationRecord* stations,
                  std::size_t count, const std::string& csvPath,
                  std::vector<InventoryRecord>* out = nullptr, std::size_t unlisted = 0,
                  std::string* failure = nullptr);

}  // namespace qelta::fleet
