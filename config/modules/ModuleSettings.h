// A module's settings as its settings backup ("FS/CFG/backup.cfg") shows them: read through a
// station's web session (login, download, logout) and kept by region and element, the texts as
// the document holds them. The fleet inventory and the check of the default settings both read
// modules through this one reader.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "fleet/StationHandle.h"

namespace qelta::network {

// A settings backup larger than this is not a module's: the transfer is stopped.
inline constexpr std::size_t kMaxBackupBytes = 1 << 20;

// Where a setting sits in the document: inside "serial" or "boot" (one region, as the view of a
// module's settings reads them), inside "system", or inside "gpio". Elements outside these are
// not kept.
enum class SettingsRegion { kSerial, kSystem, kGpio };

class ModuleSettings {
 public:
  // The text of `element` in the region (all its texts joined, references decoded, blanks kept);
  // empty for an empty element; null when the document has no such element there. An element
  // that appears twice keeps its last text.
  const std::string* Find(SettingsRegion region, std::string_view element) const;
  // For the reader: the element begins (its text empties), a piece of its text.
  void Begin(SettingsRegion region, std::string_view element);
  void AddText(SettingsRegion region, std::string_view element, std::string_view text);
  bool Empty() const { return values_.empty(); }

 private:
  static std::string Key(SettingsRegion region, std::string_view element);
  std::map<std::string, std::string> values_;
};

// Reads a settings document. False when it is empty, larger than kMaxBackupBytes or does not
// parse; the settings read up to the error are kept.
bool ParseModuleSettings(const char* data, std::size_t size, ModuleSettings& settings);

// The station's module settings through its web session: the login page, the login, the download
// of the backup, the logout. Nothing is written to disk (stations worked on at once leave no files
// that could meet). False when a transfer failed, the module answered the download with an HTTP
// error, or the document did not parse.
bool ReadModuleSettings(fleet::StationHandle& station, ModuleSettings& settings);

}  // namespace qelta::network
