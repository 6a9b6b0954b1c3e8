// A device against the file it was given, through a real link and a simulated device: after a full
// upload every line is in sync; bytes changed in the device's memory show as exactly the lines
// that cover them, with the device's and the file's bytes; a changed-only upload then writes
// exactly those bytes (the device's traffic shows no other write) and leaves the memory as the
// full upload did, and a second one writes nothing and does not reset; a verified upload catches
// a device that answers writes but keeps its old bytes.
#include <gtest/gtest.h>

#include <array>
#include <mutex>
#include <set>

#include "SimLinkForm.h"
#include "params/DeviceCompare.h"
#include "params/ParamsOperations.h"

namespace qelta::test {
namespace {

struct CompareCase {
  const char* name;
  int16_t type;
  std::string file;  // a file of data/examples (name.pcg), or the text of one
};

void PrintTo(const CompareCase& c, std::ostream* os) { *os << c.name; }

const std::string kOutOfRange =
    "LCD_CONTRAST:150\nCHANNEL:40\nPASSWORD:10000\nPASSWORD:4660\nENCRYPT_KEY:305419896\n"
    "SLEEP:999\nCHAR_MAP:300\nLSR_BEEP_TIME:7\nSYSTEM:5:7\nSYSTEM:300:9\nEND:\nVOLUME:2\n";
const std::string kLongTexts =
    "CUSTOMER_PARAM_NAME:ABCDEFGHIJKLMNOPQRSTUVWXYZ\nFORMLOCKTXT1:This text is far longer than "
    "twenty\nBTNAME5:A name too long for it\nF3TXT:abcdefghijklmnopqrstuvwxyz\nF3SEND:1\n"
    "F10TXT:z\nHEADING:" +
    std::string(300, 'x') + "\n";
const std::string kTerminalPageEnd =
    "SET_BLOCK:32760:8:7\nSTRING_BLOCK:32700\nEnd of memory\nDATABLOCK:32765\n1,2,3,\n"
    "DATABLOCK_END:\nSYSTEM:32767:9\nVOLUME:4\n";
const std::string kStationPageEnd =
    "SET_BLOCK:250:5:7\nSTRING_BLOCK:245\n0123456789\nSYSTEM:255:9\nSYSTEM:511:3\n"
    "DATABLOCK:0\n1,2,3,4,5,\nDATABLOCK_END:\nSYSTEM:12:1\n";

const CompareCase kCases[] = {
    {"terminal_settings_on_8", 8, "hand_terminal_settings.pcg"},
    {"station_channel_on_8", 8, "base_station_channel.pcg"},
    {"station_channel_on_9", 9, "base_station_channel.pcg"},
    {"raw_blocks_on_8", 8, "raw_blocks.pcg"},
    {"out_of_range_on_8", 8, kOutOfRange},
    {"out_of_range_on_9", 9, kOutOfRange},
    {"long_texts_on_8", 8, kLongTexts},
    {"page_end_on_8", 8, kTerminalPageEnd},
    {"page_end_on_9", 9, kStationPageEnd},
};

using Address = std::pair<int16_t, uint32_t>;  // page 0, 1 or 2 (extended), address

sim::MemoryArea AreaOf(int16_t page) { return static_cast<sim::MemoryArea>(page); }

// The memory writes the device received, as the addresses they covered.
class WriteTrace {
 public:
  WriteTrace(sim::SimDevice& device, int16_t type) : type_(type) {
    device.SetTrafficObserver([this](sim::Direction direction, std::span<const uint8_t> frame) {
      // 02 N 10 count X Y data... 03
      if (direction != sim::Direction::kReceived || frame.size() < 7 || frame[2] != 0x10) return;
      std::lock_guard lock(mutex_);
      for (uint32_t i = 0; i < frame[3]; ++i) {
        if (type_ == 8) {
          written_.push_back({2, frame[4] * 256u + frame[5] + i});
        } else {
          written_.push_back({static_cast<int16_t>(frame[4]), frame[5] + i});
        }
      }
    });
  }
  std::vector<Address> Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(written_, {});
  }

 private:
  int16_t type_;
  std::mutex mutex_;
  std::vector<Address> written_;
};

uint8_t Held(SimLine& line, const Address& at) {
  uint8_t byte = 0;
  line.device().WithMemory(
      [&](sim::DeviceMemory& m) { byte = m.Area(AreaOf(at.first))[at.second]; });
  return byte;
}

std::array<std::vector<uint8_t>, 3> Memory(SimLine& line) {
  return {line.device().Page(0), line.device().Page(1), line.device().Extended()};
}

std::string RowsText(const FakeRows& rows) {
  std::string text;
  for (const Row& r : rows.rows) text += r.name + "|" + r.value + "|" + r.more + "\n";
  return text;
}

// The failure rows (not the warnings), by name and value.
std::vector<std::string> Failures(const FakeRows& rows) {
  std::vector<std::string> failures;
  for (const Row& r : rows.rows)
    if (r.kind == RowKind::Failure) failures.push_back(r.name + "|" + r.value);
  return failures;
}

class DeviceCompareTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(DeviceCompareTest, FindsWritesAndVerifiesExactlyWhatDiffers) {
  const CompareCase& c = GetParam();
  TempFolder folder;
  const std::string path =
      c.file.ends_with(".pcg") ? kDataDir + "examples/" + c.file : folder.Write("case.pcg", c.file);
  SimLine line(static_cast<uint8_t>(c.type));
  LinkForm form;
  form.Attach(3, line);
  form.form.configFilePath = path;
  UploadConfiguration(form.form);
  const auto uploaded = Memory(line);
  const std::vector<std::string> fileFailures = Failures(form.rows);

