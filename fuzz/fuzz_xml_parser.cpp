// Any bytes through the XML parser and the settings handler: no read outside the buffer, no
// crash, no runaway recursion, and a known result code.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "network/EthernetSettingsDocument.h"
#include "network/XmlParser.h"

using namespace qelta::network;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that any read past the end is seen by the sanitizer.
  std::vector<char> copy(data, data + size);
  static const bool quiet = [] {
    SetSettingsDiagnostics([](const std::string&) {});
    return true;
  }();
  (void)quiet;
  std::size_t rows = 0;
  EthernetSettingsReader reader([&](const std::string& label, const std::string& text) {
    if (label.empty() || text.size() > 31) std::abort();
    ++rows;
  });
  const int code = ShowSettingsDocument(copy.data(), static_cast<long>(copy.size()), reader);
  if (size == 0 ? code != -1 : (code < 0 || code > 13)) std::abort();
  return 0;
}
