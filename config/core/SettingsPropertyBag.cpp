#include "core/SettingsPropertyBag.h"

bool SettingsPropertyBag::ReadBool(const std::string& name, bool* value) const {
  SettingsDocument doc;
  if (store_.Open(doc) != 0) return false;
  std::optional<uint32_t> number = ReadNumberValue(doc, name);
  if (!number) return false;
  *value = *number != 0;
  return true;
}

void SettingsPropertyBag::WriteBool(const std::string& name, bool value) {
  int e = store_.WriteNumber(name, value ? 1 : 0);
  if (e != 0 && failedError_ == 0) {
    failedName_ = name;
    failedError_ = e;
  }
}