  // In sync after the full upload.
  DeviceComparison found = CompareWithDevice(form.form, path, c.type);
  ASSERT_TRUE(found.read) << RowsText(form.rows);
  ASSERT_FALSE(found.lines.empty());
  for (const LineComparison& l : found.lines) EXPECT_TRUE(l.match) << l.source;
  EXPECT_TRUE(form.rows.Has("In sync"));

  // One byte changed in the first and the last line's first range.
  std::set<Address> changed;
  for (const LineComparison* l : {&found.lines.front(), &found.lines.back()}) {
    const MemoryRange& range = l->ranges.front().range;
    const Address at{range.page, range.first};
    line.Poke(at.second, std::string(1, static_cast<char>(Held(line, at) ^ 0x5A)),
              AreaOf(at.first));
    changed.insert(at);
  }
  form.rows.rows.clear();
  found = CompareWithDevice(form.form, path, c.type);
  ASSERT_TRUE(found.read);
  for (const LineComparison& l : found.lines) {
    bool covers = false;
    for (const RangeComparison& r : l.ranges) {
      for (uint32_t a = r.range.first; a <= r.range.last(); ++a) {
        const std::size_t i = a - r.range.first;
        covers = covers || changed.count({r.range.page, a}) != 0;
        ASSERT_TRUE(r.device.has_value());
        EXPECT_EQ((*r.device)[i], Held(line, {r.range.page, a})) << l.source << " at " << a;
        EXPECT_EQ(r.file[i], uploaded[r.range.page][a]) << l.source << " at " << a;
      }
    }
    EXPECT_EQ(l.match, !covers) << l.source;
    if (covers) {
      ASSERT_TRUE(l.deviceValue.has_value());
      EXPECT_NE(*l.deviceValue, l.fileValue) << l.source;
    }
  }
  EXPECT_TRUE(form.rows.Has("Differs")) << RowsText(form.rows);

  // Changed-only writes exactly the changed bytes and verifies them.
  WriteTrace trace(line.device(), c.type);
  const uint32_t resetsBefore = line.device().Activity().resets;
  form.settings.writeChangedOnly = true;
  form.settings.verifyWrites = true;
  form.rows.rows.clear();
  UploadConfiguration(form.form);
  std::vector<Address> written = trace.Take();
  EXPECT_EQ(std::set<Address>(written.begin(), written.end()), changed) << RowsText(form.rows);
  EXPECT_EQ(written.size(), changed.size()) << "every byte once";
  ASSERT_TRUE(form.form.written.has_value()) << RowsText(form.rows);
  EXPECT_EQ(form.form.written->bytes, changed.size());
  EXPECT_FALSE(form.form.written->verifyFailed);
  EXPECT_EQ(form.form.written->linesWritten + form.form.written->linesUnchanged,
            found.lines.size());
  EXPECT_TRUE(form.rows.Has("Verified"));
  EXPECT_EQ(Memory(line), uploaded);
  EXPECT_EQ(line.device().Activity().resets, resetsBefore + 1);

  // Nothing differs any more: nothing written, no reset.
  form.rows.rows.clear();
  UploadConfiguration(form.form);
  EXPECT_TRUE(trace.Take().empty()) << RowsText(form.rows);
  EXPECT_EQ(form.form.written->bytes, 0u);
  EXPECT_EQ(form.form.written->linesUnchanged, found.lines.size());
  EXPECT_EQ(line.device().Activity().resets, resetsBefore + 1);
  EXPECT_TRUE(form.rows.Has("unchanged"));
  EXPECT_EQ(Failures(form.rows), fileFailures) << "the file's own failures, no more";

  // A device that answers writes but keeps its old bytes fails the read-back.
  const Address first = *changed.begin();
  line.Poke(first.second, std::string(1, static_cast<char>(Held(line, first) ^ 0x5A)),
            AreaOf(first.first));
  sim::FaultKnobs faults;
  faults.keep_old_bytes = true;
  line.device().SetFaults(faults);
  form.rows.rows.clear();
  UploadConfiguration(form.form);
  EXPECT_TRUE(form.form.written->verifyFailed);
  std::vector<std::string> failures;
  for (const Row& r : form.rows.rows)
    if (r.name == "Verify failure") failures.push_back(r.value);
  EXPECT_EQ(failures, std::vector<std::string>{RangeText({first.first, first.second, 1})})
      << RowsText(form.rows);
}

INSTANTIATE_TEST_SUITE_P(Files, DeviceCompareTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qelta::test
