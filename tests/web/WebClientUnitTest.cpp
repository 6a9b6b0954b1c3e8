// The web client's pure pieces and the IP settings dialog's rules, without a module.
#include <gtest/gtest.h>

#include <cstring>

#include "module/WebInterface.h"
#include "network/IpSettings.h"
#include "network/WebClient.h"

namespace qelta::network {
namespace {

TEST(WebClientUnit, HttpErrorIsExactlyTheTwoRanges) {
  for (long s : {400L, 404L, 417L, 500L, 503L, 505L}) EXPECT_TRUE(IsHttpError(s)) << s;
  for (long s : {0L, 200L, 302L, 399L, 418L, 451L, 499L, 506L, 599L})
    EXPECT_FALSE(IsHttpError(s)) << s;
}

TEST(WebClientUnit, UrlsAndLoginBody) {
  BaseStationRecord r;
  std::strcpy(r.addressText, "10.1.2.3");
  EXPECT_EQ(ModuleUrl(r, kSerialFormPath), "http://10.1.2.3/Forms/port_config_1?1");
  EXPECT_EQ(LogoutUrl(r), "http://10.1.2.3/admin/logout.htm");
  EXPECT_EQ(LoginBody("root", "kqzv"),
            "cache=&protocol=http&username=root&password=kqzv&btLogin=Login");
  // Reserved characters cannot cut the body; a blank still becomes "+"; bytes above 0x7F too.
  EXPECT_EQ(LoginBody("a b", "p&q=r%+/\xE9"),
            "cache=&protocol=http&username=a+b&password=p%26q%3Dr%25%2B%2F%E9&btLogin=Login");
  EXPECT_EQ(FormEncode("Hall 3 north"), "Hall+3+north");
  EXPECT_EQ(FormEncode("A-z.0_9~"), "A-z.0_9~");
  EXPECT_EQ(FormEncode(""), "");
}

TEST(WebClientUnit, TickFileNameHasEightUpperCaseHexDigits) {
  const std::string name = TickFileName();
  ASSERT_EQ(name.size(), 12u);
  EXPECT_EQ(name.substr(8), ".cfg");
  for (size_t i = 0; i < 8; ++i)
    EXPECT_TRUE(std::isdigit(name[i]) || (name[i] >= 'A' && name[i] <= 'F'));
}

TEST(IpSettingsRules, OnlyFixedSettingsAreCheckedAndOnlyAddressAndGateway) {
  IpSettings s;
  s.mode = 0;
  EXPECT_EQ(ValidateIpSettings(s), "");
  s.mode = 1;
  s.ipAddress = 0x0A000005;
  s.gateway = 0x0A000001;
  s.subnetMask = 0;
  EXPECT_EQ(ValidateIpSettings(s), "");
  s.gateway = 0;
  EXPECT_EQ(ValidateIpSettings(s),
            "Following errors occured:\n\nGateway value (0.0.0.0) is not acceptable.");
  s.ipAddress = 0xFFFFFFFF;
  EXPECT_EQ(ValidateIpSettings(s),
            "Following errors occured:\n\nIP address (255.255.255.255) is not acceptable."
            "\n\nGateway value (0.0.0.0) is not acceptable.");
}

TEST(IpSettingsRules, DialogSwitchesToFixedOnTypingAnAddressAndReadsBack) {
  IpSettings s;
  s.mode = 0;
  s.ipAddress = 0x7F000002;
  s.subnetMask = 0xFFFFFF00;
  s.gateway = 0x7F000001;
  DialogModel d = IpSettingsDialog(s);
  EXPECT_EQ(d.name, "CIPSettingsDlg");
  EXPECT_EQ(d.title, "IP settings");
  EXPECT_EQ(d.Value(kIpDhcpRadio), "1");
  EXPECT_EQ(d.Value(kIpAddressField), "127.0.0.2");
  EXPECT_EQ(d.Value(kIpMaskField), "255.255.255.0");

  // The gateway alone does not switch; the address does.
  d.SetValue(kIpGatewayField, "127.0.0.9");
  d.onEdit(d, kIpGatewayField);
  EXPECT_EQ(d.Value(kIpFixedRadio), "0");
  d.SetValue(kIpAddressField, "127.0.0.7");
  d.onEdit(d, kIpAddressField);
  EXPECT_EQ(d.Value(kIpFixedRadio), "1");
  EXPECT_EQ(d.Value(kIpDhcpRadio), "0");

  IpSettings back;
  ASSERT_TRUE(ReadIpSettingsDialog(d, back));
  EXPECT_EQ(back.mode, 1);
  EXPECT_EQ(back.ipAddress, 0x7F000007u);
  EXPECT_EQ(back.gateway, 0x7F000009u);
  EXPECT_EQ(d.Validate(), "");
  d.SetValue(kIpAddressField, "300.1.1.1");
  EXPECT_FALSE(ReadIpSettingsDialog(d, back));
  EXPECT_NE(d.Validate(), "");
  EXPECT_EQ(d.validationCaption, "Errors");
  EXPECT_TRUE(d.validationErrorIcon);
}

TEST(SimulatedWebInterface, FormBodiesDecode) {
  const auto f = sim::ParseFormBody("a=1&b=x+y%26z&empty=&flag&%3D=%zz");
  EXPECT_EQ(f.at("a"), "1");
  EXPECT_EQ(f.at("b"), "x y&z");
  EXPECT_EQ(f.at("empty"), "");
  EXPECT_EQ(f.at("flag"), "");
  EXPECT_EQ(f.at("="), "%zz");
}

}  // namespace
}  // namespace qelta::network
