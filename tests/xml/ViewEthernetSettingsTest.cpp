// "View Ethernet settings" against simulated modules: the record's rows, the backup's rows after
// the login, the logout, the files it leaves, and the failures that stop it.
#include <algorithm>

#include "StationBench.h"

namespace qelta::network {
namespace {
namespace fs = std::filesystem;

class ViewEthernetSettingsTest : public bench::StationBench {
 protected:
  bool DownloadLeft() const {
    for (const auto& e : fs::directory_iterator(form->programDir))
      if (e.path().extension() == ".cfg") return true;
    return false;
  }
  std::vector<std::string> RecordRows() const {
    return {"Settings @ 127.0.0.2||3", "Host name|BS-1|3", "MAC address|00-40-9D-00-00-00|3",
            "Subnet mask|255.0.0.0|3", "Gateway|127.0.0.1|3"};
  }
};

TEST_F(ViewEthernetSettingsTest, ShowsTheRecordThenTheBackupAndLogsOut) {
  bench::StationSpec setup;
  setup.settings.description = "Dock four, the long hall by the north gate";
  setup.settings.location = "Hall <3> & yard";
  setup.settings.baud = "9600";
  setup.settings.ip = "127.0.0.2";
  setup.settings.gateway = "127.0.0.1";
  setup.settings.hostName = "bs-one";
  Start({setup});
  Select({0});
  ASSERT_TRUE(form->RunCommand(ids::kCmdViewEthernetSettings));

  std::vector<std::string> expected = RecordRows();
  expected.insert(expected.end(),
                  {"Description:|Dock four, the long hall by ...|3", "Location:|Hall <3> & yard|3",
                   "Serial baud rate:|9600|3", "Data bits:|8|3", "Stop bits:|1|3", "Parity:|none|3",
                   "Flow control:|none|3", "IP-address:|127.0.0.2|3",
                   "Sub-net mask:|255.255.255.0|3", "Default gateway|127.0.0.1|3"});
  auto rows = Rows(BaseRows());
  ASSERT_EQ(rows.size(), expected.size() + 1) << ::testing::PrintToString(rows);
  EXPECT_EQ(std::vector<std::string>(rows.begin(), rows.end() - 1), expected);
  EXPECT_EQ(rows.back().substr(0, 8), "Log out|");
  EXPECT_EQ(rows.back().back(), '1');
  EXPECT_EQ(form->outputList().Row(BaseRows() + 3).text[2], "FF.00.00.00");

  EXPECT_EQ(Trace(0), (std::vector<std::string>{"GET login.htm", "POST Forms/login_1",
                                                "GET FS/CFG/backup.cfg", "GET admin/logout.htm"}));
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_FALSE(DownloadLeft());
  EXPECT_TRUE(fs::exists(form->programDir + "dummy.html"));
}

TEST_F(ViewEthernetSettingsTest, DhcpOnHidesTheModulesAddresses) {
  bench::StationSpec setup;
  setup.settings.dhcp = true;
  setup.settings.ip = "127.0.0.2";
  Start({setup});
  Select({0});
  ASSERT_TRUE(form->RunCommand(ids::kCmdViewEthernetSettings));
  const auto rows = Rows(BaseRows());
  EXPECT_NE(std::find(rows.begin(), rows.end(), "Use DHCP:|on|3"), rows.end());
  for (const auto& r : rows) {
    EXPECT_NE(r.substr(0, 11), "IP-address:");
    EXPECT_NE(r.substr(0, 13), "Sub-net mask:");
  }
}

TEST_F(ViewEthernetSettingsTest, WithoutASelectedStationOnlyTheMessageIsShown) {
  Start({{}});
  Select({});
  ASSERT_TRUE(form->RunCommand(ids::kCmdViewEthernetSettings));
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].text, "No valid base station selected!");
  EXPECT_EQ(ui.Messages()[0].caption, "No base station");
  EXPECT_TRUE(Rows(BaseRows()).empty());
  EXPECT_TRUE(web[0]->Requests().empty());
}

TEST_F(ViewEthernetSettingsTest, ARefusedWebInterfaceEndsAfterTheRecordRowsWithoutLogout) {
  bench::StationSpec setup;
  setup.web = false;
  Start({setup});
  Select({0});
  ASSERT_TRUE(form->RunCommand(ids::kCmdViewEthernetSettings));
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].caption, "HTTP error");
  EXPECT_EQ(ui.Messages()[0].text.rfind("Ethernet home error 7: \"", 0), 0u)
      << ui.Messages()[0].text;
  EXPECT_NE(ui.Messages()[0].text.find("\".\nHTTP: 0."), std::string::npos);
  EXPECT_EQ(Rows(BaseRows()), RecordRows());
  EXPECT_FALSE(DownloadLeft());
}

TEST_F(ViewEthernetSettingsTest, ASilentStationIsNotAskedForItsSettings) {
  bench::StationSpec setup;
  setup.moduleSilent = true;
  Start({setup});
  Select({0});
  ASSERT_TRUE(form->RunCommand(ids::kCmdViewEthernetSettings));
  EXPECT_TRUE(web[0]->Requests().empty());
  for (const auto& r : Rows(BaseRows())) EXPECT_EQ(r.find("Settings @"), std::string::npos) << r;
}

}  // namespace
}  // namespace qelta::network
