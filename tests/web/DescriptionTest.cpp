// "Set description": the system form with the encoded texts, the host name, the renamed row, the
// logout with its scratch file, and what a refused login or an HTTP error changes.
#include "WebTestSupport.h"
#include "app/StationRuns.h"
#include "network/DescriptionSettings.h"

namespace qelta::network {
namespace {

using Answer = ScriptedUi::DialogAnswer;

const std::string kLogin =
    "POST Forms/login_1 cache=&protocol=http&username=root&password=kqzv&btLogin=Login";

class DescriptionTest : public test::WebBench {};

TEST_F(DescriptionTest, TextsArePostedEncodedTheHostNameUntrimmedAndTheStationRenamed) {
  ASSERT_NO_FATAL_FAILURE(Start({{}, {}}));
  Select({1});
  ui.QueueDialogAnswer("CDescLocDlg", Answer{{{"description", "Hall 3 north"},
                                              {"location", "Dock & yard=2"},
                                              {"hostName", " gate "}},
                                             {},
                                             true});
  ASSERT_TRUE(form->RunCommand(ids::kCmdSetDescription));

  EXPECT_EQ(Trace(1),
            (std::vector<std::string>{
                "GET login.htm ", kLogin,
                "POST Forms/system_config_1 "
                "device_name=Hall+3+north&contact=&location=Dock+%26+yard%3D2&Submit=Apply",
                "POST Forms/network_advanced_config_1 host_name=+gate+&Submit=Apply",
                "GET admin/logout.htm "}));
  const auto requests = web[1]->Requests();
  EXPECT_EQ(requests[0].userAgent, "Tervana Qelta Configurator");
  EXPECT_TRUE(requests[4].sessionCookie);
  EXPECT_EQ(web[1]->Settings().description, "Hall 3 north");
  EXPECT_EQ(web[1]->Settings().location, "Dock & yard=2");
  EXPECT_TRUE(web[0]->Requests().empty());

  EXPECT_STREQ(Station(1)->name, " gate ");
  EXPECT_EQ(Rows()[1].text[0], " gate ");
  EXPECT_EQ(Rows()[0].text[0], "BS-1");
  const std::string rows = RowsText();
  EXPECT_NE(rows.find("Login file | HTTP: 200 |  | 1\n"
                      "Set description and location | OK (200) |  | 1\n"
                      "Set host name | OK (200) |  | 1\n"
                      "Log out | OK (200) |  | 1\n"),
            std::string::npos)
      << rows;
  EXPECT_EQ(File("ethlogout.tmp"), "<missing>");
  EXPECT_NE(File("bs_description.html").find("Settings applied."), std::string::npos);
}

TEST_F(DescriptionTest, BackupShowsTheNewTextsOnlyToALoggedInSession) {
  ASSERT_NO_FATAL_FAILURE(Start({{}}));
  Select({0});
  ui.QueueDialogAnswer("CDescLocDlg", Answer{{{"description", "Hall <3>"}}, {}, true});
  form->RunCommand(ids::kCmdSetDescription);

  const BaseStationRecord& station = *Station(0);
  const std::string path = root + "/backup.xml";
  auto download = [&](WebSession& session) {
    FILE* file = std::fopen(path.c_str(), "w+");
    const WebResult r = Download(session, station, kBackupPath, file);
    std::fclose(file);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return std::make_pair(r.status, text.str());
  };
  WebSession session;
  EXPECT_EQ(download(session).first, 403);
  ASSERT_TRUE(PostLogin(session, station, LoginBody("root", "kqzv"), nullptr).Ok());
  const auto [status, document] = download(session);
  EXPECT_EQ(status, 200);
  EXPECT_NE(document.find("<description>Hall &lt;3&gt;</description>"), std::string::npos)
      << document;
  EXPECT_NE(document.find("<baud>19200</baud>"), std::string::npos);
  // The operation logged its own session out; this one ends with its logout too.
  FormSink rows(*form);
  LogoutFromModule(rows, &session, Station(0), form->programDir);
  EXPECT_EQ(download(session).first, 403);
}

TEST_F(DescriptionTest, LongTextsAreCutAndAnEmptyHostNameIsNotSent) {
  ASSERT_NO_FATAL_FAILURE(Start({{}}));
  Select({0});
  const std::string longText(80, 'd');
  ui.QueueDialogAnswer("CDescLocDlg",
                       Answer{{{"description", longText}, {"location", "x"}}, {}, true});
  form->RunCommand(ids::kCmdSetDescription);
  EXPECT_EQ(Trace(0), (std::vector<std::string>{
                          "GET login.htm ", kLogin,
                          "POST Forms/system_config_1 device_name=" + std::string(64, 'd') +
                              "&contact=&location=x&Submit=Apply",
                          "GET admin/logout.htm "}));
  EXPECT_STREQ(Station(0)->name, "BS-1");
}

TEST_F(DescriptionTest, WrongPasswordKeepsTheNameAndStillLogsOut) {
  ASSERT_NO_FATAL_FAILURE(Start({{.password = "secret"}}));
  Select({0});
  ui.QueueDialogAnswer("CDescLocDlg", Answer{{{"description", "a"}, {"hostName", "h"}}, {}, true});
  form->RunCommand(ids::kCmdSetDescription);
  const std::string rows = RowsText();
  EXPECT_NE(rows.find("Set description and location | OK (403)"), std::string::npos) << rows;
  EXPECT_NE(rows.find("Set host name | OK (403)"), std::string::npos) << rows;
  EXPECT_NE(rows.find("Log out | OK (200)"), std::string::npos) << rows;
  EXPECT_STREQ(Station(0)->name, "BS-1");
  EXPECT_EQ(Rows()[0].text[0], "BS-1");
}

TEST_F(DescriptionTest, RefusedLoginPageStopsAtOnceAndCancelSendsNothing) {
  ASSERT_NO_FATAL_FAILURE(Start({{.web = false}, {}}));
  Select({1});
  ui.QueueDialogAnswer("CDescLocDlg", Answer{{}, {}, false});
  form->RunCommand(ids::kCmdSetDescription);
  EXPECT_TRUE(web[1]->Requests().empty());
  EXPECT_EQ(Rows().size(), 2u);

  Select({0});
  ui.QueueDialogAnswer("CDescLocDlg", Answer{{{"description", "a"}}, {}, true});
  form->RunCommand(ids::kCmdSetDescription);
  ASSERT_EQ(Rows().size(), 4u) << RowsText();
  EXPECT_EQ(Rows()[2].text[0] + "|" + Rows()[2].text[1], "Login file|HTTP: 0");
  EXPECT_EQ(Rows()[3].text[0], "Login failure");
  EXPECT_EQ(Rows()[3].image, ids::kImageFailure);
}

}  // namespace
}  // namespace qelta::network
