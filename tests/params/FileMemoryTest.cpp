// The file's picture of memory, from writes as the upload's recording gives them: which lines are
// in sync with a device's bytes (the last write to a shared byte wins), how values are shown,
// which blocks a read takes, and which bytes a changed-only upload sends.
#include <gtest/gtest.h>

#include <set>

#include "params/CheckedWrites.h"
#include "params/FileMemory.h"

namespace qelta {
namespace {

RecordedWrite W(int16_t page, uint32_t address, std::vector<uint8_t> bytes, std::string source) {
  RecordedWrite write;
  write.page = page;
  write.address = address;
  write.bytes = std::move(bytes);
  write.source = std::move(source);
  return write;
}

struct Poke {
  int16_t page;
  uint32_t address;
  uint8_t byte;
};

// Two lines share byte 2:50 (the later one wins); a password of two bytes; a text; a block; a
// function key (length byte, then its text).
const std::vector<RecordedWrite> kFile = {
    W(2, 50, {0x21}, "line 1: CHAR_MAP:33"),
    W(2, 50, {0x07}, "line 2: LSR_BEEP_TIME:7"),
    W(2, 141, {0x12, 0x34}, "line 3: PASSWORD:4660"),
    W(2, 100, {'H', 'a', 'l', 'l'}, "line 4: STRING_BLOCK:100"),
    W(2, 104, {0}, "line 4: STRING_BLOCK:100"),
    W(2, 300, {1, 2, 0xFF}, "line 6: DATABLOCK:300"),
    W(2, 231, {2}, "F2TXT (end of file)"),
    W(2, 232, {'O', 'K'}, "F2TXT (end of file)"),
};

struct CompareCase {
  const char* name;
  std::vector<Poke> device;  // besides the file's own bytes
  bool unread;
  // Per line of kFile: match, and the device's value ("" when the line matches and it is the
  // file's).
  std::vector<std::pair<bool, std::string>> lines;
};

const std::vector<std::pair<bool, std::string>> kAllInSync(6, {true, ""});

const CompareCase kCompareCases[] = {
    {"in_sync", {{2, 50, 0x07}}, false, kAllInSync},
    // The shared byte holds the earlier line's value: both lines differ from what the file leaves.
    {"shared_byte_holds_the_earlier_value",
     {{2, 50, 0x21}},
     false,
     {{false, "33"}, {false, "33"}, {true, ""}, {true, ""}, {true, ""}, {true, ""}}},
    {"number_text_block_key",
     {{2, 50, 7}, {2, 142, 0x35}, {2, 101, 'u'}, {2, 302, 0}, {2, 231, 1}},
     false,
     {{true, ""}, {true, ""}, {false, "4661"}, {false, "Hull"}, {false, "01 02 00"}, {false, "O"}}},
    {"text_of_no_characters_shows_as_hex",
     {{2, 50, 7}, {2, 100, 0xFF}},
     false,
     {{true, ""}, {true, ""}, {true, ""}, {false, "FF 61 6C 6C"}, {true, ""}, {true, ""}}},
    {"key_length_beyond_its_bytes",
     {{2, 50, 7}, {2, 231, 9}},
     false,
     {{true, ""}, {true, ""}, {true, ""}, {true, ""}, {true, ""}, {false, "09 4F 4B"}}},
    {"unread", {}, true, std::vector<std::pair<bool, std::string>>(6, {false, ""})},
};

void PrintTo(const CompareCase& c, std::ostream* os) { *os << c.name; }

class CompareLinesTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareLinesTest, LinesAgainstWhatTheWholeFileLeaves) {
  const CompareCase& c = GetParam();
  const FileMemory file(kFile);
  MemoryBytes device;
  for (const RecordedWrite& w : kFile)
    for (uint32_t i = 0; i < w.bytes.size(); ++i) device.Set(w.page, w.address + i, w.bytes[i]);
  for (const Poke& p : c.device) device.Set(p.page, p.address, p.byte);
  const std::vector<LineComparison> lines = CompareLines(file, c.unread ? nullptr : &device);
  const std::vector<std::string> parameters = {"CHAR_MAP",     "LSR_BEEP_TIME", "PASSWORD",
                                               "STRING_BLOCK", "DATABLOCK",     "F2TXT"};
  const std::vector<std::string> fileValues = {"7", "7", "4660", "Hall", "01 02 FF", "OK"};
  ASSERT_EQ(lines.size(), c.lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i].source);
    EXPECT_EQ(lines[i].parameter, parameters[i]);
    EXPECT_EQ(lines[i].fileValue, fileValues[i]);
    EXPECT_EQ(lines[i].match, c.lines[i].first);
    if (c.unread) {
      EXPECT_FALSE(lines[i].deviceValue.has_value());
    } else {
      ASSERT_TRUE(lines[i].deviceValue.has_value());
      EXPECT_EQ(*lines[i].deviceValue, c.lines[i].first ? fileValues[i] : c.lines[i].second);
    }
  }
  // The text's end byte is part of its line, in the same range.
  EXPECT_EQ(lines[3].ranges.size(), 1u);
  EXPECT_EQ(lines[3].ranges[0].range, (MemoryRange{2, 100, 5}));
}

