// The property bag that keeps the link's persistent properties ("BootType", "ResetType") in the
// settings file beside the form's own values.
#pragma once

#include <string>

#include "core/SettingsStore.h"
#include "halvex/PropertyBag.h"

// Each property is a number (0 or 1) of the settings file; a value that is missing or of the
// wrong kind reads as absent, so the link keeps its default. Writes open the file afresh.
class SettingsPropertyBag : public halvex::PropertyBag {
 public:
  explicit SettingsPropertyBag(SettingsStore& store) : store_(store) {}
  bool ReadBool(const std::string& name, bool* value) const override;
  void WriteBool(const std::string& name, bool value) override;
  // The first failed write since construction: the value's name and errno (0: none failed).
  const std::string& FailedName() const { return failedName_; }
  int FailedError() const { return failedError_; }

 private:
  SettingsStore& store_;
  std::string failedName_;
  int failedError_ = 0;
};
