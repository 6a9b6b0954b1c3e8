#include "core/SettingsStore.h"

#include <strings.h>

#include <cerrno>
#include <cstdlib>

namespace {

constexpr mode_t kFileMode = 0600;
constexpr mode_t kDirMode = 0700;
constexpr const char* kHeader = "# QeltaConfigurator settings\n";

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool Unescape(const std::string& in, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == in.size()) return false;
    switch (in[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case '0':
        out += '\0';
        break;
      default:
        return false;
    }
  }
  return true;
}

bool ParseNumber(const std::string& s, uint32_t& out) {
  // Decimal, 0 .. 4294967295, or a negative 32-bit value kept as its two's complement.
  if (s.empty() || s.size() > 11) return false;
  std::size_t i = s[0] == '-' ? 1 : 0;
  if (i == s.size()) return false;
  for (std::size_t k = i; k < s.size(); ++k)
    if (s[k] < '0' || s[k] > '9') return false;
  long long v = std::strtoll(s.c_str(), nullptr, 10);
  if (v < -2147483648LL || v > 4294967295LL) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

bool ValidName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name)
    if (c == '=' || c == '\n' || c == '\r' || c == '\0' || c == '#') return false;
  return true;
}

std::string WithoutCr(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

SettingsDocument SettingsDocument::Parse(const std::string& contents) {
  SettingsDocument doc;
  std::size_t pos = 0;
  while (pos < contents.size()) {
    std::size_t end = contents.find('\n', pos);
    if (end == std::string::npos) end = contents.size();
    Line line;
    line.raw = contents.substr(pos, end - pos);
    pos = end + 1;
    // The raw line keeps a Windows line end's CR, so that a line written back is the line that
    // was read; the fields are read without it.
    const std::string text = WithoutCr(line.raw);
    if (text.empty() || text[0] == '#') {
      doc.lines_.push_back(std::move(line));
      continue;
    }
    bool ok = text.find('\0') == std::string::npos;
    std::size_t eq = text.find('=');
    if (ok && eq != std::string::npos && eq > 0) {
      std::string name = text.substr(0, eq);
      std::string rest = text.substr(eq + 1);
      if (rest.rfind("text:", 0) == 0) {
        line.value.kind = SettingKind::Text;
        ok = Unescape(rest.substr(5), line.value.text);
      } else if (rest.rfind("number:", 0) == 0) {
        line.value.kind = SettingKind::Number;
        ok = ParseNumber(rest.substr(7), line.value.number);
      } else {
        ok = false;
      }
      // A later line of the same name wins, as it would have replaced the earlier one.
      if (ok && ValidName(name)) {
        doc.Remove(name);
        line.name = name;
      } else {
        ok = false;
      }
    } else {
      ok = false;
    }
    if (!ok) doc.damaged_ = true;
    doc.lines_.push_back(std::move(line));
  }
  return doc;
}

std::string SettingsDocument::Serialize() const {
  std::string out;
  bool hasHeader = !lines_.empty() && lines_.front().name.empty() &&
                   WithoutCr(lines_.front().raw) + "\n" == kHeader;
  if (!hasHeader) out = kHeader;
  for (const auto& line : lines_) {
    if (line.name.empty()) {
      out += line.raw;
    } else if (line.value.kind == SettingKind::Text) {
      out += line.name + "=text:" + Escape(line.value.text);
    } else {
      out += line.name + "=number:" + std::to_string(line.value.number);
    }
    out += '\n';
  }
  return out;
}

const SettingValue* SettingsDocument::Find(const std::string& name) const {
  for (const auto& line : lines_)
    if (!line.name.empty() && SameName(line.name, name)) return &line.value;
  return nullptr;
}

void SettingsDocument::Set(const std::string& name, SettingValue value) {
  for (auto& line : lines_) {
    if (!line.name.empty() && SameName(line.name, name)) {
      line.value = std::move(value);
      return;
    }
  }
  if (!ValidName(name)) return;
  Line line;
  line.name = name;
  line.value = std::move(value);
  lines_.push_back(std::move(line));
}

bool SettingsDocument::Remove(const std::string& name) {
  for (auto it = lines_.begin(); it != lines_.end(); ++it) {
    if (!it->name.empty() && SameName(it->name, name)) {
      lines_.erase(it);
      return true;
    }
  }
  return false;
}

std::vector<std::string> SettingsDocument::Names() const {
  std::vector<std::string> names;
  for (const auto& line : lines_)
    if (!line.name.empty()) names.push_back(line.name);
  return names;
}

SettingsStore::SettingsStore(IFileAccess& files, std::string path)
    : files_(files), path_(std::move(path)) {}

std::string SettingsStore::DefaultPath() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && home[0] ? home : "/tmp") + "/.config";
  }
  return base + "/Tervana/QeltaConfigurator.conf";
}

int SettingsStore::MakeFolder() {
  std::size_t slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0)
    return files_.MakeDirs(path_.substr(0, slash), kDirMode);
  return 0;
}

int SettingsStore::Create() {
  if (int e = MakeFolder()) return e;
  FileLock lock;
  if (int e = files_.Lock(LockPath(), kFileMode, kLockWaitMs, lock)) return e;
  if (files_.Exists(path_)) return 0;
  return files_.WriteFileAtomic(path_, kHeader, kFileMode);
}

int SettingsStore::Open(SettingsDocument& doc) {
  std::string contents;
  int e = files_.ReadFile(path_, contents, kMaxFileSize);
  if (e == ENOENT) {
    doc = SettingsDocument();
    return 0;
  }
  if (e != 0) return e;
  doc = SettingsDocument::Parse(contents);
  return 0;
}

int SettingsStore::Update(const std::function<bool(SettingsDocument&)>& change) {
  if (int e = MakeFolder()) return e;
  FileLock lock;
  if (int e = files_.Lock(LockPath(), kFileMode, kLockWaitMs, lock)) return e;
  SettingsDocument doc;
  if (int e = Open(doc)) return e;
  if (!change(doc)) return 0;
  return files_.WriteFileAtomic(path_, doc.Serialize(), kFileMode);
}

int SettingsStore::WriteText(const std::string& name, const std::string& text) {
  return Update([&](SettingsDocument& doc) {
    doc.Set(name, SettingValue{SettingKind::Text, text, 0});
    return true;
  });
}

int SettingsStore::WriteNumber(const std::string& name, uint32_t number) {
  return Update([&](SettingsDocument& doc) {
    doc.Set(name, SettingValue{SettingKind::Number, {}, number});
    return true;
  });
}

int SettingsStore::WriteDefault(const std::string& name, SettingValue value,
                                const std::function<bool(const SettingsDocument&)>& missing) {
  return Update([&](SettingsDocument& doc) {
    if (!missing(doc)) return false;
    doc.Set(name, std::move(value));
    return true;
  });
}

std::optional<std::string> ReadTextValue(const SettingsDocument& doc, const std::string& name,
                                         std::size_t bufferBytes) {
  const SettingValue* v = doc.Find(name);
  if (!v || v->kind != SettingKind::Text) return std::nullopt;
  if (v->text.size() + 1 > bufferBytes) return std::nullopt;
  // The form's buffers end at the first zero.
  return v->text.substr(0, v->text.find('\0'));
}

std::optional<uint32_t> ReadNumberValue(const SettingsDocument& doc, const std::string& name) {
  const SettingValue* v = doc.Find(name);
  if (!v || v->kind != SettingKind::Number) return std::nullopt;
  return v->number;
}
