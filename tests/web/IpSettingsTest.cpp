// "IP address settings" through the web forms and "IP recovery" by the discovery protocol's
// configuration requests, with the IP settings dialog as the user fills it.
#include <thread>

#include "WebTestSupport.h"
#include "network/IpSettings.h"

namespace qelta::network {
namespace {

using test::GroupListener;
using Answer = ScriptedUi::DialogAnswer;

const std::string kLogin =
    "POST Forms/login_1 cache=&protocol=http&username=root&password=kqzv&btLogin=Login";

class IpSettingsTest : public test::WebBench {};

TEST_F(IpSettingsTest, FixedSettingsArePostedWithTheTrimmedHostNameThenTheModuleReboots) {
  ASSERT_NO_FATAL_FAILURE(Start({{}}));
  Select({0});
  ui.QueueDialogAnswer(
      "CIPSettingsDlg",
      Answer{{{"dhcp", "1"}, {"fixed", "0"}, {"ip", "127.0.0.9"}, {"hostName", "  yard & dock  "}},
             {},
             true});
  ui.QueueMessageAnswer(MessageAnswer::Ok);
  ASSERT_TRUE(form->RunCommand(ids::kCmdIpSettings));

  // Filled from the record: its address, mask and gateway; fixed because it is not on DHCP.
  ASSERT_EQ(ui.Dialogs().size(), 1u);
  const DialogModel& shown = ui.Dialogs()[0].finalState;
  EXPECT_EQ(shown.Value(kIpMaskField), "255.0.0.0");
  EXPECT_EQ(shown.Value(kIpGatewayField), "127.0.0.1");
  // Typing the address chose fixed settings although DHCP had been clicked.
  EXPECT_EQ(shown.Value(kIpFixedRadio), "1");

  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].caption, "Verify IP settings");
  EXPECT_EQ(ui.Messages()[0].text,
            "You have chosen fixed IP settings for this base station.\n\nIP address: 127.0.0.9\n"
            "Subnet mask: 255.0.0.0\nDefault gateway: 127.0.0.1\n\nHost name: yard & dock\n\n"
            "Are the settings correct?");

  EXPECT_EQ(Trace(0),
            (std::vector<std::string>{
                "GET login.htm ", kLogin,
                "POST Forms/network_config_1 "
                "rbDHCP=off&ip_addr=127.0.0.9&submask=255.0.0.0&gw_addr=127.0.0.1&"
                "Submit=Apply",
                "POST Forms/network_advanced_config_1 host_name=yard+%26+dock&Submit=Apply",
                "POST Forms/reboot_1 Submit=Reboot"}));
  EXPECT_EQ(web[0]->Settings().hostName, "yard & dock");
  EXPECT_EQ(web[0]->Settings().ip, "127.0.0.9");
  EXPECT_EQ(web[0]->Reboots(), 1);

  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 5u) << RowsText();
  EXPECT_EQ(rows[1].text[0] + "|" + rows[1].text[1], "Login file|HTTP: 200");
  EXPECT_EQ(rows[2].text[0] + "|" + rows[2].text[1], "IP address setup|OK (200)");
  EXPECT_EQ(rows[3].text[0] + "|" + rows[3].text[1], "Set host name|OK (200)");
  EXPECT_EQ(rows[4].text[0] + "|" + rows[4].text[1], "Restarting base station.|OK");
  // The table is emptied for rediscovery; the rows stay.
  EXPECT_EQ(TableCount(), 0u);
  EXPECT_FALSE(form->listShowsBaseStations);
  EXPECT_NE(File("digi_ipsettings.html").find("Settings applied."), std::string::npos);
}