INSTANTIATE_TEST_SUITE_P(Devices, CompareLinesTest, ::testing::ValuesIn(kCompareCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct BlockCase {
  const char* name;
  std::vector<RecordedWrite> writes;
  std::vector<MemoryRange> blocks;
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.name; }

const BlockCase kBlockCases[] = {
    {"gap_of_16_joined", {W(0, 10, {1}, "a"), W(0, 27, {1}, "b")}, {{0, 10, 18}}},
    {"gap_of_17_apart", {W(0, 10, {1}, "a"), W(0, 28, {1}, "b")}, {{0, 10, 1}, {0, 28, 1}}},
    {"pages_apart", {W(0, 250, {1}, "a"), W(1, 0, {1}, "b")}, {{0, 250, 1}, {1, 0, 1}}},
    {"at_most_255",
     {W(2, 0, std::vector<uint8_t>(200, 1), "a"), W(2, 200, std::vector<uint8_t>(100, 1), "b")},
     {{2, 0, 255}, {2, 255, 45}}},
    {"refused_and_empty_left_out",
     {W(0, 5, {}, "a"),
      [] {
        RecordedWrite w = W(0, 90, {1}, "b");
        w.refused = true;
        return w;
      }(),
      W(0, 7, {1, 2}, "c")},
     {{0, 7, 2}}},
};

class ReadBlocksTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ReadBlocksTest, NearbyAddressesReadTogether) {
  EXPECT_EQ(FileMemory(GetParam().writes).ReadBlocks(), GetParam().blocks);
}

INSTANTIATE_TEST_SUITE_P(Addresses, ReadBlocksTest, ::testing::ValuesIn(kBlockCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct PlanCase {
  const char* name;
  std::vector<Poke> device;  // on top of the file's final bytes
  std::vector<std::vector<MemoryRange>> plan;
};

void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }

const PlanCase kPlanCases[] = {
    {"nothing_differs", {}, std::vector<std::vector<MemoryRange>>(8)},
    // Only the later of the two lines sharing a byte writes it.
    {"shared_byte", {{2, 50, 0x21}}, {{}, {{2, 50, 1}}, {}, {}, {}, {}, {}, {}}},
    {"bytes_inside_a_block_and_a_text",
     {{2, 300, 9}, {2, 302, 9}, {2, 101, 'u'}, {2, 102, 'x'}, {2, 104, 'y'}},
     {{}, {}, {}, {{2, 101, 2}}, {{2, 104, 1}}, {{2, 300, 1}, {2, 302, 1}}, {}, {}}},
};

class ChangedOnlyPlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(ChangedOnlyPlanTest, SendsEachDifferingByteOnceWithItsLastWrite) {
  MemoryBytes device;
  for (const RecordedWrite& w : kFile)
    for (uint32_t i = 0; i < w.bytes.size(); ++i) device.Set(w.page, w.address + i, w.bytes[i]);
  for (const Poke& p : GetParam().device) device.Set(p.page, p.address, p.byte);
  EXPECT_EQ(ChangedOnlyPlan(kFile, device), GetParam().plan);
}

INSTANTIATE_TEST_SUITE_P(Devices, ChangedOnlyPlanTest, ::testing::ValuesIn(kPlanCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qelta
