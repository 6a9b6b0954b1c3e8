// A module's settings document as the settings reader keeps it, and the default settings it
// holds or lacks: every case a document and the differences that must come of it.
#include <gtest/gtest.h>

#include <string>

#include "modules/DefaultSettingsCheck.h"
#include "modules/ModuleSettings.h"

namespace qelta::network {
namespace {

// Every default, some spelled as a module may show them.
const std::string kDocument =
    "<?xml version=\"1.0\"?>\n<settings><system><description></description><contact/>"
    "<location></location></system>\n<serial port=\"1\"><baud> 019200\n</baud><databits>8"
    "</databits><stopbits>1</stopbits><parity>0</parity><flowcontrol>None</flowcontrol><profile>9"
    "</profile><portdescription>Default serial</portdescription><tcpforwardstate>on"
    "</tcpforwardstate><tcpforwardonidle>on</tcpforwardonidle><tcpforwardidletimeout>5"
    "</tcpforwardidletimeout><tcpforwardbytes>300</tcpforwardbytes><tcpidletimeoutstate>on"
    "</tcpidletimeoutstate><tcpidletimeout>60</tcpidletimeout></serial>\n<boot><dhcp>ON</dhcp>"
    "<ip>10.0.0.5</ip></boot>\n<gpio><pin1>2</pin1><output1>0</output1><pin2>3</pin2><pin3>2"
    "</pin3><output3>0</output3><pin4>3</pin4><pin5>2</pin5><output5>0</output5></gpio>\n"
    "</settings>\n";

std::string Changed(std::string text, const std::string& part, const std::string& by = "") {
  const auto at = text.find(part);
  if (at != std::string::npos) text.replace(at, part.size(), by);
  return text;
}

TEST(ModuleSettingsDocument, DifferencesFromTheDefaults) {
  const std::string kAllGpio =
      "gpio_1: (none) -> 2; gpio_1_output: (none) -> 0; gpio_2: (none) -> 3; gpio_3: (none) -> 2; "
      "gpio_3_output: (none) -> 0; gpio_4: (none) -> 3; gpio_5: (none) -> 2; gpio_5_output: (none) "
      "-> 0";
  struct Case {
    const char* name;
    std::string document;
    bool parses;
    std::string differences;  // as people read them ("*": every default, none shown)
  } const cases[] = {
      {"EveryDefault", kDocument, true, ""},
      {"OneSerialValue", Changed(kDocument, "<baud> 019200\n", "<baud>9600"), true,
       "baud_rate: 9600 -> 19200"},
      {"DhcpOffAndAProfile", Changed(Changed(kDocument, ">ON<", ">off<"), ">9<", ">0<"), true,
       "port_profile: 0 -> 9; dhcp: off -> on"},
      {"TextsLeftOnTheModule",
       Changed(Changed(kDocument, "<description></description>",
                       "<description>Hall &amp; 3</description>"),
               "<location></location>", "<location>Dock</location>"),
       true, "description: Hall & 3 -> ; location: Dock -> "},
      // A value the document does not show is not taken for the default.
      {"PinMissing", Changed(kDocument, "<pin4>3</pin4>"), true, "gpio_4: (none) -> 3"},
      {"NoGpioRegion", Changed(Changed(kDocument, "<gpio>", "<x>"), "</gpio>", "</x>"), true,
       kAllGpio},
      // Outside its region an element is not the setting; regions nest, the innermost counts.
      {"ElementInAnotherRegion",
       Changed(Changed(kDocument, "<description></description>"), "<baud>", "<description/><baud>"),
       true, "description: (none) -> "},
      {"NestedRegion",
       Changed(Changed(kDocument, "<pin5>2</pin5>"), "<baud>", "<gpio><pin5>2</pin5></gpio><baud>"),
       true, ""},
      {"TwiceTheLastCounts", Changed(kDocument, "</serial>", "<baud>4800</baud></serial>"), true,
       "baud_rate: 4800 -> 19200"},
      // A document cut short keeps what came before the cut.
      {"CutShort", kDocument.substr(0, kDocument.find("<boot>")), false,
       kAllGpio + "; dhcp: (none) -> on"},
      {"Empty", "", false, "*"},
      {"TooLarge", Changed(kDocument, "</settings>", std::string(kMaxBackupBytes, ' ')), false,
       "*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModuleSettings settings;
    EXPECT_EQ(ParseModuleSettings(c.document.data(), c.document.size(), settings), c.parses);
    const auto differences = DefaultSettingsDifferences(settings);
    if (c.differences == "*") {
      EXPECT_EQ(differences.size(), 25u);
      for (const auto& d : differences) EXPECT_FALSE(d.before) << d.setting;
    } else {
      EXPECT_EQ(DifferencesText(differences), c.differences);
    }
  }
}

}  // namespace
}  // namespace qelta::network
