// Writing a device from an EEPROM file, and saving the page images as one.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"
#include "interface/Version.h"
#include "protocol/EepromFile.h"
#include "protocol/LinkIo.h"

namespace {

// Writes the runs of one page; false when a write failed (a failed full run also tells why).
bool WritePageRuns(CHalvexCtrl& self, CHalvexCtrl::Impl& d, int16_t page,
                   std::span<const int32_t, halvex::kEprTableSize> table) {
  for (auto& run : halvex::WalkEprRuns(table)) {
    const bool ok =
        self.WriteBlockToEeprom(static_cast<int16_t>(run.start), page,
                                static_cast<int16_t>(run.values.size()), run.values.data());
    if (ok) continue;
    if (run.end == halvex::RunEnd::kFull) {
      if (page == 0) {
        std::string hex;
        const auto snap = halvex::TakeReplySnapshot(d);
        char two[3];
        for (int i = 0; i < snap.length; ++i) {
          std::snprintf(two, sizeof two, "%.2X", snap.bytes[static_cast<size_t>(i)]);
          hex += two;
        }
        d.Message(hex, "WriteBlockToEeprom Failure. Page0");
      } else {
        d.Message("WriteBlockToEeprom Failure Page1", halvex::kHalvexName);
      }
    }
    return false;
  }
  return true;
}

}  // namespace

bool CHalvexCtrl::ReadEprFile(const std::string& eprpath) {
  Impl& d = impl();
  halvex::EprTables tables;
  d.proto.eprPage0 = tables.page0;
  d.proto.eprPage1 = tables.page1;
  d.proto.eprComments = tables.comments;
  d.proto.laserCommands.clear();

  std::ifstream in(eprpath, std::ios::binary);
  if (!in) {
    d.Message("Can't open file:" + eprpath, "file open error");
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  in.close();
  const auto parsed = halvex::ParseEepromFile(text.str(), tables);
  d.proto.eprPage0 = tables.page0;
  d.proto.eprPage1 = tables.page1;
  d.proto.eprComments = tables.comments;
  d.proto.laserCommands = tables.laserCommands;
  // A file with an address the tables do not have is not written at all: half a configuration
  // is worse than none.
  if (parsed != halvex::EprParseResult::kOk) return false;

  if (!WritePageRuns(*this, d, 0, d.proto.eprPage0)) return false;
  Impl::SleepMs(500);
  if (!WritePageRuns(*this, d, 1, d.proto.eprPage1)) return false;
  Impl::SleepMs(300);
  for (const auto& cmd : d.proto.laserCommands) WriteLaser(cmd);
  return true;
}

bool CHalvexCtrl::WriteEepromFile(const std::string& eprpath) {
  Impl& d = impl();
  const std::string text = halvex::FormatEepromFile(d.proto.page0, d.proto.page1);
  std::FILE* f = std::fopen(eprpath.c_str(), "w");
  if (f == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const bool closed = std::fclose(f) == 0;
  return written && closed;
}
