// The settings backup's handler: labels, the DHCP rule, the clean-up, diagnostics, and reading
// the downloaded file whole.
#include "network/EthernetSettingsDocument.h"

#include <sys/stat.h>

#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <new>

#include "network/ScopedFile.h"

namespace qelta::network {
namespace {

constexpr std::size_t kWholeTextChars = 31;
constexpr std::size_t kCutTextChars = 28;

struct Label {
  const char* element;
  const char* label;
};
constexpr Label kSerialLabels[] = {{"baud", "Serial baud rate:"},
                                   {"databits", "Data bits:"},
                                   {"stopbits", "Stop bits:"},
                                   {"parity", "Parity:"},
                                   {"flowcontrol", "Flow control:"}};
constexpr Label kNetworkLabels[] = {{"dhcp", "Use DHCP:"},
                                    {"ip", "IP-address:"},
                                    {"subnet", "Sub-net mask:"},
                                    {"gateway", "Default gateway"}};
constexpr Label kSystemLabels[] = {{"location", "Location:"}, {"description", "Description:"}};

template <std::size_t N>
const Label* Find(const Label (&table)[N], const std::string& element) {
  for (const Label& l : table)
    if (element == l.element) return &l;
  return nullptr;
}

std::mutex& DiagnosticsLock() {
  static std::mutex lock;
  return lock;
}
DiagnosticSink& Diagnostics() {
  static DiagnosticSink sink;
  return sink;
}

void Diagnose(const std::string& line) {
  DiagnosticSink sink;
  {
    std::lock_guard<std::mutex> hold(DiagnosticsLock());
    sink = Diagnostics();
  }
  if (sink) {
    sink(line);
  } else {
    std::fputs(line.c_str(), stderr);
  }
}

using File = ScopedFile;

}  // namespace

int ReadWholeFile(const std::string& fileName, std::vector<char>& buffer) {
  buffer.clear();
  File file(fileName, "rb");
  if (!file.get()) return kFileCannotOpen;
  struct stat info {};
  if (fstat(fileno(file.get()), &info) != 0 || info.st_size <= 0) return kFileCannotRead;
  if (static_cast<unsigned long long>(info.st_size) > std::numeric_limits<std::size_t>::max() / 2)
    return kFileOutOfMemory;
  try {
    buffer.resize(static_cast<std::size_t>(info.st_size));
  } catch (const std::bad_alloc&) {
    return kFileOutOfMemory;
  }
  const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
  if (got != buffer.size()) {
    buffer.clear();
    return kFileCannotRead;
  }
  return kFileReadOk;
}

const char* FileErrorText(int code) {
  switch (code) {
    case kFileReadOk:
      return "no error";
    case kFileNotFound:
      return "no such file";
    case kFileCannotOpen:
      return "couldn't open file";
    case kFileOutOfMemory:
      return "out of memory";
    case kFileCannotRead:
      return "couldn't read file";
    default:
      return "unknown error";
  }
}

std::string CleanSettingsText(std::string_view text) {
  std::string clean;
  const bool cut = text.size() > kWholeTextChars;
  const std::size_t keep = cut ? kCutTextChars : text.size();
  clean.reserve(keep + 3);
  for (std::size_t i = 0; i < keep; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    clean.push_back(byte < 0x20 || byte >= 0x80 ? ' ' : static_cast<char>(byte));
  }
  if (cut) clean += "...";
  return clean;
}

void EthernetSettingsReader::Reset() {
  dhcpOn = false;
  inSerialOrBoot = false;
  inSystem = false;
}

XmlHandler* EthernetSettingsReader::OnXmlEvent(XmlParser&, int event, std::string_view element,
                                               std::string_view, std::string_view text) {
  const std::string name = CleanSettingsText(element);
  switch (event) {
    case kXmlElementStart:
      if (!inSerialOrBoot && (name == "boot" || name == "serial")) inSerialOrBoot = true;
      if (!inSystem && name == "system") inSystem = true;
      return this;
    case kXmlText:
      OnText(name, wholeTexts ? std::string(text) : CleanSettingsText(text));
      break;
    case kXmlElementEnd:
      if (inSerialOrBoot && (name == "boot" || name == "serial")) inSerialOrBoot = false;
      if (inSystem && name == "system") inSystem = false;
      break;
    default:
      break;
  }
  return this;
}

void EthernetSettingsReader::OnText(const std::string& element, const std::string& text) {
  if (inSerialOrBoot) {
    if (const Label* l = Find(kSerialLabels, element)) {
      sink_(l->label, text);
    } else if (const Label* n = Find(kNetworkLabels, element)) {
      if (element == "dhcp") {
        dhcpOn = text == "on";
        if (dhcpOn) sink_(n->label, text);
      } else if (!dhcpOn) {
        sink_(n->label, text);
      }
    }
  }
  if (inSystem) {
    if (const Label* l = Find(kSystemLabels, element)) sink_(l->label, text);
  }
}

void SetSettingsDiagnostics(DiagnosticSink sink) {
  std::lock_guard<std::mutex> hold(DiagnosticsLock());
  Diagnostics() = std::move(sink);
}

int ShowSettingsDocument(const char* data, long size, EthernetSettingsReader& reader) {
  std::unique_ptr<XmlParser> parser = XmlCreateParser(data, size);
  if (!parser) {
    Diagnose("couldn't create parser");
    return -1;
  }
  const int32_t code = XmlParse(parser.get(), &reader);
  if (code != kXmlOk) {
    char line[64];
    std::snprintf(line, sizeof line, "parse error on line %li:\n", XmlLine(parser.get()));
    Diagnose(std::string(line) + XmlErrorText(parser.get()) + "\n");
  }
  return code;
}

}  // namespace qelta::network
