// Where a host keeps the link's persistent properties ("BootType", "ResetType").
#pragma once

#include <map>
#include <string>

namespace halvex {

class PropertyBag {
 public:
  virtual ~PropertyBag() = default;
  // False when the bag holds no value under `name` (the caller keeps its default).
  virtual bool ReadBool(const std::string& name, bool* value) const = 0;
  virtual void WriteBool(const std::string& name, bool value) = 0;
};

// A bag in memory, for hosts that persist the values themselves and for tests.
class MemoryPropertyBag : public PropertyBag {
 public:
  bool ReadBool(const std::string& name, bool* value) const override {
    auto it = values_.find(name);
    if (it == values_.end()) return false;
    *value = it->second;
    return true;
  }
  void WriteBool(const std::string& name, bool value) override { values_[name] = value; }
  const std::map<std::string, bool>& Values() const { return values_; }

 private:
  std::map<std::string, bool> values_;
};

}  // namespace halvex
