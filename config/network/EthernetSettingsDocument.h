// The Ethernet module's settings backup: the handler that turns its XML into labelled rows, the
// clean-up of what is shown, and the whole-file reader used on the downloaded copy. No network
// and no form here.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "network/XmlParser.h"

namespace qelta::network {

// --- Whole files ---------------------------------------------------------------------------------
enum FileReadCode : int {
  kFileReadOk = 0,
  kFileNotFound = 1,
  kFileCannotOpen = 2,
  kFileOutOfMemory = 3,
  kFileCannotRead = 4,
};

// Reads a file whole into buffer: 2 when it cannot be opened, 4 when it is empty or fewer bytes
// than its size arrive, 3 when its size cannot be held.
int ReadWholeFile(const std::string& fileName, std::vector<char>& buffer);
// "no error", "no such file", "couldn't open file", "out of memory", "couldn't read file",
// "unknown error".
const char* FileErrorText(int code);

// --- The settings document -----------------------------------------------------------------------
// Bytes below 0x20 and from 0x80 up become blanks; more than 31 characters are cut to 28 and "...".
std::string CleanSettingsText(std::string_view text);

// The one handler of the settings document. It shows the serial and network settings found inside
// "serial" or "boot" and the location and description inside "system".
class EthernetSettingsReader : public XmlHandler {
 public:
  using RowSink = std::function<void(const std::string& label, const std::string& text)>;
  explicit EthernetSettingsReader(RowSink sink) : sink_(std::move(sink)) {}

  // Clears the flags; done before every document.
  void Reset();
  XmlHandler* OnXmlEvent(XmlParser& parser, int event, std::string_view element,
                         std::string_view attribute, std::string_view text) override;

  bool dhcpOn = false;
  bool inSerialOrBoot = false;
  bool inSystem = false;
  // Texts handed to the sink whole and as the document holds them (its references decoded),
  // instead of cut and blanked as the list shows them: the reader makes them fit its own output.
  bool wholeTexts = false;

 private:
  void OnText(const std::string& element, const std::string& text);
  RowSink sink_;
};

// Where the document's diagnostics go (the program's log, standard error by default); never
// shown to the user.
using DiagnosticSink = std::function<void(const std::string& line)>;
void SetSettingsDiagnostics(DiagnosticSink sink);  // null restores standard error

// Parses a settings document with the reader (its flags as they are). The parse's code, or -1
// when no parser could be created; failures go to the diagnostics only.
int ShowSettingsDocument(const char* data, long size, EthernetSettingsReader& reader);

}  // namespace qelta::network
