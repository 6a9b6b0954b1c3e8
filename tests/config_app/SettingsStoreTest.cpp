// The settings file format, the store's file handling and CSettingsKey.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "FormTestSupport.h"
#include "app/SettingsKey.h"

namespace {

using ::testing::ElementsAre;

TEST(SettingsDocumentTest, TextsAndNumbersSurviveAWriteAndAReadBack) {
  SettingsDocument doc;
  doc.Set("GetSettingsPath", {SettingKind::Text, "c:\\", 0});
  doc.Set("Odd", {SettingKind::Text, std::string("a\tb\nc\\d\0e", 9), 0});
  doc.Set("CommID", {SettingKind::Number, {}, 70000});
  doc.Set("Big", {SettingKind::Number, {}, 4294967295u});
  SettingsDocument back = SettingsDocument::Parse(doc.Serialize());
  EXPECT_FALSE(back.Damaged());
  EXPECT_EQ(ReadTextValue(back, "GetSettingsPath", 255), "c:\\");
  EXPECT_EQ(back.Find("Odd")->text, std::string("a\tb\nc\\d\0e", 9));
  EXPECT_EQ(ReadNumberValue(back, "CommID"), 70000u);
  EXPECT_EQ(ReadNumberValue(back, "Big"), 4294967295u);
  EXPECT_THAT(back.Names(), ElementsAre("GetSettingsPath", "Odd", "CommID", "Big"));
}

TEST(SettingsDocumentTest, NamesIgnoreCaseAndKindsDoNotMix) {
  SettingsDocument doc = SettingsDocument::Parse("comport=number:5\nUser=text:7\n");
  EXPECT_EQ(ReadNumberValue(doc, "ComPort"), 5u);
  // A text read as a number (or the reverse) counts as missing.
  EXPECT_FALSE(ReadNumberValue(doc, "User"));
  EXPECT_FALSE(ReadTextValue(doc, "comport", 100));
  doc.Set("COMPORT", {SettingKind::Number, {}, 6});
  EXPECT_EQ(doc.Names().size(), 2u);
  EXPECT_EQ(ReadNumberValue(doc, "ComPort"), 6u);
  // Negative numbers are kept as their 32-bit pattern.
  EXPECT_EQ(ReadNumberValue(SettingsDocument::Parse("T=number:-1\n"), "T"), 0xFFFFFFFFu);
}

TEST(SettingsDocumentTest, TextsTooLongForTheBufferReadAsMissing) {
  SettingsDocument doc;
  doc.Set("U", {SettingKind::Text, std::string(11, 'x'), 0});
  EXPECT_EQ(ReadTextValue(doc, "U", 12), std::string(11, 'x'));
  doc.Set("U", {SettingKind::Text, std::string(12, 'x'), 0});
  EXPECT_FALSE(ReadTextValue(doc, "U", 12));
}

TEST(SettingsDocumentTest, DamagedLinesAreReportedAndKeptVerbatim) {
  const std::string contents =
      "# QeltaConfigurator settings\n"
      "ComPort=number:3\n"
      "garbage without equals\n"
      "CommID=number:99999999999\n"
      "Bad=text:unfinished\\\n"
      "Who=kind:1\n"
      "User=text:bob\n";
  SettingsDocument doc = SettingsDocument::Parse(contents);
  EXPECT_TRUE(doc.Damaged());
  EXPECT_EQ(ReadNumberValue(doc, "ComPort"), 3u);
  EXPECT_EQ(ReadTextValue(doc, "User", 12), "bob");
  EXPECT_FALSE(ReadNumberValue(doc, "CommID"));
  doc.Set("ComPort", {SettingKind::Number, {}, 4});
  std::string out = doc.Serialize();
  EXPECT_NE(out.find("garbage without equals\n"), std::string::npos);
  EXPECT_NE(out.find("CommID=number:99999999999\n"), std::string::npos);
  EXPECT_NE(out.find("Bad=text:unfinished\\\n"), std::string::npos);
  EXPECT_NE(out.find("ComPort=number:4\n"), std::string::npos);
  EXPECT_NE(out.find("User=text:bob\n"), std::string::npos);
}

// Lines found by fuzzing the settings file: a line that is not a value is written back byte for
// byte, carriage returns included, and a second write changes nothing.
TEST(SettingsDocumentTest, LinesThatAreNotValuesAreWrittenBackAsRead) {
  struct Case {
    std::string contents;
    std::vector<std::string> kept;
  } cases[] = {
      {"# QeltaConfigurator settings\r\nComPort=number:3\r\nbroken\r\n\r\n#c\r\r\n",
       {"broken\r\n", "#c\r\r\n"}},
      {"bad\r\r\nComPort=number:3\n", {"bad\r\r\n"}},
      {"#c\r\nComPort=number:3", {"#c\r\n"}},
  };
  for (const auto& c : cases) {
    const SettingsDocument doc = SettingsDocument::Parse(c.contents);
    const std::string out = doc.Serialize();
    for (const std::string& line : c.kept) {
      EXPECT_NE(out.find(line), std::string::npos) << c.contents;
    }
    EXPECT_EQ(ReadNumberValue(doc, "ComPort"), 3u) << c.contents;
    EXPECT_EQ(SettingsDocument::Parse(out).Serialize(), out) << c.contents;
  }
}

TEST(SettingsDocumentTest, BinaryGarbageNeverCrashesTheParser) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
  SettingsDocument doc = SettingsDocument::Parse(junk);
  EXPECT_TRUE(doc.Damaged());
  // What cannot be understood is written back unchanged, line by line.
  SettingsDocument again = SettingsDocument::Parse(doc.Serialize());
  EXPECT_EQ(again.Serialize(), doc.Serialize());
}

