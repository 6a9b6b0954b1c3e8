#include "modules/ModuleSettings.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "network/WebClient.h"
#include "network/XmlParser.h"

namespace qelta::network {
namespace {

struct RegionName {
  const char* element;
  SettingsRegion region;
};
constexpr RegionName kRegions[] = {{"serial", SettingsRegion::kSerial},
                                   {"boot", SettingsRegion::kSerial},
                                   {"system", SettingsRegion::kSystem},
                                   {"gpio", SettingsRegion::kGpio}};

const RegionName* RegionOf(std::string_view element) {
  for (const RegionName& r : kRegions)
    if (element == r.element) return &r;
  return nullptr;
}

// Keeps every element inside a region, under the innermost region around it.
class SettingsHandler final : public XmlHandler {
 public:
  explicit SettingsHandler(ModuleSettings& settings) : settings_(settings) {}

  XmlHandler* OnXmlEvent(XmlParser&, int event, std::string_view element, std::string_view,
                         std::string_view text) override {
    switch (event) {
      case kXmlElementStart:
        if (const RegionName* r = RegionOf(element)) {
          regions_.push_back(r->region);
        } else if (!regions_.empty()) {
          settings_.Begin(regions_.back(), element);
        }
        break;
      case kXmlText:
        if (!regions_.empty() && !RegionOf(element))
          settings_.AddText(regions_.back(), element, text);
        break;
      case kXmlElementEnd:
        if (RegionOf(element) && !regions_.empty()) regions_.pop_back();
        break;
      default:
        break;
    }
    return this;
  }

 private:
  ModuleSettings& settings_;
  std::vector<SettingsRegion> regions_;
};

// The download of the settings backup, kept in memory and no larger than kMaxBackupBytes (a
// write beyond fails, which stops the transfer).
class BackupBuffer {
 public:
  BackupBuffer() {
    cookie_io_functions_t io{};
    io.write = &BackupBuffer::Write;
    file_ = fopencookie(this, "w", io);
  }
  ~BackupBuffer() { Close(); }
  BackupBuffer(const BackupBuffer&) = delete;
  BackupBuffer& operator=(const BackupBuffer&) = delete;

  FILE* get() const { return file_; }
  // Flushes what the stream still holds; the bytes are complete afterwards.
  void Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  static ssize_t Write(void* cookie, const char* data, size_t size) {
    auto* self = static_cast<BackupBuffer*>(cookie);
    if (self->bytes_.size() + size > kMaxBackupBytes) return -1;
    self->bytes_.append(data, size);
    return static_cast<ssize_t>(size);
  }
  FILE* file_ = nullptr;
  std::string bytes_;
};

}  // namespace

std::string ModuleSettings::Key(SettingsRegion region, std::string_view element) {
  std::string key(1, static_cast<char>('0' + static_cast<int>(region)));
  key += element;
  return key;
}

const std::string* ModuleSettings::Find(SettingsRegion region, std::string_view element) const {
  const auto it = values_.find(Key(region, element));
  return it == values_.end() ? nullptr : &it->second;
}

void ModuleSettings::Begin(SettingsRegion region, std::string_view element) {
  values_[Key(region, element)].clear();
}

void ModuleSettings::AddText(SettingsRegion region, std::string_view element,
                             std::string_view text) {
  values_[Key(region, element)] += text;
}

bool ParseModuleSettings(const char* data, std::size_t size, ModuleSettings& settings) {
  if (data == nullptr || size == 0 || size > kMaxBackupBytes) return false;
  std::unique_ptr<XmlParser> parser = XmlCreateParser(data, static_cast<long>(size));
  if (!parser) return false;
  SettingsHandler handler(settings);
  return XmlParse(parser.get(), &handler) == kXmlOk;
}

bool ReadModuleSettings(fleet::StationHandle& s, ModuleSettings& settings) {
  const BaseStationRecord& station = s.Record();
  const std::string loginBody = LoginBody(s.Settings().moduleUser, s.Settings().modulePassword);
  WebSession& session = s.Web();
  if (!session.Valid() || !GetLoginPage(session, station, nullptr).Ok() ||
      !PostLogin(session, station, loginBody, nullptr).Ok())
    return false;
  BackupBuffer backup;
  const WebResult got = Download(session, station, kBackupPath, backup.get());
  backup.Close();
  const bool ok = got.Ok() && !IsHttpError(got.status) &&
                  ParseModuleSettings(backup.Bytes().data(), backup.Bytes().size(), settings);
  // The module keeps a login until it is logged out; nothing of the answer is needed.
  session.Get(LogoutUrl(station), nullptr);
  return ok;
}

}  // namespace qelta::network
