// Any bytes as the settings file: parsed, written and parsed again. Every value survives the
// round trip, every line the parser does not understand (and every comment) is written back as
// it was, and a second round changes nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "core/SettingsStore.h"

namespace {

using qelta::fuzz::Expect;

bool SameValue(const SettingValue& a, const SettingValue& b) {
  return a.kind == b.kind &&
         (a.kind == SettingKind::Text ? a.text == b.text : a.number == b.number);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string contents(reinterpret_cast<const char*>(data), size);
  const SettingsDocument doc = SettingsDocument::Parse(contents);
  const std::string written = doc.Serialize();
  Expect(written.rfind("# QeltaConfigurator settings\n", 0) == 0 ||
             written.rfind("# QeltaConfigurator settings\r\n", 0) == 0,
         "the file starts with its header");

  const SettingsDocument again = SettingsDocument::Parse(written);
  Expect(again.Names() == doc.Names(), "the same names in the same order");
  for (const std::string& name : doc.Names()) {
    const SettingValue* before = doc.Find(name);
    const SettingValue* after = again.Find(name);
    Expect(before != nullptr && after != nullptr && SameValue(*before, *after),
           "every value survives the round trip");
  }
  Expect(again.Damaged() == doc.Damaged(), "damage is kept");
  Expect(again.Serialize() == written, "a second round changes nothing");

  // Each line that is not a value on its own (a comment, a blank or a damaged line) is written
  // back as it was read.
  const std::vector<std::string> out = Lines(written);
  for (std::string line : Lines(contents)) {
    const SettingsDocument alone = SettingsDocument::Parse(line);
    if (!alone.Names().empty()) continue;
    bool kept = false;
    for (const std::string& o : out) kept = kept || o == line;
    Expect(kept, "lines that are not values are kept");
  }
  return 0;
}
