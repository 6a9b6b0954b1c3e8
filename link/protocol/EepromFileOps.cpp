// Writing a device from an EEPROM file, and saving the page images as one.
#include <cerrno>
#include <cstdio>
#include <string>

#include "halvex/HalvexCtrl.h"
#include "halvex/WholeFile.h"
#include "interface/LinkState.h"
#include "interface/Version.h"
#include "protocol/EepromFile.h"
#include "protocol/LinkIo.h"

namespace {

// Two pages of values with comments: a few dozen kilobytes.
constexpr size_t kMaxEprFileSize = size_t{1} << 20;

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

  d.lastFailure.clear();
  std::string text;
  if (const int e = halvex::ReadWholeFile(eprpath, kMaxEprFileSize, text)) {
    // A missing file keeps the plain message; a refused one says why.
    d.lastFailure = halvex::WholeFileErrorText(e, kMaxEprFileSize);
    d.Message("Can't open file:" + eprpath + (e == ENOENT ? "" : "\n" + d.lastFailure),
              "file open error");
    return false;
  }
  const auto parsed = halvex::ParseEepromFile(text, tables);
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
  return halvex::WriteWholeFile(eprpath, text) == 0;
}