TEST_F(IpSettingsTest, DhcpWithoutGatewayInTheRecordOffersOwnAddressAndNoHostName) {
  ASSERT_NO_FATAL_FAILURE(Start({{}}));
  Station(0)->gatewayValid = 0;
  Station(0)->maskValid = 0;
  Station(0)->dhcp = 1;
  Select({0});
  ui.QueueDialogAnswer("CIPSettingsDlg", Answer{});
  ui.QueueMessageAnswer(MessageAnswer::Ok);
  form->RunCommand(ids::kCmdIpSettings);

  const DialogModel& shown = ui.Dialogs()[0].finalState;
  EXPECT_EQ(shown.Value(kIpDhcpRadio), "1");
  EXPECT_EQ(shown.Value(kIpGatewayField), "127.0.0.2");
  EXPECT_EQ(shown.Value(kIpMaskField), "255.255.255.0");
  EXPECT_EQ(ui.Messages()[0].text,
            "You have chosen DHCP as the IP configuration for this base station.\n\nIs this "
            "correct?");
  EXPECT_EQ(Trace(0),
            (std::vector<std::string>{"GET login.htm ", kLogin,
                                      "POST Forms/network_config_1 rbDHCP=on&Submit=Apply",
                                      "POST Forms/reboot_1 Submit=Reboot"}));
  EXPECT_NE(RowsText().find("DHCP setup | OK (200)"), std::string::npos) << RowsText();
}

TEST_F(IpSettingsTest, GatewayZeroKeepsTheDialogOpenAndNoCancelSendsNothing) {
  ASSERT_NO_FATAL_FAILURE(Start({{}}));
  Select({0});
  ui.QueueDialogAnswer("CIPSettingsDlg", Answer{{{"gateway", "0.0.0.0"}}, {}, true});
  ui.QueueDialogAnswer("CIPSettingsDlg", Answer{{{"gateway", "127.0.0.1"}}, {}, true});
  ui.QueueMessageAnswer(MessageAnswer::Cancel);  // "Verify IP settings" answered No
  form->RunCommand(ids::kCmdIpSettings);

  ASSERT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(ui.Messages()[0].text,
            "Following errors occured:\n\nGateway value (0.0.0.0) is not acceptable.");
  EXPECT_EQ(ui.Messages()[0].caption, "Errors");
  EXPECT_EQ(ui.Messages()[0].icon, MessageIcon::Error);
  EXPECT_TRUE(ui.Dialogs()[0].accepted);
  EXPECT_TRUE(web[0]->Requests().empty());
  EXPECT_EQ(TableCount(), 1u);
}

TEST_F(IpSettingsTest, FailuresStopWithTheirRowsAndSilentStationsAreReported) {
  ASSERT_NO_FATAL_FAILURE(Start({{.web = false}, {.forcedStatus = 503}, {}}));
  host.SetSilent(2, true);
  // The 503 station last: its run empties the table.
  for (int row : {2, 0, 1}) {
    Select({row});
    ui.QueueDialogAnswer("CIPSettingsDlg", Answer{});
    ui.QueueMessageAnswer(MessageAnswer::Ok);
    form->RunCommand(ids::kCmdIpSettings);
  }
  const std::string rows = RowsText();
  // Refused: the login fails and nothing else is tried.
  EXPECT_NE(rows.find("Login file | HTTP: 0 |  | 1\nLogin failure |  |  | 0\n"), std::string::npos)
      << rows;
  // 503: the transfers work, so the forms go on and the module is told to reboot.
  EXPECT_EQ(Trace(1).size(), 4u);
  EXPECT_NE(rows.find("IP address setup | OK (503)"), std::string::npos) << rows;
  EXPECT_NE(rows.find("(IP setting)"), std::string::npos) << rows;
  EXPECT_TRUE(web[2]->Requests().empty());
}

class IpRecoveryTest : public test::WebBench {};

