// "Set default Ethernet settings" and "Upload default Ethernet settings" against simulated modules:
// the exact requests and bodies, the cookie, the user agent, the rows, the answer files, and the
// failures (wrong password, 5xx answers, refused and silent web interfaces, silent stations).
#include <chrono>

#include "WebTestSupport.h"
#include "app/WebOperations.h"

namespace qelta::network {
namespace {

using test::StationSpec;

const std::vector<std::string> kDefaultPosts = {
    "POST Forms/gpio_config_1 "
    "selGpioPin%3F1=00000002&selGpioOutput%3F1=0&selGpioPin%3F2=00000003&selGpioPin%3F3=00000002&"
    "selGpioOutput%3F3=0&selGpioPin%3F4=00000003&selGpioPin%3F5=00000002&selGpioOutput%3F5=0&"
    "Submit=Apply",
    "POST Forms/port_config_1?1 "
    "description=Default+serial&baud_rate=19200&data_size=8&parity=0&stop_bits=1&flow_control="
    "None&Submit=Apply",
    "POST Forms/port_config_select_profile_1?1 submit_type=0&port_profile=9&Submit=Apply",
    "POST Forms/port_advanced_config_1?1 "
    "tcp_forward_state=on&tcp_forward_on_idle=on&tcp_forward_idle_timeout=5&tcp_forward_bytes=300&"
    "tcp_idle_timeout_state=on&tcp_idle_timeout=60&Submit=Apply",
    "POST Forms/system_config_1 device_name=&contact=&location=&Submit=Apply",
    "POST Forms/network_config_1 rbDHCP=on&Submit=Apply",
};

std::vector<std::string> Conversation(const std::string& loginBody) {
  std::vector<std::string> all = {"GET login.htm ", "POST Forms/login_1 " + loginBody};
  all.insert(all.end(), kDefaultPosts.begin(), kDefaultPosts.end());
  return all;
}

class DefaultSettingsTest : public test::WebBench {};

TEST_F(DefaultSettingsTest, OneStationGetsEveryFormWithTheLoginCookieAndKeepsTheAnswers) {
  ASSERT_NO_FATAL_FAILURE(Start({{}}));
  Select({0});
  ASSERT_TRUE(form->RunCommand(ids::kCmdSetDefaultEthernet));

  EXPECT_EQ(Trace(0),
            Conversation("cache=&protocol=http&username=root&password=kqzv&btLogin=Login"));
  const auto requests = web[0]->Requests();
  ASSERT_EQ(requests.size(), 8u);
  EXPECT_EQ(requests[0].userAgent, "");
  // The user agent goes with the login and everything after it; the cookie with every form.
  for (size_t i = 1; i < requests.size(); ++i) {
    EXPECT_EQ(requests[i].userAgent, "Tervana Qelta Configurator") << i;
    if (i >= 2) {
      EXPECT_TRUE(requests[i].sessionCookie) << i;
      EXPECT_EQ(requests[i].status, 200) << i;
    }
  }
  // The module took the settings.
  const sim::WebModuleSettings s = web[0]->Settings();
  EXPECT_TRUE(s.dhcp);
  EXPECT_EQ(s.portProfile, 9);
  EXPECT_EQ(s.baud, "19200");

  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 3u) << RowsText();
  EXPECT_EQ(rows[1].text[0], "Operating on..........");
  EXPECT_EQ(rows[1].text[1], "127.0.0.2");
  EXPECT_EQ(rows[1].image, ids::kImageInfo);
  EXPECT_EQ(rows[2].text[0], "Done");
  EXPECT_EQ(rows[2].text[1], "127.0.0.2");
  EXPECT_EQ(rows[2].text[2], "No errors");
  EXPECT_EQ(rows[2].image, ids::kImageSuccess);

