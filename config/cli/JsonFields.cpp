#include "cli/JsonFields.h"

#include "cli/RowOutput.h"

namespace qelta::cli {
namespace {

constexpr std::size_t kMaxDigits = 15;  // exact as a double, which JSON readers may use

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string JsonNumberOrString(const std::string& text) {
  const std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
  const std::size_t digits = text.size() - start;
  bool number = digits >= 1 && digits <= kMaxDigits && (digits == 1 || text[start] != '0');
  for (std::size_t i = start; number && i < text.size(); ++i) number = IsDigit(text[i]);
  if (number && text == "-0") number = false;
  return number ? text : JsonString(text);
}

std::string SnakeCaseKey(const std::string& name) {
  std::string key;
  bool gap = false;
  for (const char c : name) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !IsDigit(c)) {
      gap = !key.empty();
      continue;
    }
    if (gap) key += '_';
    gap = false;
    key += letter && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return key.empty() ? "field" : key;
}

}  // namespace qelta::cli