TEST_F(IpRecoveryTest, StaticSettingsAndRebootGoOutByteForByte) {
  ASSERT_NO_FATAL_FAILURE(Start({{}}));
  Station(0)->gatewayValid = 0;
  Select({0});
  GroupListener group;
  ASSERT_TRUE(group.Ok());
  ui.QueueDialogAnswer("CIPSettingsDlg",
                       Answer{{{"ip", "10.1.2.3"}, {"gateway", "10.1.2.254"}}, {}, true});
  ASSERT_TRUE(form->RunCommand(ids::kCmdIpRecovery));

  const DialogModel& shown = ui.Dialogs()[0].finalState;
  EXPECT_FALSE(shown.Find(kIpHostNameField)->enabled);
  const auto datagrams = group.Collect(300);
  ASSERT_EQ(datagrams.size(), 2u);
  const std::vector<uint8_t> settings = {
      'D', 'I', 'G', 'I', 0x00, 0x03, 0x00, 0x17, 10,   1,    2,    3,   255, 0,   0,  0,
      10,  1,   2,   254, 0x00, 0x40, 0x9D, 0x00, 0x00, 0x00, 0x04, 'k', 'q', 'z', 'v'};
  EXPECT_EQ(datagrams[0], settings);
  const std::vector<uint8_t> reboot = {'D',  'I',  'G',  'I',  0x00, 0x05, 0x00, 0x0B, 0x00, 0x40,
                                       0x9D, 0x00, 0x00, 0x00, 0x04, 'k',  'q',  'z',  'v'};
  EXPECT_EQ(datagrams[1], reboot);
  // The module took the address (it is now at 10.1.2.3).
  EXPECT_TRUE(test::WaitFor([&] { return host.Identity(0).address == 0x0A010203u; }, 2000));

  ASSERT_EQ(Rows().size(), 1u) << RowsText();
  EXPECT_EQ(Rows()[0].text[0] + "|" + Rows()[0].text[1], "Reboot sent|MAC: 00-40-9D-00-00-00");
  EXPECT_EQ(TableCount(), 0u);
  EXPECT_TRUE(form->listShowsBaseStations);
  EXPECT_TRUE(web[0]->Requests().empty());
}

TEST_F(IpRecoveryTest, DhcpRequestAndARecordWithoutMaskOrGateway) {
  ASSERT_NO_FATAL_FAILURE(Start({{}}));
  Station(0)->gatewayValid = 0;
  Station(0)->maskValid = 0;
  Select({0});
  GroupListener group;
  ui.QueueDialogAnswer("CIPSettingsDlg", Answer{{{"fixed", "0"}, {"dhcp", "1"}}, {}, true});
  form->RunCommand(ids::kCmdIpRecovery);

  const DialogModel& shown = ui.Dialogs()[0].finalState;
  EXPECT_EQ(shown.Value(kIpMaskField), "0.0.0.0");
  EXPECT_EQ(shown.Value(kIpGatewayField), "0.0.0.0");
  EXPECT_EQ(shown.Value(kIpAddressField), "127.0.0.2");
  const auto datagrams = group.Collect(300);
  ASSERT_EQ(datagrams.size(), 2u);
  const std::vector<uint8_t> dhcp = {'D',  'I',  'G',  'I',  0x00, 0x07, 0x00, 0x0C, 0x01, 0x00,
                                     0x40, 0x9D, 0x00, 0x00, 0x00, 0x04, 'k',  'q',  'z',  'v'};
  EXPECT_EQ(datagrams[0], dhcp);
}

TEST_F(IpRecoveryTest, CancelOrABusyTableSendsNothing) {
  ASSERT_NO_FATAL_FAILURE(Start({{}}));
  Select({0});
  GroupListener group;
  ui.QueueDialogAnswer("CIPSettingsDlg", Answer{{}, {}, false});
  form->RunCommand(ids::kCmdIpRecovery);
  EXPECT_EQ(Rows().size(), 1u);

  // Another thread holds the table's lock for longer than the operation waits.
  std::atomic<bool> held{false}, release{false};
  std::thread holder([&] {
    NamedMutexGuard hold(form->directory().ListLock(), 1000);
    held = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  ASSERT_TRUE(test::WaitFor([&] { return held.load(); }, 2000));
  form->RunCommand(ids::kCmdIpRecovery);
  release = true;
  holder.join();
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].text, "Internal error: cannot access base station list.");
  EXPECT_EQ(ui.Messages()[0].caption, "Error");
  EXPECT_EQ(ui.Dialogs().size(), 1u);
  EXPECT_TRUE(group.Collect(200).empty());
}

}  // namespace
}  // namespace qelta::network
