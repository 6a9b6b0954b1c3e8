// The settings handler on backup documents: which elements become rows, their labels, the DHCP
// rule, the text clean-up, the diagnostics of a bad document, and whole-file reading.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "network/EthernetSettingsDocument.h"

namespace qelta::network {
namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

struct Shown {
  int code;
  Rows rows;
  std::vector<std::string> diagnostics;
};

Shown Show(const std::string& doc, EthernetSettingsReader* keep = nullptr) {
  Shown out;
  SetSettingsDiagnostics([&](const std::string& line) { out.diagnostics.push_back(line); });
  EthernetSettingsReader reader([&](const std::string& label, const std::string& text) {
    out.rows.emplace_back(label, text);
  });
  if (keep) {
    reader.dhcpOn = keep->dhcpOn;
    reader.inSerialOrBoot = keep->inSerialOrBoot;
    reader.inSystem = keep->inSystem;
  }
  out.code = ShowSettingsDocument(doc.data(), static_cast<long>(doc.size()), reader);
  SetSettingsDiagnostics(nullptr);
  return out;
}

TEST(SettingsDocumentTest, SerialChildrenGiveTheirLabelledRowsInDocumentOrder) {
  const auto s = Show(
      "<cfg>\n <serial>\n  <baud>19200</baud>\n  <parity>none</parity>\n"
      " </serial>\n</cfg>\n");
  EXPECT_EQ(s.code, 0);
  EXPECT_EQ(s.rows, (Rows{{"Serial baud rate:", "19200"}, {"Parity:", "none"}}));
  EXPECT_TRUE(s.diagnostics.empty());
}

TEST(SettingsDocumentTest, EveryLabelOfABackupWithDhcpOff) {
  const auto s = Show(
      "<?xml version=\"1.0\"?><settings><system><description>Hall 3</description>"
      "<contact>x</contact><location>Dock</location></system>"
      "<serial port='1'><baud>9600</baud><databits>7</databits><stopbits>2</stopbits>"
      "<parity>even</parity><flowcontrol>hardware</flowcontrol><profile>9</profile></serial>"
      "<boot><dhcp>off</dhcp><ip>10.0.0.5</ip><subnet>255.0.0.0</subnet>"
      "<gateway>10.0.0.1</gateway><hostname>bs1</hostname></boot></settings>");
  EXPECT_EQ(s.code, 0);
  EXPECT_EQ(s.rows, (Rows{{"Description:", "Hall 3"},
                          {"Location:", "Dock"},
                          {"Serial baud rate:", "9600"},
                          {"Data bits:", "7"},
                          {"Stop bits:", "2"},
                          {"Parity:", "even"},
                          {"Flow control:", "hardware"},
                          {"IP-address:", "10.0.0.5"},
                          {"Sub-net mask:", "255.0.0.0"},
                          {"Default gateway", "10.0.0.1"}}));
}

TEST(SettingsDocumentTest, DhcpOnHidesTheAddressesThatFollowIt) {
  EXPECT_EQ(Show("<r><boot><dhcp>on</dhcp><ip>1.2.3.4</ip><subnet>m</subnet></boot></r>").rows,
            (Rows{{"Use DHCP:", "on"}}));
  EXPECT_EQ(Show("<r><boot><dhcp>off</dhcp><ip>1.2.3.4</ip></boot></r>").rows,
            (Rows{{"IP-address:", "1.2.3.4"}}));
  // Only an exact "on" counts, and an address before the dhcp element is still shown.
  EXPECT_EQ(Show("<r><boot><dhcp>ON</dhcp><ip>a</ip></boot></r>").rows,
            (Rows{{"IP-address:", "a"}}));
  EXPECT_EQ(Show("<r><boot><ip>a</ip><dhcp>on</dhcp><gateway>g</gateway></boot></r>").rows,
            (Rows{{"IP-address:", "a"}, {"Use DHCP:", "on"}}));
}

TEST(SettingsDocumentTest, ElementsOutsideTheirRegionsAndOtherNamesAreNotShown) {
  const auto s = Show(
      "<r><baud>1</baud><location>out</location><system><baud>2</baud><ip>3</ip></system>"
      "<Serial><baud>4</baud></Serial><serialx><baud>5</baud></serialx>"
      "<boot><location>6</location><x><baud>7</baud></x></boot><baud>8</baud></r>");
  // Depth does not matter inside a region; names are compared exactly.
  EXPECT_EQ(s.rows, (Rows{{"Serial baud rate:", "7"}}));
}

TEST(SettingsDocumentTest, TextsAreCleanedAndLongOnesCut) {
  const std::string forty(40, 'd');
  auto s = Show("<r><system><description>" + forty + "</description><location>" +
                std::string(31, 'L') + "</location></system></r>");
  EXPECT_EQ(s.rows, (Rows{{"Description:", std::string(28, 'd') + "..."},
                          {"Location:", std::string(31, 'L')}}));
  s = Show(
      "<r><system><location>a&#9;b\xE4"
      "c&#x1f;</location></system></r>");
  EXPECT_EQ(s.rows, (Rows{{"Location:", "a b c "}}));
  EXPECT_EQ(CleanSettingsText(std::string(32, 'x')), std::string(28, 'x') + "...");
  EXPECT_EQ(CleanSettingsText(""), "");
}

TEST(SettingsDocumentTest, ABadDocumentKeepsTheRowsBeforeTheErrorAndReportsOnlyToTheLog) {
  auto s = Show("<r><serial><baud>19200</baud>\n<parity>&#300;</parity></serial></r>");
  EXPECT_EQ(s.code, kXmlUnicode);
  EXPECT_EQ(s.rows, (Rows{{"Serial baud rate:", "19200"}}));
  EXPECT_EQ(s.diagnostics,
            (std::vector<std::string>{"parse error on line 2:\nunicode characters are not "
                                      "supported\n"}));

  s = Show("");
  EXPECT_EQ(s.code, -1);
  EXPECT_EQ(s.diagnostics, (std::vector<std::string>{"couldn't create parser"}));
}

TEST(SettingsDocumentTest, ResetClearsTheFlagsOfAnEarlierDocument) {
  EthernetSettingsReader left([](const std::string&, const std::string&) {});
  left.dhcpOn = true;
  left.inSerialOrBoot = true;
  left.inSystem = true;
  EXPECT_EQ(Show("<r><ip>1</ip></r>", &left).rows, Rows{});
  left.Reset();
  EXPECT_FALSE(left.dhcpOn || left.inSerialOrBoot || left.inSystem);
  left.inSerialOrBoot = true;
  EXPECT_EQ(Show("<r><ip>1</ip></r>", &left).rows, (Rows{{"IP-address:", "1"}}));
}

class WholeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (std::filesystem::temp_directory_path() / "qelta-file-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    dir = templ;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string dir;
};

TEST_F(WholeFileTest, ReadsAFileWholeAndNamesEachFailure) {
  const std::string path = dir + "/doc.cfg";
  const std::string content("<a>\0b</a>", 9);
  std::ofstream(path, std::ios::binary) << content;
  std::vector<char> buffer;
  EXPECT_EQ(ReadWholeFile(path, buffer), kFileReadOk);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), content);

  std::ofstream(dir + "/empty.cfg").close();
  EXPECT_EQ(ReadWholeFile(dir + "/empty.cfg", buffer), kFileCannotRead);
  EXPECT_STREQ(FileErrorText(ReadWholeFile(dir + "/missing.cfg", buffer)), "couldn't open file");
  EXPECT_TRUE(buffer.empty());
  // A folder opens but cannot be read.
  EXPECT_EQ(ReadWholeFile(dir, buffer), kFileCannotRead);
}

}  // namespace
}  // namespace qelta::network
