#include "network/WebClient.h"

#include <curl/curl.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "core/OutputImages.h"

namespace qelta::network {
namespace {

constexpr const char* kLogoutFile = "ethlogout.tmp";

std::mutex timeoutsLock;
WebTimeouts timeouts;

// Answers go to a file; without one (it could not be created) they are dropped, not written
// through a null stream.
size_t WriteToFile(char* data, size_t size, size_t count, void* target) {
  const size_t bytes = size * count;
  if (target == nullptr || bytes == 0) return bytes;
  return std::fwrite(data, 1, bytes, static_cast<FILE*>(target));
}

}  // namespace

std::string StatusRowText(const WebResult& result) {
  char text[64];
  std::snprintf(text, sizeof text, "%s (%ld)", result.Word(), result.status);
  return text;
}

std::string HttpRowText(long status) {
  char text[64];
  std::snprintf(text, sizeof text, "HTTP: %ld", status);
  return text;
}

std::string ModuleUrl(const BaseStationRecord& record, const char* path) {
  return std::string("http://") + record.addressText + "/" + path;
}

std::string LogoutUrl(const BaseStationRecord& record) {
  return std::string("http://") + record.addressText + "/admin/logout.htm";
}

bool IsHttpError(long status) {
  return (status >= 400 && status <= 417) || (status >= 500 && status <= 505);
}

std::string FormEncode(const std::string& value) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size() * 3);
  for (const char c : value) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
        b == '.' || b == '_' || b == '~') {
      out += c;
    } else if (b == ' ') {
      out += '+';
    } else {
      out += '%';
      out += hex[b >> 4];
      out += hex[b & 0x0F];
    }
  }
  return out;
}

std::string LoginBody(const std::string& user, const std::string& password) {
  return "cache=&protocol=http&username=" + FormEncode(user) + "&password=" + FormEncode(password) +
         "&btLogin=Login";
}

std::string TickFileName() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const unsigned long ticks =
      static_cast<unsigned long>(now.tv_sec * 1000 + now.tv_nsec / 1000000) & 0xFFFFFFFFul;
  char name[32];
  std::snprintf(name, sizeof name, "%08lX.cfg", ticks);
  return name;
}

WebTimeouts CurrentWebTimeouts() {
  std::lock_guard<std::mutex> hold(timeoutsLock);
  return timeouts;
}

void SetWebTimeouts(const WebTimeouts& value) {
  std::lock_guard<std::mutex> hold(timeoutsLock);
  timeouts = value;
}

std::string WebResult::ErrorText() const { return curl_easy_strerror(static_cast<CURLcode>(code)); }

WebSession::WebSession() : curl_(curl_easy_init()) {
  if (!curl_) return;
  const WebTimeouts t = CurrentWebTimeouts();
  // An empty cookie file turns the cookie engine on without reading any file.
  curl_easy_setopt(curl_, CURLOPT_COOKIEFILE, "");
  curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 1L);
  curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, WriteToFile);
  curl_easy_setopt(curl_, CURLOPT_WRITEDATA, nullptr);
  // The form's thread may not be the only thread: no signals for the time-outs.
  curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT_MS, t.connectMs);
  curl_easy_setopt(curl_, CURLOPT_TIMEOUT_MS, t.totalMs);
  // A stalled answer: less than one byte a second for the stall time.
  curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, (t.stallMs + 999) / 1000);
}

WebSession::~WebSession() {
  if (curl_) curl_easy_cleanup(curl_);
}

void WebSession::SetUserAgent() {
  if (curl_) curl_easy_setopt(curl_, CURLOPT_USERAGENT, kUserAgent);
}

void WebSession::SetHeaderFile(FILE* headers) {
  headers_ = headers;
  if (!curl_) return;
  if (headers) {
    curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, WriteToFile);
    curl_easy_setopt(curl_, CURLOPT_HEADERDATA, headers);
  } else {
    curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, nullptr);
    curl_easy_setopt(curl_, CURLOPT_HEADERDATA, nullptr);
  }
}

WebResult WebSession::Get(const std::string& url, FILE* answer) {
  if (!curl_) return WebResult{CURLE_FAILED_INIT, 0};
  curl_easy_setopt(curl_, CURLOPT_HTTPGET, 1L);
  return Perform(url, answer);
}

WebResult WebSession::Post(const std::string& url, const std::string& body, FILE* answer) {
  if (!curl_) return WebResult{CURLE_FAILED_INIT, 0};
  curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(curl_, CURLOPT_COPYPOSTFIELDS, body.c_str());
  return Perform(url, answer);
}

WebResult WebSession::Perform(const std::string& url, FILE* answer) {
  curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl_, CURLOPT_WRITEDATA, answer);
  WebResult result;
  result.code = curl_easy_perform(curl_);
  long status = 0;
  curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
  result.status = status;
  if (answer) std::fflush(answer);
  return result;
}

WebResult GetLoginPage(WebSession& session, const BaseStationRecord& record, FILE* answer) {
  return session.Get(ModuleUrl(record, kLoginPagePath), answer);
}

WebResult PostLogin(WebSession& session, const BaseStationRecord& record,
                    const std::string& loginBody, FILE* answer) {
  session.SetUserAgent();
  return session.Post(ModuleUrl(record, kLoginFormPath), loginBody, answer);
}

WebResult PostForm(WebSession& session, const BaseStationRecord& record, const char* path,
                   const std::string& body, FILE* answer) {
  return session.Post(ModuleUrl(record, path), body, answer);
}

WebResult Download(WebSession& session, const BaseStationRecord& record, const char* path,
                   FILE* target) {
  return session.Get(ModuleUrl(record, path), target);
}

int SetHostName(RowSink& rows, WebSession* session, const BaseStationRecord* record,
                const std::string& hostName, FILE* answer) {
  if (session == nullptr || !session->Valid() || record == nullptr || hostName.empty()) return -2;
  const WebResult r = PostForm(*session, *record, kAdvancedNetworkFormPath,
                               "host_name=" + FormEncode(hostName) + "&Submit=Apply", answer);
  rows.AddRow("Set host name", StatusRowText(r), r.Ok() ? ids::kImageSuccess : ids::kImageFailure,
              r.Kind());
  rows.KeepPainting();
  return r.Ok() && !IsHttpError(r.status) ? 0 : -1;
}

void LogoutFromModule(RowSink& rows, WebSession* session, const BaseStationRecord* station,
                      const std::string& folder) {
  if (station == nullptr || session == nullptr || !session->Valid()) return;
  const std::string path = folder + kLogoutFile;
  FILE* file = std::fopen(path.c_str(), "w+");
  const WebResult r = session->Get(LogoutUrl(*station), file);
  const int row = rows.AddRow("Log out", StatusRowText(r),
                              r.Ok() ? ids::kImageSuccess : ids::kImageFailure, r.Kind());
  if (!r.Ok()) rows.SetText(row, 2, r.ErrorText());
  rows.KeepPainting();
  if (file) std::fclose(file);
  std::remove(path.c_str());
}

}  // namespace qelta::network
