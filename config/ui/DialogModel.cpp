#include "ui/DialogModel.h"

#include <cerrno>
#include <cstdlib>

namespace qelta {

DialogField& DialogModel::Add(DialogField field) {
  fields.push_back(std::move(field));
  return fields.back();
}

DialogField* DialogModel::Find(int controlId) {
  for (auto& f : fields)
    if (f.controlId == controlId && controlId != 0) return &f;
  return nullptr;
}

const DialogField* DialogModel::Find(int controlId) const {
  return const_cast<DialogModel*>(this)->Find(controlId);
}

DialogField* DialogModel::FindByName(const std::string& fieldName) {
  for (auto& f : fields)
    if (!f.name.empty() && f.name == fieldName) return &f;
  return nullptr;
}

const DialogField* DialogModel::FindByName(const std::string& fieldName) const {
  return const_cast<DialogModel*>(this)->FindByName(fieldName);
}

std::string DialogModel::Value(int controlId) const {
  const DialogField* f = Find(controlId);
  return f ? f->value : std::string();
}

void DialogModel::SetValue(int controlId, const std::string& v) {
  if (DialogField* f = Find(controlId)) f->value = v;
}

std::optional<int64_t> DialogModel::Number(int controlId) const {
  const DialogField* f = Find(controlId);
  if (!f) return std::nullopt;
  // Leading and trailing blanks are tolerated as in an edit field; anything else is not a number.
  const std::string& s = f->value;
  std::size_t b = s.find_first_not_of(" \t");
  std::size_t e = s.find_last_not_of(" \t");
  if (b == std::string::npos) return std::nullopt;
  std::string t = s.substr(b, e - b + 1);
  std::size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (i == t.size()) return std::nullopt;
  for (std::size_t k = i; k < t.size(); ++k)
    if (t[k] < '0' || t[k] > '9') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(t.c_str(), &end, 10);
  if (errno == ERANGE || end != t.c_str() + t.size()) return std::nullopt;
  return static_cast<int64_t>(v);
}

std::string DialogModel::Validate() { return validate ? validate(*this) : std::string(); }

std::string IntegerRangePrompt(int64_t low, int64_t high) {
  return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) +
         ".";
}

std::string ValidateIntegerField(const DialogModel& dialog, int controlId, int64_t low,
                                 int64_t high) {
  std::optional<int64_t> v = dialog.Number(controlId);
  if (!v || *v < low || *v > high) return IntegerRangePrompt(low, high);
  return {};
}

}  // namespace qelta
