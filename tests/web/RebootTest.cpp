// "Reboot Ethernet module(s)": the discovery protocol's reboot request when the MAC is known, the
// reboot form otherwise, the emptied table and list, the answer and header files, and failures.
#include <thread>

#include "WebTestSupport.h"
#include "app/WebOperations.h"

namespace qelta::network {
namespace {

using test::GroupListener;

const std::vector<uint8_t> kRebootOfFirstSample = {'D',  'I',  'G',  'I',  0x00, 0x05, 0x00,
                                                   0x0B, 0x00, 0x40, 0x9D, 0x00, 0x00, 0x00,
                                                   0x04, 'k',  'q',  'z',  'v'};

class RebootTest : public test::WebBench {};

TEST_F(RebootTest, KnownMacRebootsByDatagramAndEmptiesTableAndList) {
  ASSERT_NO_FATAL_FAILURE(Start({{}}));
  GroupListener group;
  ASSERT_TRUE(group.Ok());
  Select({0});
  ui.QueueMessageAnswer(MessageAnswer::Ok);
  ASSERT_TRUE(form->RunCommand(ids::kCmdRebootModule));
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(
      ui.Messages()[0].text,
      "Rediscovering base station after reboot may take a couple of minutes.\nOK to proceed?");
  EXPECT_EQ(ui.Messages()[0].caption, "Verify");
  EXPECT_EQ(ui.Messages()[0].icon, MessageIcon::Question);

  const auto datagrams = group.Collect(300);
  ASSERT_EQ(datagrams.size(), 1u);
  EXPECT_EQ(datagrams[0], kRebootOfFirstSample);
  EXPECT_TRUE(test::WaitFor([&] { return host.Stats(0).restarts == 1; }, 2000));
  EXPECT_TRUE(web[0]->Requests().empty());  // the pages are not used on this path

  ASSERT_EQ(Rows().size(), 1u) << RowsText();
  EXPECT_EQ(Rows()[0].text[0], "Reboot sent");
  EXPECT_EQ(Rows()[0].text[1], "MAC: 00-40-9D-00-00-00");
  EXPECT_EQ(Rows()[0].image, ids::kImageStep);
  EXPECT_EQ(TableCount(), 0u);
  EXPECT_TRUE(form->listShowsBaseStations);  // left as it was
}

TEST_F(RebootTest, CancelOrASilentStationSendsNothing) {
  ASSERT_NO_FATAL_FAILURE(Start({{}, {.hasMac = false}}));
  GroupListener group;
  for (int row : {0, 1}) {
    Select({row});
    ui.QueueMessageAnswer(MessageAnswer::Cancel);
    form->RunCommand(ids::kCmdRebootModule);
  }
  host.SetSilent(1, true);
  ui.QueueMessageAnswer(MessageAnswer::Ok);
  form->RunCommand(ids::kCmdRebootModule);
  EXPECT_TRUE(group.Collect(200).empty());
  EXPECT_TRUE(web[1]->Requests().empty());
  EXPECT_EQ(TableCount(), 2u);
  EXPECT_NE(RowsText().find("(eth reboot)"), std::string::npos) << RowsText();
}

TEST_F(RebootTest, WithoutMacTheRebootFormIsPostedAndTheModuleComesBack) {
  ASSERT_NO_FATAL_FAILURE(Start({{.hasMac = false}}));
  GroupListener group;
  Select({0});
  ui.QueueMessageAnswer(MessageAnswer::Ok);
  form->RunCommand(ids::kCmdRebootModule);

  EXPECT_EQ(Trace(0), (std::vector<std::string>{
                          "GET login.htm ",
                          "POST Forms/login_1 "
                          "cache=&protocol=http&username=root&password=kqzv&btLogin=Login",
                          "POST Forms/reboot_1 Submit=Reboot"}));
  EXPECT_TRUE(web[0]->Requests()[2].sessionCookie);
  EXPECT_TRUE(group.Collect(200).empty());
  EXPECT_EQ(web[0]->Reboots(), 1);

  // Everything cleared: rows, table, and the list no longer holds the table.
  EXPECT_TRUE(Rows().empty()) << RowsText();
  EXPECT_EQ(TableCount(), 0u);
  EXPECT_FALSE(form->listShowsBaseStations);
  EXPECT_EQ(form->selectedBaseStation, nullptr);

  // The answers, and the headers of the login and reboot answers only.
  EXPECT_NE(File("reboot.html").find("Rebooting."), std::string::npos);
  const std::string headers = File("reboot_headers.txt");
  EXPECT_NE(headers.find("Set-Cookie: DigiSession="), std::string::npos) << headers;
  size_t statusLines = 0;
  for (size_t at = headers.find("HTTP/1.1 200"); at != std::string::npos;
       at = headers.find("HTTP/1.1 200", at + 1))
    ++statusLines;
  EXPECT_EQ(statusLines, 2u) << headers;

  // The module fell silent and answers again.
  EXPECT_TRUE(test::WaitFor([&] { return host.Stats(0).restarts == 1; }, 2000));
  EXPECT_TRUE(test::WaitFor([&] { return !web[0]->Restarting(); }, 5000));
  WebSession session;
  BaseStationRecord r;
  std::strcpy(r.addressText, "127.0.0.2");
  EXPECT_EQ(GetLoginPage(session, r, nullptr).status, 200);
}

TEST_F(RebootTest, SilentWebInterfaceEndsInOneFailureRowWithinTheLimit) {
  ASSERT_NO_FATAL_FAILURE(Start({{.hasMac = false, .webSilent = true}}));
  Select({0});
  ui.QueueMessageAnswer(MessageAnswer::Ok);
  const auto start = std::chrono::steady_clock::now();
  form->RunCommand(ids::kCmdRebootModule);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  ASSERT_EQ(Rows().size(), 1u) << RowsText();
  EXPECT_EQ(Rows()[0].text[0], "Could not log in to the Ethernet module.");
  EXPECT_EQ(Rows()[0].image, ids::kImageFailure);
  EXPECT_EQ(TableCount(), 1u);  // nothing rebooted: the table stays
}

TEST_F(RebootTest, RebootModulesTakesEachStationItsOwnWayWithoutAsking) {
  ASSERT_NO_FATAL_FAILURE(Start({{}, {.hasMac = false}, {}}));
  GroupListener group;
  Select({0, 1, 2});
  ASSERT_TRUE(form->RunCommand(ids::kCmdRebootModules));

  EXPECT_TRUE(ui.Messages().empty());
  const auto datagrams = group.Collect(300);
  ASSERT_EQ(datagrams.size(), 2u);
  EXPECT_EQ(datagrams[0], kRebootOfFirstSample);
  EXPECT_EQ(datagrams[1][13], 0x02);  // the third sample's MAC ends in 02
  EXPECT_EQ(Trace(1).size(), 3u);
  EXPECT_TRUE(web[0]->Requests().empty());
  EXPECT_TRUE(web[2]->Requests().empty());
  EXPECT_EQ(web[1]->Reboots(), 1);
  EXPECT_EQ(TableCount(), 0u);
  // The selection is put back as it was (none), never left on the run's copies.
  EXPECT_EQ(form->selectedBaseStation, nullptr);
  EXPECT_TRUE(form->listShowsBaseStations);
}

}  // namespace
}  // namespace qelta::network
