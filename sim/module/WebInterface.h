// The simulated Ethernet module's web interface: the login page, the login form that sets a
// session cookie, the configuration forms (each checks the cookie and records what it received),
// the logout page, the reboot form (the interface falls silent for a while, then answers again)
// and the configuration backup "FS/CFG/backup.cfg", an XML document made from the module's
// settings. Knobs: a forced status for every answer (4xx, 5xx) and a module that accepts
// connections and never answers, a delay before every answer (a slow module).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace qelta::sim {

// The settings the forms change and the backup shows.
struct WebModuleSettings {
  std::string description;
  std::string contact;
  std::string location;
  std::string hostName;
  std::string baud = "19200";
  std::string dataBits = "8";
  std::string stopBits = "1";
  std::string parity = "none";
  std::string flowControl = "none";
  int portProfile = 0;
  std::string portDescription;
  // GPIO pins 1 to 5: function and output.
  int gpioFunction[5] = {0, 0, 0, 0, 0};
  int gpioOutput[5] = {0, 0, 0, 0, 0};
  // TCP forwarding of the serial port (the advanced serial form's fields, as posted).
  std::map<std::string, std::string> tcpForwarding;
  bool dhcp = false;
  std::string ip;
  std::string subnet = "255.255.255.0";
  std::string gateway;
};

// One request as the interface received it.
struct WebRequestRecord {
  std::string method;          // "GET" or "POST"
  std::string target;          // path with query, without the leading "/": "Forms/port_config_1?1"
  std::string body;            // as received, not decoded
  std::string userAgent;       // empty when none was sent
  bool sessionCookie = false;  // it carried the cookie of a live session
  int status = 0;              // the status answered
};

struct WebInterfaceOptions {
  uint32_t address = 0x7F000002u;  // host order
  uint16_t port = 80;
  std::string user = "root";
  std::string password = "kqzv";
  WebModuleSettings settings;
  int forcedStatus = 0;   // non-zero: every request is recorded and answered with this status
  bool silent = false;    // accepts connections, never answers
  int restartMs = 1500;   // silence after the reboot form
  int answerDelayMs = 0;  // every answer goes out this much later (a slow module)
  int threads = 0;        // the server's worker threads (0: the library's default)
};

class ModuleWebServer {
 public:
  explicit ModuleWebServer(WebInterfaceOptions options);
  ~ModuleWebServer();
  ModuleWebServer(const ModuleWebServer&) = delete;
  ModuleWebServer& operator=(const ModuleWebServer&) = delete;

  // Binds address:port and serves on threads of its own. False (with a reason) when the port
  // cannot be had.
  bool Start(std::string* error = nullptr);
  void Stop();

  // Called (on a server thread) when the reboot form was accepted, before the silence.
  void SetRebootHook(std::function<void()> hook);
  // The module took another address (a configuration request): the interface falls silent as
  // in a reboot and answers at `address` (host order) afterwards.
  void MoveTo(uint32_t address);

  std::vector<WebRequestRecord> Requests() const;
  // The bodies received at one target ("Forms/login_1"), in order.
  std::vector<std::string> Bodies(const std::string& target) const;
  void ClearRequests();
  WebModuleSettings Settings() const;
  // Changes the settings as the module's own keys would (a setting changed on site).
  void SetSettings(const WebModuleSettings& settings);
  void SetForcedStatus(int status);
  int Reboots() const { return reboots_; }
  // True while the interface is silent after a reboot.
  bool Restarting() const { return restarting_; }
  // The XML backup of the current settings.
  std::string BackupDocument() const;

 private:
  struct Answer {
    int status = 200;
    std::string body;
    std::string contentType = "text/html";
    std::string cookie;  // Set-Cookie value, when one is given
    bool logout = false;
    bool reboot = false;
  };
  bool Listen(std::string* error);
  void Shutdown();
  Answer Handle(const WebRequestRecord& request, const std::string& cookieHeader);
  bool HasSession(const std::string& cookieHeader) const;
  void ApplyForm(const std::string& form, const std::map<std::string, std::string>& fields);
  void Restart();
  void BeginSilence();
  static std::string Document(const WebModuleSettings& settings);

  WebInterfaceOptions options_;
  std::atomic<uint32_t> address_;  // where it listens, host order
  mutable std::mutex lock_;
  std::vector<WebRequestRecord> requests_;
  std::vector<std::string> sessions_;
  uint64_t nextSession_ = 1;
  std::function<void()> rebootHook_;

  std::mutex serverLock_;
  std::unique_ptr<httplib::Server> server_;
  std::thread serverThread_;
  int silentFd_ = -1;
  std::thread restartThread_;
  std::mutex restartLock_;
  std::condition_variable restartWake_;
  bool stopping_ = false;
  std::atomic<int> reboots_{0};
  std::atomic<bool> restarting_{false};
};

// Form bodies: "a=1&b=x+y" into fields, with "+" and %XX decoded.
std::map<std::string, std::string> ParseFormBody(const std::string& body);

}  // namespace qelta::sim
