// CSettingsKey: a small helper over the settings store that writes a value's default back when
// the value is missing. Used for "ComPort", "CommID", "LastRadioUsed", "LastEEPROMFile" and the
// COM device mapping.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/SettingsStore.h"

namespace qelta {
class UiPort;
}

class CSettingsKey {
 public:
  CSettingsKey(SettingsStore& store, qelta::UiPort& ui) : store_(store), ui_(ui) {}

  // Creates or opens the key with read and write access. On failure shows the failure messages
  // and holds no key: every later read returns its default and writes do nothing.
  bool Open();
  bool IsOpen() const { return open_; }
  void Close();

  // Reads a 32-bit number; when missing, writes the default and returns it.
  int32_t ReadNumber(const std::string& name, int32_t defaultValue);
  // Reads a text of at most 500 bytes; when missing (or longer), writes the default and returns
  // it. Without an open key the default is returned.
  std::string ReadText(const std::string& name, const std::string& defaultValue);
  // 0 or errno.
  int WriteNumber(const std::string& name, int32_t value);
  int WriteText(const std::string& name, const std::string& text);

  static constexpr std::size_t kTextBuffer = 500;

 private:
  SettingsStore& store_;
  qelta::UiPort& ui_;
  bool open_ = false;
};
