#include "core/SettingsKey.h"

#include <cerrno>

#include "ui/UiPort.h"

bool CSettingsKey::Open() {
  open_ = false;
  int e = store_.Create();
  if (e == 0) {
    SettingsDocument probe;
    e = store_.Open(probe);
  }
  if (e != 0) {
    if (e == EACCES || e == EPERM)
      ui_.MessageBox(std::to_string(e), "er", qelta::MessageButtons::Ok, qelta::MessageIcon::None);
    ui_.MessageBox("RegCreateEx FAIL", std::to_string(e), qelta::MessageButtons::Ok,
                   qelta::MessageIcon::None);
    return false;
  }
  open_ = true;
  return true;
}

void CSettingsKey::Close() { open_ = false; }

int32_t CSettingsKey::ReadNumber(const std::string& name, int32_t defaultValue) {
  if (!open_) return defaultValue;
  SettingsDocument doc;
  if (store_.Open(doc) != 0) return defaultValue;
  if (std::optional<uint32_t> v = ReadNumberValue(doc, name)) return static_cast<int32_t>(*v);
  // Another program may have stored the value since it was read: then that value stands.
  std::optional<uint32_t> stored;
  store_.WriteDefault(name,
                      SettingValue{SettingKind::Number, {}, static_cast<uint32_t>(defaultValue)},
                      [&](const SettingsDocument& now) {
                        stored = ReadNumberValue(now, name);
                        return !stored;
                      });
  return stored ? static_cast<int32_t>(*stored) : defaultValue;
}

std::string CSettingsKey::ReadText(const std::string& name, const std::string& defaultValue) {
  if (!open_) return defaultValue;
  SettingsDocument doc;
  if (store_.Open(doc) != 0) return defaultValue;
  if (std::optional<std::string> v = ReadTextValue(doc, name, kTextBuffer)) return *v;
  std::optional<std::string> stored;
  store_.WriteDefault(name, SettingValue{SettingKind::Text, defaultValue, 0},
                      [&](const SettingsDocument& now) {
                        stored = ReadTextValue(now, name, kTextBuffer);
                        return !stored;
                      });
  return stored ? *stored : defaultValue;
}

int CSettingsKey::WriteNumber(const std::string& name, int32_t value) {
  if (!open_) return EBADF;
  return store_.WriteNumber(name, static_cast<uint32_t>(value));
}

int CSettingsKey::WriteText(const std::string& name, const std::string& text) {
  if (!open_) return EBADF;
  return store_.WriteText(name, text);
}