class SettingsStoreTest : public FormTest {};

TEST_F(SettingsStoreTest, WritesArePrivateAtomicAndKeepOtherValues) {
  SettingsStore store(files, settingsFile);
  ASSERT_EQ(store.Create(), 0);
  ASSERT_EQ(store.WriteText("EthPasswordDigiME", "secret"), 0);
  ASSERT_EQ(store.WriteNumber("ComPort", 2), 0);
  struct stat st {};
  ASSERT_EQ(stat(settingsFile.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Text("EthPasswordDigiME"), "secret");
  EXPECT_EQ(Number("ComPort"), 2u);
  // No temporary file is left beside it, only the lock file.
  std::vector<std::string> entries;
  for (auto& e : std::filesystem::directory_iterator(root + "/config/Tervana"))
    entries.push_back(e.path().string());
  std::sort(entries.begin(), entries.end());
  EXPECT_THAT(entries, ElementsAre(settingsFile, settingsFile + ".lock"));
}

TEST_F(SettingsStoreTest, ChangesMadeAtOnceByManyWritersAreAllKept) {
  // Each writer has its own store (its own open of the lock file), as two programs would.
  constexpr int kWriters = 4;
  constexpr int kValues = 25;
  std::vector<std::thread> writers;
  std::atomic<int> failures{0};
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      SettingsStore store(files, settingsFile);
      for (int v = 0; v < kValues; ++v) {
        if (store.WriteNumber("W" + std::to_string(w) + "V" + std::to_string(v),
                              static_cast<uint32_t>(v)) != 0)
          ++failures;
      }
    });
  }
  for (auto& t : writers) t.join();
  EXPECT_EQ(failures, 0);
  for (int w = 0; w < kWriters; ++w)
    for (int v = 0; v < kValues; ++v)
      EXPECT_EQ(Number("W" + std::to_string(w) + "V" + std::to_string(v)),
                static_cast<uint32_t>(v));
}