  // GPIO's answer alone in its file; the login page and the other answers in the other.
  EXPECT_NE(File("gpio_setup.html").find("Settings applied."), std::string::npos);
  EXPECT_EQ(File("gpio_setup.html").find("<form"), std::string::npos);
  const std::string setup = File("default_setup.html");
  EXPECT_NE(setup.find("<form action=\"/Forms/login_1\""), std::string::npos);
  EXPECT_NE(setup.find("Logged in."), std::string::npos);
  EXPECT_EQ(CfgFiles(), 0u);
  // No logout, no reboot.
  EXPECT_EQ(web[0]->Reboots(), 0);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(DefaultSettingsTest, WrongPasswordStillPostsEveryFormAndCountsNoError) {
  ASSERT_NO_FATAL_FAILURE(Start({{.password = "other"}}));
  Select({0});
  form->RunCommand(ids::kCmdSetDefaultEthernet);

  EXPECT_EQ(Trace(0),
            Conversation("cache=&protocol=http&username=root&password=kqzv&btLogin=Login"));
  for (const auto& r : web[0]->Requests()) {
    EXPECT_FALSE(r.sessionCookie);
    if (r.target.rfind("Forms/", 0) == 0 && r.target != "Forms/login_1") {
      EXPECT_EQ(r.status, 403);
    }
  }
  // Status codes are not judged here: the transfers worked.
  EXPECT_EQ(Rows().back().text[0], "Done");
  EXPECT_EQ(Rows().back().text[2], "No errors");
  EXPECT_EQ(Rows().back().image, ids::kImageSuccess);
  EXPECT_FALSE(web[0]->Settings().dhcp);
}

TEST_F(DefaultSettingsTest, UploadWalksTheSelectionWithAFreshLoginPageForEachStation) {
  // A password with reserved characters, a station switched off, a station that answers 500.
  ASSERT_NO_FATAL_FAILURE(Start({{}, {}, {.forcedStatus = 500}}));
  form->ethPassword = "a&b=c d";
  host.SetSilent(1, true);
  Select({0, 1, 2});
  ASSERT_TRUE(form->RunCommand(ids::kCmdUploadDefaultEthernet));

  const std::string login = "cache=&protocol=http&username=root&password=a%26b%3Dc+d&btLogin=Login";
  EXPECT_EQ(Trace(0), Conversation(login));
  EXPECT_TRUE(web[1]->Requests().empty());
  // The second station begins with a GET of the login page, never a repeat of the last body.
  EXPECT_EQ(Trace(2), Conversation(login));
  for (const auto& r : web[2]->Requests()) EXPECT_EQ(r.status, 500);

  const std::string rows = RowsText();
  EXPECT_EQ(Rows()[3].text[0], "Uploading to 3 base stations.") << rows;
  EXPECT_EQ(Rows()[3].image, ids::kImageInfo);
  EXPECT_NE(rows.find("Done | 127.0.0.2 | No errors | 1"), std::string::npos) << rows;
  EXPECT_NE(rows.find("Done | 127.0.0.4 | No errors | 1"), std::string::npos) << rows;
  EXPECT_NE(rows.find("(eth defaults)"), std::string::npos) << rows;
  EXPECT_EQ(CfgFiles(), 0u);
}

TEST_F(DefaultSettingsTest, RefusedAndSilentInterfacesEndInMessagesAndTheRunGoesOn) {
  ASSERT_NO_FATAL_FAILURE(Start({{.web = false}, {.webSilent = true}, {}}));
  Select({0, 1, 2});
  const auto start = std::chrono::steady_clock::now();
  form->RunCommand(ids::kCmdUploadDefaultEthernet);
  const auto took = std::chrono::steady_clock::now() - start;

  ASSERT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(ui.Messages()[0].caption, "HTTP error");
  EXPECT_EQ(ui.Messages()[0].icon, MessageIcon::Error);
  EXPECT_EQ(ui.Messages()[0].text, "Error 7: Couldn't connect to server.\nHTTP: 0.");
  EXPECT_EQ(ui.Messages()[1].caption, "HTTP error");
  EXPECT_EQ(ui.Messages()[1].text.rfind("Error 28: ", 0), 0u) << ui.Messages()[1].text;
  // The silent interface ends within the transfer limit (4 s here), not never.
  EXPECT_LT(took, std::chrono::seconds(20));
  EXPECT_EQ(Trace(2).size(), 8u);
  EXPECT_EQ(Rows().back().text[0], "Done");
}

}  // namespace
}  // namespace qelta::network
