// The Ethernet modules' web client: the form paths and bodies, one libcurl easy handle per
// operation (its cookie store carries the login to the later requests), answers written to files,
// the HTTP error test, and the steps other operations reuse: the login conversation, the host
// name form and the logout. A session belongs to one thread at a time: the form's, or the worker
// of a station worked on beside others.
#pragma once

#include <cstdio>
#include <string>

#include "core/RowSink.h"
#include "network/BaseStationRecord.h"
#include "network/CurlGlobal.h"

typedef void CURL;

namespace qelta::network {

// Paths on the module, relative to its address.
inline constexpr const char* kLoginPagePath = "login.htm";
inline constexpr const char* kLoginFormPath = "Forms/login_1";
inline constexpr const char* kGpioFormPath = "Forms/gpio_config_1";
inline constexpr const char* kSerialFormPath = "Forms/port_config_1?1";
inline constexpr const char* kProfileFormPath = "Forms/port_config_select_profile_1?1";
inline constexpr const char* kAdvancedSerialFormPath = "Forms/port_advanced_config_1?1";
inline constexpr const char* kNetworkFormPath = "Forms/network_config_1";
inline constexpr const char* kAdvancedNetworkFormPath = "Forms/network_advanced_config_1";
inline constexpr const char* kSystemFormPath = "Forms/system_config_1";
inline constexpr const char* kRebootFormPath = "Forms/reboot_1";
inline constexpr const char* kBackupPath = "FS/CFG/backup.cfg";

inline constexpr const char* kUserAgent = "Tervana Qelta Configurator";
inline constexpr const char* kRebootBody = "Submit=Reboot";
inline constexpr const char* kDhcpBody = "rbDHCP=on&Submit=Apply";

// "http://<address>/<path>" and "http://<address>/admin/logout.htm".
std::string ModuleUrl(const BaseStationRecord& record, const char* path);
std::string LogoutUrl(const BaseStationRecord& record);

// A status of 400-417 or 500-505; 0 (no answer) and every other code are not errors.
bool IsHttpError(long status);

// Form encoding of a value typed by the user: letters, digits and "-._~" stay, a blank becomes
// "+", every other byte becomes %XX. Without it a password holding "&" or "=" would cut the body.
std::string FormEncode(const std::string& value);
// "cache=&protocol=http&username=...&password=...&btLogin=Login" with both values form-encoded.
std::string LoginBody(const std::string& user, const std::string& password);

// "%08lX.cfg" from the millisecond tick count: the name of a scratch or download file.
std::string TickFileName();

// Limits of every transfer. A slow module gets plenty of time; a module that accepts the
// connection and then never answers ends the transfer with a failure instead of a hang.
struct WebTimeouts {
  long connectMs = 15000;
  long stallMs = 30000;   // no byte received for this long
  long totalMs = 120000;  // one request at most
};
WebTimeouts CurrentWebTimeouts();
void SetWebTimeouts(const WebTimeouts& timeouts);  // tests shorten them

// The outcome of one request.
struct WebResult {
  int code = 0;     // libcurl's result: 0 when the transfer worked
  long status = 0;  // the HTTP status, 0 when none came
  bool Ok() const { return code == 0; }
  // libcurl's text for the code.
  std::string ErrorText() const;
  // "OK" or "FAILED".
  const char* Word() const { return Ok() ? "OK" : "FAILED"; }
  // What the request's row says, whatever image it shows: a transfer that failed or an HTTP
  // error status (a refused login, a form the module did not take) is a failure.
  qelta::RowKind Kind() const {
    return Ok() && !IsHttpError(status) ? qelta::RowKind::Success : qelta::RowKind::Failure;
  }
};

// One libcurl easy handle, created for one operation and cleaned up with it. The cookie engine is
// on from the first request, so the login's cookie goes with every later request of the handle.
class WebSession {
 public:
  WebSession();
  ~WebSession();
  WebSession(const WebSession&) = delete;
  WebSession& operator=(const WebSession&) = delete;

  // False when libcurl could not create the handle.
  bool Valid() const { return curl_ != nullptr; }
  CURL* Handle() { return curl_; }

  // From now on every request carries the user agent "Tervana Qelta Configurator".
  void SetUserAgent();
  // The file that receives the response headers of the following requests (null: none).
  void SetHeaderFile(FILE* headers);

  // A GET (never re-sending an earlier body) or a POST of body; the answer's bytes go to `answer`
  // (null: discarded).
  WebResult Get(const std::string& url, FILE* answer);
  WebResult Post(const std::string& url, const std::string& body, FILE* answer);

 private:
  WebResult Perform(const std::string& url, FILE* answer);

  CURL* curl_ = nullptr;
  FILE* headers_ = nullptr;
};

// The opening of every operation on a fresh session: GET the login page, then (user agent set)
// POST the login body. Each result is handed back; whether to go on is the caller's choice.
WebResult GetLoginPage(WebSession& session, const BaseStationRecord& record, FILE* answer);
WebResult PostLogin(WebSession& session, const BaseStationRecord& record,
                    const std::string& loginBody, FILE* answer);
// POST body to a path of the module.
WebResult PostForm(WebSession& session, const BaseStationRecord& record, const char* path,
                   const std::string& body, FILE* answer);
// GET a path of the module into a file (the settings backup).
WebResult Download(WebSession& session, const BaseStationRecord& record, const char* path,
                   FILE* target);

// What a request's row shows: "OK (200)", "FAILED (0)"; and "HTTP: 404".
std::string StatusRowText(const WebResult& result);
std::string HttpRowText(long status);

// Posts "host_name=...&Submit=Apply" (the name form-encoded) to the advanced network form and adds
// the row "Set host name". 0 on success, -1 on a failed transfer or an HTTP error status, -2 (no
// row, nothing sent) when the session, record or host name is missing or the name is empty.
int SetHostName(RowSink& rows, WebSession* session, const BaseStationRecord* record,
                const std::string& hostName, FILE* answer = nullptr);

// GET the station's logout page into "ethlogout.tmp" in `folder`, add the row "Log out", delete
// the file. Nothing without a station or a session.
void LogoutFromModule(RowSink& rows, WebSession* session, const BaseStationRecord* station,
                      const std::string& folder);

}  // namespace qelta::network
