// The settings file format, the store's file handling and CSettingsKey.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iterator>
#include <thread>

#include "FormTestSupport.h"
#include "core/SettingsKey.h"

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

TEST_F(SettingsStoreTest, OnlyARegularFileOrALinkToOneIsReadOrWritten) {
  // What stands in the settings file's place (made at `p`, a link's target at `t`), whether the
  // value is stored there (else refused at once, nothing changed) and whether `p` is a link.
  using Make = std::function<bool(const char* p, const char* t)>;
  const Make link = [](const char* p, const char* t) { return symlink(t, p) == 0; };
  const Make fifo = [](const char* p, const char*) { return mkfifo(p, 0600) == 0; };
  const struct {
    const char* what;
    Make make;
    bool stored, isLink;
  } cases[] = {
      {"nothing", [](const char*, const char*) { return true; }, true, false},
      // A private copy of /dev/null: were it replaced, nothing outside the test would suffer.
      {"a character device",
       [](const char* p, const char*) { return mknod(p, S_IFCHR | 0600, makedev(1, 3)) == 0; },
       false, false},
      {"a FIFO", fifo, false, false},
      {"a folder", [](const char* p, const char*) { return mkdir(p, 0700) == 0; }, false, false},
      {"a link to a file elsewhere",
       [&](const char* p, const char* t) {
         return std::ofstream(t) << "A=number:1\n" && link(p, t);
       },
       true, true},
      {"a link to nothing yet", link, true, true},
      {"a link to a FIFO", [&](const char* p, const char* t) { return fifo(t, t) && link(p, t); },
       false, true},
  };
  const std::string target = root + "/elsewhere/settings.conf";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* dir : {"/config", "/elsewhere"}) std::filesystem::remove_all(root + dir);
    std::filesystem::create_directories(root + "/config/Tervana");
    std::filesystem::create_directories(root + "/elsewhere");
    if (!c.make(settingsFile.c_str(), target.c_str())) {
      EXPECT_EQ(errno, EPERM);  // mknod needs root
      continue;
    }
    struct stat before {
    }, after{};
    lstat(settingsFile.c_str(), &before);
    SettingsStore store(files, settingsFile);
    SettingsDocument doc;
    EXPECT_EQ(store.Open(doc) == 0, c.stored);
    EXPECT_EQ(store.WriteNumber("ComPort", 2) == 0, c.stored);
    ASSERT_EQ(lstat(settingsFile.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & S_IFMT, c.stored && !c.isLink ? S_IFREG : before.st_mode & S_IFMT);
    EXPECT_EQ(after.st_rdev, before.st_rdev);
    if (!c.stored) continue;
    EXPECT_EQ(Number("ComPort"), 2u);
    // A link's target is written, and the lock is taken beside it, whichever name is used.
    if (c.isLink) {
      EXPECT_EQ(store.LockPath(), target + ".lock");
    }
  }
}

// The session log, the lock and the seeding of the working folder go through these too.
TEST_F(SettingsStoreTest, FileAccessRefusesWhatIsNoRegularFileWithoutWaiting) {
  const std::string fifo = root + "/fifo", log = root + "/real.log";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(symlink(log.c_str(), (root + "/QeltaConfig.log").c_str()), 0);
  FileLock lock;
  const std::pair<int, int> cases[] = {
      {files.AppendFile(fifo, "row\n", 0644), ENXIO},  // no reader: never waits for one
      {files.AppendFile(root + "/QeltaConfig.log", "row\n", 0644), 0},
      {files.CopyFile(fifo, root + "/copy", 0644), kNotRegularFile},
      {files.Lock(fifo, 0600, 0, lock), kNotRegularFile},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << i;
  EXPECT_FALSE(std::filesystem::exists(root + "/copy"));
  EXPECT_EQ(std::filesystem::file_size(log), 4u);
}

TEST_F(SettingsStoreTest, ADefaultNeverReplacesAValueStoredMeanwhile) {
  // Another program stores the value between the key's read and its write-back of the default.
  SettingsStore store(files, settingsFile);
  CSettingsKey key(store, ui);
  ASSERT_TRUE(key.Open());
  files.afterRead = [&] { std::ofstream(settingsFile, std::ios::app) << "ComPort=number:3\n"; };
  EXPECT_EQ(key.ReadNumber("ComPort", 1), 3);
  files.afterRead = [&] { std::ofstream(settingsFile, std::ios::app) << "F=text:/x.pcg\n"; };
  EXPECT_EQ(key.ReadText("F", ""), "/x.pcg");
  EXPECT_EQ(Number("ComPort"), 3u);
  EXPECT_EQ(Text("F"), "/x.pcg");
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
