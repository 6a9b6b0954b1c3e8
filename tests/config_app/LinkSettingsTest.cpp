// The link's property page ("Link settings" in the COM port menu): what OK and Cancel do to the
// link's properties and to the settings file, and the values across a restart. What the page
// shows is checked on the window.
#include "FormTestSupport.h"
#include "app/LinkSettings.h"

namespace {

using qelta::ScriptedUi;

class LinkSettingsTest : public FormTest {
 protected:
  void Answer(const std::map<std::string, std::string>& values, bool accept) {
    ScriptedUi::DialogAnswer answer;
    answer.values = values;
    answer.accept = accept;
    ui.QueueDialogAnswer(linkpage::kDialogName, answer);
  }
};

// From what the file holds and what the user does to the properties, the file and a restart.
TEST_F(LinkSettingsTest, OkStoresChangedPropertiesAndCancelChangesNothing) {
  struct Case {
    const char* name;
    std::string stored;
    std::map<std::string, std::string> values;
    bool accept;
    bool bootType, resetType;                         // the link's properties afterwards
    std::optional<uint32_t> storedBoot, storedReset;  // the file afterwards
  };
  const Case cases[] = {
      {"set boot type", "", {{"boottype", "1"}}, true, true, false, 1u, 0u},
      {"clear a stored one",
       "BootType=number:1\n",
       {{"boottype", "0"}},
       true,
       false,
       false,
       0u,
       0u},
      {"cancel keeps the stored",
       "BootType=number:1\n",
       {{"boottype", "0"}},
       false,
       true,
       false,
       1u,
       std::nullopt},
      {"OK without a change writes nothing",
       "ResetType=number:1\n",
       {},
       true,
       false,
       true,
       std::nullopt,
       1u},
      {"a value of the wrong kind reads as absent",
       "BootType=text:1\n",
       {{"resettype", "1"}},
       true,
       false,
       true,
       0u,
       1u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(settingsFile);
    if (!c.stored.empty()) WriteSettings(c.stored);
    Start();
    Answer(c.values, c.accept);
    ASSERT_TRUE(form->RunCommand(ids::kCmdLinkSettings));
    EXPECT_EQ(form->link().GetBootType(), c.bootType);
    EXPECT_EQ(form->link().GetResettype(), c.resetType);
    EXPECT_EQ(Number("BootType"), c.storedBoot);
    EXPECT_EQ(Number("ResetType"), c.storedReset);
    EXPECT_TRUE(ui.Messages().empty());
    // A restart reads back what the page stored (the file decides, not the last link).
    Start();
    EXPECT_EQ(form->link().GetBootType(), c.storedBoot.value_or(0) != 0);
    EXPECT_EQ(form->link().GetResettype(), c.storedReset.value_or(0) != 0);
    ui.ClearRecords();
  }
}

TEST_F(LinkSettingsTest, AFailedStoreIsReported) {
  Start();
  files.writeError = EACCES;
  files.onlyPath = settingsFile;
  Answer({{"boottype", "1"}}, true);
  ASSERT_TRUE(form->RunCommand(ids::kCmdLinkSettings));
  EXPECT_TRUE(form->link().GetBootType());
  EXPECT_THAT(MessageTexts(), ::testing::ElementsAre("Could not store \"BootType\", error: " +
                                                     std::to_string(EACCES) + "."));
}

}  // namespace