TEST_F(SettingsStoreTest, AHeldLockKeepsOtherHoldersOutUntilReleased) {
  SettingsStore store(files, settingsFile);
  ASSERT_EQ(store.WriteNumber("ComPort", 3), 0);
  FileLock held;
  ASSERT_EQ(files.Lock(store.LockPath(), 0600, 0, held), 0);
  FileLock second;
  EXPECT_EQ(files.Lock(store.LockPath(), 0600, 30, second), EWOULDBLOCK);
  EXPECT_FALSE(second.Held());
  held = FileLock();  // released
  EXPECT_EQ(files.Lock(store.LockPath(), 0600, 0, second), 0);
  // A change that has nothing to write leaves the file alone.
  second = FileLock();
  EXPECT_EQ(store.Update([](SettingsDocument&) { return false; }), 0);
  EXPECT_EQ(Number("ComPort"), 3u);
}

TEST_F(SettingsStoreTest, AnUnreadableFileIsNeverReplaced) {
  WriteSettings("ComPort=number:7\nEthUsernameDigiME=text:anna\n");
  files.readError = EACCES;
  SettingsStore store(files, settingsFile);
  EXPECT_EQ(store.WriteNumber("ComPort", 1), EACCES);
  files.readError = 0;
  EXPECT_EQ(Number("ComPort"), 7u);
  EXPECT_EQ(Text("EthUsernameDigiME"), "anna");
}

TEST_F(SettingsStoreTest, DefaultPathFollowsXdgConfigHome) {
  setenv("XDG_CONFIG_HOME", "/some/where", 1);
  EXPECT_EQ(SettingsStore::DefaultPath(), "/some/where/Tervana/QeltaConfigurator.conf");
  // A relative value is not a valid base: the home folder's .config is used.
  setenv("XDG_CONFIG_HOME", "relative", 1);
  setenv("HOME", "/home/tester", 1);
  EXPECT_EQ(SettingsStore::DefaultPath(), "/home/tester/.config/Tervana/QeltaConfigurator.conf");
}

TEST_F(SettingsStoreTest, SettingsKeyWritesDefaultsBackForMissingValues) {
  SettingsStore store(files, settingsFile);
  CSettingsKey key(store, ui);
  ASSERT_TRUE(key.Open());
  EXPECT_EQ(key.ReadNumber("LastRadioUsed", 1), 1);
  EXPECT_EQ(Number("LastRadioUsed"), 1u);
  EXPECT_EQ(key.ReadText("LastEEPROMFile", ""), "");
  EXPECT_EQ(Text("LastEEPROMFile"), "");
  ASSERT_EQ(key.WriteNumber("CommID", 70000), 0);
  EXPECT_EQ(key.ReadNumber("CommID", 10000), 70000);
  // Longer than 500 bytes with its zero: missing, so the default replaces it.
  ASSERT_EQ(key.WriteText("LastEEPROMFile", std::string(500, 'p')), 0);
  EXPECT_EQ(key.ReadText("LastEEPROMFile", "d.epr"), "d.epr");
  EXPECT_EQ(Text("LastEEPROMFile"), "d.epr");
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(SettingsStoreTest, SettingsKeyThatCannotOpenShowsItsMessagesAndGivesDefaults) {
  WriteSettings("ComPort=number:5\n");
  files.readError = EACCES;
  SettingsStore store(files, settingsFile);
  CSettingsKey key(store, ui);
  EXPECT_FALSE(key.Open());
  ASSERT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(ui.Messages()[0].text, std::to_string(EACCES));
  EXPECT_EQ(ui.Messages()[0].caption, "er");
  EXPECT_EQ(ui.Messages()[1].text, "RegCreateEx FAIL");
  EXPECT_EQ(ui.Messages()[1].caption, std::to_string(EACCES));
  EXPECT_EQ(key.ReadNumber("ComPort", 1), 1);
  EXPECT_EQ(key.ReadText("LastEEPROMFile", "x"), "x");
  EXPECT_NE(key.WriteNumber("ComPort", 3), 0);

  // Any other failure shows only the second message.
  files.readError = EIO;
  CSettingsKey other(store, ui);
  ui.ClearRecords();
  EXPECT_FALSE(other.Open());
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].caption, std::to_string(EIO));
  files.readError = 0;
  EXPECT_EQ(Number("ComPort"), 5u);
}

}  // namespace
