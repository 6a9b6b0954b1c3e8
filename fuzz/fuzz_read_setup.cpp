// Any bytes as the read-out's selection file "HT_parameters_to_get.cfg", then every entry decoded
// from an image made of the same bytes: the lines written must be lines the upload reads back
// under the entry's name.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "params/ColonFields.h"
#include "params/ParameterReadout.h"
#include "params/ReadSetup.h"

namespace {

using namespace qelta;
using qelta::fuzz::Expect;

void CheckEntry(const SelectionEntry& e) {
  Expect(!e.name.empty() && e.name.size() <= 255, "a name of 1 to 255 characters");
  for (char c : e.name) {
    Expect(!std::isspace(static_cast<unsigned char>(c)) && c != ':', "a name is one word");
  }
  Expect(e.kind == SelectionKind::kNumeric || e.kind == SelectionKind::kText ||
             e.kind == SelectionKind::kFunctionKeyText,
         "a known kind");
  if (e.kind != SelectionKind::kNumeric) Expect(e.x == 0 && e.y == 0, "texts have no x and y");
}

// The lines one entry added to the read-out.
void CheckLines(const SelectionEntry& e, const std::string& caption, const std::string& lines) {
  if (caption.empty() || e.kind == SelectionKind::kFunctionKeyText) {
    Expect(lines.empty(), "skipped entries and function keys write no line now");
    return;
  }
  Expect(!lines.empty() && lines.back() == '\n', "whole lines");
  size_t start = 0;
  std::string last;
  while (start < lines.size()) {
    const size_t end = lines.find('\n', start);
    last = lines.substr(start, end + 1 - start);
    start = end + 1;
  }
  Expect(SplitColonFields(last).first == e.name, "the value line reads back under its name");
  if (e.kind == SelectionKind::kText) {
    for (size_t i = e.name.size() + 1; i + 1 < last.size(); ++i) {
      Expect(last[i] >= 32 && last[i] <= 126, "texts are written printable");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qelta::fuzz::MemoryFile file(data, size);
  const ReadSetupResult setup = LoadReadSetupFile(file.Path());
  Expect(setup.opened, "the file opens");
  Expect(setup.entries.size() <= kMaxSelectionEntries, "at most 1000 entries");
  if (setup.tooManyEntries) Expect(setup.entries.empty(), "too many entries leave the table empty");

  ReadoutImage image{};
  for (size_t i = 0; size > 0 && i < image.size(); ++i) image[i] = data[i % size];
  ReadoutKeys keys;
  for (const SelectionEntry& entry : setup.entries) {
    CheckEntry(entry);
    std::string lines;
    const std::string caption = DecodeSelectionEntry(entry, image, keys, lines);
    CheckLines(entry, caption, lines);
  }
  for (size_t n = 0; n < keys.text.size(); ++n) {
    Expect(keys.text[n].size() <= 14 && keys.text[n].find('\n') == std::string::npos,
           "a key text of at most 14 characters, without its line feed");
    Expect(keys.send[n] <= 1, "send flags 0 or 1");
  }
  const std::string section = FunctionKeySection(keys);
  Expect(section.back() == '\n', "the key section ends its last line");
  return 0;
}
