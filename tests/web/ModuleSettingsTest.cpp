// A module's settings document as the settings reader keeps it, and the default settings it
// holds or lacks: every case a document and what must come of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modules/DefaultSettingsCheck.h"
#include "modules/ModuleSettings.h"

namespace qelta::network {
namespace {

// A document holding every default, with `serial`, `gpio` and `system` inserted in their regions.
std::string Document(const std::string& serial = "", const std::string& gpio = "",
                     const std::string& system = "") {
  return "<?xml version=\"1.0\"?>\n<settings>\n<system><description></description>"
         "<contact/><location></location>" +
         system +
         "</system>\n<serial port=\"1\"><baud>19200</baud><databits>8</databits>"
         "<stopbits>1</stopbits><parity>none</parity><flowcontrol>None</flowcontrol>"
         "<profile>9</profile><portdescription>Default serial</portdescription>"
         "<tcpforwardstate>on</tcpforwardstate><tcpforwardonidle>on</tcpforwardonidle>"
         "<tcpforwardidletimeout>5</tcpforwardidletimeout><tcpforwardbytes>300</tcpforwardbytes>"
         "<tcpidletimeoutstate>on</tcpidletimeoutstate><tcpidletimeout>60</tcpidletimeout>" +
         serial +
         "</serial>\n<boot><dhcp>on</dhcp><ip>10.0.0.5</ip></boot>\n<gpio><pin1>2</pin1>"
         "<output1>0</output1><pin2>3</pin2><pin3>2</pin3><output3>0</output3><pin4>3</pin4>"
         "<pin5>2</pin5><output5>0</output5>" +
         gpio + "</gpio>\n</settings>\n";
}

std::string Without(std::string text, const std::string& part) {
  const auto at = text.find(part);
  if (at != std::string::npos) text.erase(at, part.size());
  return text;
}

std::string Replaced(std::string text, const std::string& part, const std::string& by) {
  const auto at = text.find(part);
  if (at != std::string::npos) text.replace(at, part.size(), by);
  return text;
}

struct DocumentCase {
  const char* name;
  std::string document;
  bool parses;
  // "setting=before" per difference, in order ("setting" alone: the module does not show it).
  std::vector<std::string> differences;
};

std::string Shown(const SettingDifference& d) {
  return d.before ? d.setting + "=" + *d.before : d.setting;
}

TEST(ModuleSettingsDocument, DifferencesFromTheDefaults) {
  const DocumentCase cases[] = {
      {"EveryDefault", Document(), true, {}},
      // Case, blanks and leading zeros do not count; the form's own value of parity does.
      {"SpelledOtherwise",
       Replaced(Replaced(Replaced(Document(), "<baud>19200", "<baud> 019200\n"), ">on</dhcp",
                         ">ON</dhcp"),
                "<parity>none", "<parity>0"),
       true,
       {}},
      {"OneSerialValue",
       Replaced(Document(), "<baud>19200", "<baud>9600"),
       true,
       {"baud_rate=9600"}},
      {"DhcpOffAndAProfile",
       Replaced(Replaced(Document(), ">on</dhcp", ">off</dhcp"), "<profile>9", "<profile>0"),
       true,
       {"port_profile=0", "dhcp=off"}},
      {"TextsLeftOnTheModule", Document("", "", "<!-- -->"), true, {}},
      {"DescriptionAndLocation",
       Replaced(Replaced(Document(), "<description></description>",
                         "<description>Hall &amp; 3</description>"),
                "<location></location>", "<location>Dock</location>"),
       true,
       {"description=Hall & 3", "location=Dock"}},
      // A value the document does not show is not taken for the default.
      {"GpioPinMissing", Without(Document(), "<pin4>3</pin4>"), true, {"gpio_4"}},
      {"NoGpioRegion",
       Replaced(Replaced(Document(), "<gpio>", "<other>"), "</gpio>", "</other>"),
       true,
       {"gpio_1", "gpio_1_output", "gpio_2", "gpio_3", "gpio_3_output", "gpio_4", "gpio_5",
        "gpio_5_output"}},
      // An element outside its region is not the setting (a description inside serial).
      {"ElementInAnotherRegion",
       Replaced(Without(Document(), "<description></description>"), "<baud>",
                "<description></description><baud>"),
       true,
       {"description"}},
      // Regions nest: the innermost counts, the outer one goes on after it.
      {"NestedRegion",
       Replaced(Without(Document(), "<pin5>2</pin5>"), "<baud>",
                "<gpio><pin5>2</pin5></gpio><baud>"),
       true,
       {}},
      // The last of two elements counts.
      {"TwiceTheLastCounts", Document("<baud>4800</baud>"), true, {"baud_rate=4800"}},
      // A document cut short keeps what came before the cut.
      {"CutShort",
       Document().substr(0, Document().find("<boot>")),
       false,
       {"gpio_1", "gpio_1_output", "gpio_2", "gpio_3", "gpio_3_output", "gpio_4", "gpio_5",
        "gpio_5_output", "dhcp"}},
      {"Empty",
       "",
       false,
       {"gpio_1",
        "gpio_1_output",
        "gpio_2",
        "gpio_3",
        "gpio_3_output",
        "gpio_4",
        "gpio_5",
        "gpio_5_output",
        "port_description",
        "baud_rate",
        "data_bits",
        "parity",
        "stop_bits",
        "flow_control",
        "port_profile",
        "tcp_forward",
        "tcp_forward_on_idle",
        "tcp_forward_idle_timeout",
        "tcp_forward_bytes",
        "tcp_idle_timeout_state",
        "tcp_idle_timeout",
        "description",
        "contact",
        "location",
        "dhcp"}},
      {"TooLarge",
       Document(std::string(kMaxBackupBytes, ' ')),
       false,
       {"gpio_1",
        "gpio_1_output",
        "gpio_2",
        "gpio_3",
        "gpio_3_output",
        "gpio_4",
        "gpio_5",
        "gpio_5_output",
        "port_description",
        "baud_rate",
        "data_bits",
        "parity",
        "stop_bits",
        "flow_control",
        "port_profile",
        "tcp_forward",
        "tcp_forward_on_idle",
        "tcp_forward_idle_timeout",
        "tcp_forward_bytes",
        "tcp_idle_timeout_state",
        "tcp_idle_timeout",
        "description",
        "contact",
        "location",
        "dhcp"}},
  };
  for (const DocumentCase& c : cases) {
    SCOPED_TRACE(c.name);
    ModuleSettings settings;
    EXPECT_EQ(ParseModuleSettings(c.document.data(), c.document.size(), settings), c.parses);
    std::vector<std::string> found;
    for (const SettingDifference& d : DefaultSettingsDifferences(settings))
      found.push_back(Shown(d));
    EXPECT_EQ(found, c.differences);
  }
}

TEST(ModuleSettingsDocument, DifferencesReadForPeople) {
  ModuleSettings settings;
  const std::string document =
      Replaced(Without(Document(), "<pin1>2</pin1>"), "<baud>19200", "<baud>9600");
  ASSERT_TRUE(ParseModuleSettings(document.data(), document.size(), settings));
  const auto differences = DefaultSettingsDifferences(settings);
  EXPECT_EQ(DifferencesText(differences), "gpio_1: (none) -> 2; baud_rate: 9600 -> 19200");
  ASSERT_EQ(differences.size(), 2u);
  EXPECT_FALSE(differences[0].before.has_value());
  EXPECT_EQ(differences[1].after, "19200");
}

}  // namespace
}  // namespace qelta::network
