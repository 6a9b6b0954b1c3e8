// The per-user settings store: the values of the configurator's settings key kept in one file,
// $XDG_CONFIG_HOME/Tervana/QeltaConfigurator.conf (default ~/.config), mode 0600 because it holds
// the modules' password. Each value is a text or a 32-bit number:
//
//   # QeltaConfigurator settings
//   GetSettingsPath=text:c:\\  (a backslash is written twice)
//   ComPort=number:1
//
// Texts escape backslash, newline, carriage return, tab and NUL as \\ \n \r \t \0. Names are
// matched without regard to case. Lines that cannot be understood mark the file as damaged; they
// are kept unchanged when the file is written again, so no value is lost.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/FileAccess.h"

enum class SettingKind { Text, Number };

struct SettingValue {
  SettingKind kind = SettingKind::Text;
  std::string text;
  uint32_t number = 0;
};

// The parsed contents of the settings file.
class SettingsDocument {
 public:
  // Parses file contents; never fails. Damaged() tells whether any line was not understood.
  static SettingsDocument Parse(const std::string& contents);
  std::string Serialize() const;

  bool Damaged() const { return damaged_; }
  const SettingValue* Find(const std::string& name) const;
  void Set(const std::string& name, SettingValue value);
  bool Remove(const std::string& name);
  std::vector<std::string> Names() const;

 private:
  struct Line {
    std::string raw;   // kept verbatim for comments and damaged lines
    std::string name;  // empty: not a value line
    SettingValue value;
  };
  std::vector<Line> lines_;
  bool damaged_ = false;
};

class SettingsStore {
 public:
  // Largest settings file read; a larger one counts as unreadable (EFBIG).
  static constexpr std::size_t kMaxFileSize = 1 << 20;
  // A damaged file is reported with this code.
  static constexpr int kDamagedError = 74;  // EBADMSG

  SettingsStore(IFileAccess& files, std::string path);

  // $XDG_CONFIG_HOME/Tervana/QeltaConfigurator.conf, with $HOME/.config when XDG_CONFIG_HOME is
  // unset, empty or not absolute.
  static std::string DefaultPath();

  const std::string& Path() const { return path_; }

  // Creates the file (and its folder) when it does not exist, under the lock: 0 or errno.
  int Create();
  // Opens the key: reads and parses the file. 0 (a missing file reads as empty), or errno when it
  // cannot be read. A damaged file opens (0) with doc.Damaged() set.
  int Open(SettingsDocument& doc);
  // Read-modify-write under the settings lock, which other programs and threads take too: the
  // file is read afresh, `change` edits it (false: nothing to write) and it is written back. 0 or
  // errno; an unreadable file is never replaced (its values would be lost), the open's error is
  // returned. Two programs that change different values at once both keep their change.
  int Update(const std::function<bool(SettingsDocument&)>& change);
  // The lock file beside the settings file (beside the file a link names, so that a program
  // that goes through the link and one that does not take the same lock), and how long a
  // change waits for another holder.
  std::string LockPath() const { return files_.ResolveLinks(path_) + ".lock"; }
  static constexpr int kLockWaitMs = 10000;

  // Convenience for a single write through Update.
  int WriteText(const std::string& name, const std::string& text);
  int WriteNumber(const std::string& name, uint32_t number);
  // Stores a default under the lock only while the value is still missing (`missing` looks at
  // the file as it is then), so a value another program stored meanwhile is kept.
  int WriteDefault(const std::string& name, SettingValue value,
                   const std::function<bool(const SettingsDocument&)>& missing);

 private:
  int MakeFolder();
  IFileAccess& files_;
  std::string path_;
};

// Reading values the way the form's fixed buffers read them.
// A text that does not fit `bufferBytes` together with its terminating zero reads as missing, as
// does a value of the other kind.
std::optional<std::string> ReadTextValue(const SettingsDocument& doc, const std::string& name,
                                         std::size_t bufferBytes);
std::optional<uint32_t> ReadNumberValue(const SettingsDocument& doc, const std::string& name);
