#include "module/WebInterface.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace qelta::sim {
namespace {

constexpr const char* kCookieName = "DigiSession";

std::string Dotted(uint32_t hostOrder) {
  in_addr a{};
  a.s_addr = htonl(hostOrder);
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Decode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string XmlEscape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Page(const std::string& title, const std::string& text) {
  return "<html><head><title>" + title + "</title></head><body><h1>" + title + "</h1><p>" + text +
         "</p></body></html>\n";
}

const char* kLoginPage =
    "<html><head><title>Login</title></head><body>\n"
    "<form action=\"/Forms/login_1\" method=\"post\">\n"
    "<input type=\"hidden\" name=\"cache\"><input type=\"hidden\" name=\"protocol\" "
    "value=\"http\">\n"
    "<input name=\"username\"><input type=\"password\" name=\"password\">\n"
    "<input type=\"submit\" name=\"btLogin\" value=\"Login\">\n"
    "</form></body></html>\n";

// The value of the session cookie in a Cookie header, empty when it has none.
std::string SessionToken(const std::string& header) {
  const std::string key = std::string(kCookieName) + "=";
  size_t start = 0;
  while (start < header.size()) {
    size_t end = header.find(';', start);
    if (end == std::string::npos) end = header.size();
    size_t first = header.find_first_not_of(' ', start);
    if (first != std::string::npos && first < end && header.compare(first, key.size(), key) == 0)
      return header.substr(first + key.size(), end - first - key.size());
    start = end + 1;
  }
  return "";
}

}  // namespace

std::map<std::string, std::string> ParseFormBody(const std::string& body) {
  std::map<std::string, std::string> fields;
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string pair = body.substr(start, end - start);
    if (!pair.empty()) {
      const size_t eq = pair.find('=');
      if (eq == std::string::npos) {
        fields[Decode(pair)] = "";
      } else {
        fields[Decode(pair.substr(0, eq))] = Decode(pair.substr(eq + 1));
      }
    }
    start = end + 1;
  }
  return fields;
}

ModuleWebServer::ModuleWebServer(WebInterfaceOptions options)
    : options_(std::move(options)), address_(options_.address) {
  if (options_.settings.ip.empty()) options_.settings.ip = Dotted(options_.address);
}

ModuleWebServer::~ModuleWebServer() { Stop(); }

void ModuleWebServer::SetRebootHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> hold(lock_);
  rebootHook_ = std::move(hook);
}

bool ModuleWebServer::Start(std::string* error) {
  {
    std::lock_guard<std::mutex> hold(restartLock_);
    stopping_ = false;
  }
  return Listen(error);
}

bool ModuleWebServer::Listen(std::string* error) {
  std::lock_guard<std::mutex> hold(serverLock_);
  const uint32_t address = address_;
  const std::string host = Dotted(address);
  if (options_.silent) {
    // The kernel completes the connections in the backlog; nobody ever reads them.
    silentFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(silentFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(options_.port);
    a.sin_addr.s_addr = htonl(address);
    if (silentFd_ < 0 || ::bind(silentFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(silentFd_, 16) != 0) {
      if (error) *error = host + ": " + std::strerror(errno);
      if (silentFd_ >= 0) ::close(silentFd_);
      silentFd_ = -1;
      return false;
    }
    return true;
  }

  auto server = std::make_unique<httplib::Server>();
  auto serve = [this](const httplib::Request& req, httplib::Response& res) {
    WebRequestRecord r;
    r.method = req.method;
    r.target = req.target.empty() || req.target[0] != '/' ? req.target : req.target.substr(1);
    r.body = req.body;
    r.userAgent = req.get_header_value("User-Agent");
    const std::string cookies = req.get_header_value("Cookie");
    // The module takes its time before it answers; other connections are served meanwhile.
    if (options_.answerDelayMs > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(options_.answerDelayMs));
    const Answer a = Handle(r, cookies);
    res.status = a.status;
    if (!a.cookie.empty()) res.set_header("Set-Cookie", a.cookie);
    res.set_content(a.body, a.contentType.c_str());
    if (a.reboot) Restart();
  };
  if (options_.threads > 0) {
    const auto threads = static_cast<size_t>(options_.threads);
    server->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  }
  // The same socket options as the silent interface: an address whose earlier connections still
  // wait out their close can be bound again, and one that a live interface listens on cannot (the
  // library's own choice, port sharing, would let two interfaces split the connections and would
  // keep a silent interface from binding after a served one).
  server->set_socket_options([](int fd) {
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  });
  server->Get(".*", serve);
  server->Post(".*", serve);
  server->set_keep_alive_timeout(2);
  if (!server->bind_to_port(host, options_.port)) {
    if (error) *error = host + ":" + std::to_string(options_.port) + ": cannot bind";
    return false;
  }
  httplib::Server* running = server.get();
  server_ = std::move(server);
  serverThread_ = std::thread([running] { running->listen_after_bind(); });
  // The server takes a stop only once it runs (a stop before that is lost and its thread accepts
  // for ever): the interface counts as started when it listens.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!running->is_running() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

void ModuleWebServer::Shutdown() {
  std::lock_guard<std::mutex> hold(serverLock_);
  if (server_) server_->stop();
  if (serverThread_.joinable()) serverThread_.join();
  server_.reset();
  if (silentFd_ >= 0) ::close(silentFd_);
  silentFd_ = -1;
}

void ModuleWebServer::Stop() {
  {
    std::lock_guard<std::mutex> hold(restartLock_);
    stopping_ = true;
  }
  restartWake_.notify_all();
  if (restartThread_.joinable()) restartThread_.join();
  Shutdown();
}

void ModuleWebServer::Restart() {
  // Runs on a server thread: the silence begins once this answer has gone out.
  ++reboots_;
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> hold(lock_);
    sessions_.clear();
    hook = rebootHook_;
  }
  if (hook) hook();
  BeginSilence();
}

void ModuleWebServer::MoveTo(uint32_t address) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    sessions_.clear();
    options_.settings.ip = Dotted(address);
    options_.settings.dhcp = false;
  }
  address_ = address;  // where the interface listens again after the silence
  BeginSilence();
}

void ModuleWebServer::BeginSilence() {
  // One silence at a time: a second reboot before the interface has gone quiet joins the first.
  if (restarting_.exchange(true)) return;
  std::lock_guard<std::mutex> hold(restartLock_);
  if (stopping_) return;
  // The previous restart has listened again and touches nothing more.
  if (restartThread_.joinable()) restartThread_.join();
  restartThread_ = std::thread([this] {
    std::unique_lock<std::mutex> wait(restartLock_);
    restartWake_.wait_for(wait, std::chrono::milliseconds(100), [this] { return stopping_; });
    wait.unlock();
    Shutdown();
    wait.lock();
    restartWake_.wait_for(wait, std::chrono::milliseconds(options_.restartMs),
                          [this] { return stopping_; });
    const bool listen = !stopping_;
    wait.unlock();
    if (listen) Listen(nullptr);
    // Last: a reboot that sees this cleared may join this thread at once.
    restarting_ = false;
  });
}

bool ModuleWebServer::HasSession(const std::string& cookieHeader) const {
  const std::string token = SessionToken(cookieHeader);
  for (const std::string& s : sessions_)
    if (!token.empty() && token == s) return true;
  return false;
}

void ModuleWebServer::ApplyForm(const std::string& form,
                                const std::map<std::string, std::string>& f) {
  WebModuleSettings& s = options_.settings;
  auto get = [&f](const char* name, std::string& target) {
    auto it = f.find(name);
    if (it != f.end()) target = it->second;
  };
  if (form == "Forms/system_config_1") {
    get("device_name", s.description);
    get("contact", s.contact);
    get("location", s.location);
  } else if (form == "Forms/network_advanced_config_1") {
    get("host_name", s.hostName);
  } else if (form == "Forms/network_config_1") {
    auto it = f.find("rbDHCP");
    if (it != f.end()) s.dhcp = it->second == "on";
    get("ip_addr", s.ip);
    get("submask", s.subnet);
    get("gw_addr", s.gateway);
  } else if (form == "Forms/port_config_1?1") {
    get("baud_rate", s.baud);
    get("data_size", s.dataBits);
    get("stop_bits", s.stopBits);
    auto parity = f.find("parity");
    if (parity != f.end()) s.parity = parity->second == "0" ? "none" : parity->second;
    get("flow_control", s.flowControl);
    get("description", s.portDescription);
  } else if (form == "Forms/gpio_config_1") {
    for (int pin = 1; pin <= 5; ++pin) {
      auto function = f.find("selGpioPin?" + std::to_string(pin));
      if (function != f.end()) s.gpioFunction[pin - 1] = std::atoi(function->second.c_str());
      auto output = f.find("selGpioOutput?" + std::to_string(pin));
      if (output != f.end()) s.gpioOutput[pin - 1] = std::atoi(output->second.c_str());
    }
  } else if (form == "Forms/port_advanced_config_1?1") {
    for (const auto& [name, value] : f)
      if (name.rfind("tcp_", 0) == 0) s.tcpForwarding[name] = value;
  } else if (form == "Forms/port_config_select_profile_1?1") {
    auto it = f.find("port_profile");
    if (it != f.end()) s.portProfile = std::atoi(it->second.c_str());
  }
}

ModuleWebServer::Answer ModuleWebServer::Handle(const WebRequestRecord& request,
                                                const std::string& cookieHeader) {
  std::lock_guard<std::mutex> hold(lock_);
  WebRequestRecord r = request;
  r.sessionCookie = HasSession(cookieHeader);
  Answer a;
  const std::string& t = r.target;
  if (options_.forcedStatus != 0) {
    a.status = options_.forcedStatus;
    a.body = Page("Error", "status " + std::to_string(a.status));
  } else if (t == "login.htm" && r.method == "GET") {
    a.body = kLoginPage;
  } else if (t == "Forms/login_1" && r.method == "POST") {
    const auto fields = ParseFormBody(r.body);
    auto value = [&fields](const char* name) {
      auto it = fields.find(name);
      return it == fields.end() ? std::string() : it->second;
    };
    if (value("username") == options_.user && value("password") == options_.password) {
      const std::string token =
          std::to_string(nextSession_++) + "x" + std::to_string(address_ & 0xFFFF);
      sessions_.push_back(token);
      a.cookie = std::string(kCookieName) + "=" + token + "; Path=/";
      a.body = Page("Home", "Logged in.");
    } else {
      // As the module does: the login page again, with a plain 200.
      a.body = Page("Login", "Login failed.");
    }
  } else if (t == "admin/logout.htm" && r.method == "GET") {
    const std::string token = SessionToken(cookieHeader);
    std::erase(sessions_, token);
    a.body = Page("Logout", "Logged out.");
  } else if (!r.sessionCookie && (t.rfind("Forms/", 0) == 0 || t.rfind("FS/", 0) == 0)) {
    a.status = 403;
    a.body = Page("Forbidden", "Log in first.");
  } else if (t == "Forms/reboot_1" && r.method == "POST") {
    a.body = Page("Reboot", "Rebooting.");
    a.reboot = ParseFormBody(r.body).count("Submit") != 0;
  } else if (t.rfind("Forms/", 0) == 0 && r.method == "POST") {
    ApplyForm(t, ParseFormBody(r.body));
    a.body = Page("Settings", "Settings applied.");
  } else if (t == "FS/CFG/backup.cfg" && r.method == "GET") {
    a.body = Document(options_.settings);
    a.contentType = "text/xml";
  } else {
    a.status = 404;
    a.body = Page("Not found", t);
  }
  r.status = a.status;
  requests_.push_back(std::move(r));
  return a;
}

std::string ModuleWebServer::BackupDocument() const {
  std::lock_guard<std::mutex> hold(lock_);
  return Document(options_.settings);
}

std::string ModuleWebServer::Document(const WebModuleSettings& s) {
  auto e = [](const char* name, const std::string& value) {
    return std::string("    <") + name + ">" + XmlEscape(value) + "</" + name + ">\n";
  };
  std::string x = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
  x += "<!-- configuration backup -->\n<settings version=\"1\">\n";
  x += "  <system>\n" + e("description", s.description) + e("contact", s.contact) +
       e("location", s.location) + "  </system>\n";
  x += "  <serial port=\"1\">\n" + e("baud", s.baud) + e("databits", s.dataBits) +
       e("stopbits", s.stopBits) + e("parity", s.parity) + e("flowcontrol", s.flowControl) +
       e("profile", std::to_string(s.portProfile)) + e("portdescription", s.portDescription);
  // The advanced serial form's fields under their names without underscores.
  for (const auto& [name, value] : s.tcpForwarding) {
    std::string element;
    for (const char c : name)
      if (c != '_') element += c;
    x += e(element.c_str(), value);
  }
  x += "  </serial>\n  <gpio>\n";
  for (int pin = 1; pin <= 5; ++pin) {
    x += e(("pin" + std::to_string(pin)).c_str(), std::to_string(s.gpioFunction[pin - 1]));
    x += e(("output" + std::to_string(pin)).c_str(), std::to_string(s.gpioOutput[pin - 1]));
  }
  x += "  </gpio>\n";
  x += "  <boot>\n" + e("dhcp", s.dhcp ? "on" : "off") + e("ip", s.ip) + e("subnet", s.subnet) +
       e("gateway", s.gateway) + e("hostname", s.hostName) + "  </boot>\n";
  x += "</settings>\n";
  return x;
}

std::vector<WebRequestRecord> ModuleWebServer::Requests() const {
  std::lock_guard<std::mutex> hold(lock_);
  return requests_;
}

std::vector<std::string> ModuleWebServer::Bodies(const std::string& target) const {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<std::string> bodies;
  for (const auto& r : requests_)
    if (r.target == target) bodies.push_back(r.body);
  return bodies;
}

void ModuleWebServer::ClearRequests() {
  std::lock_guard<std::mutex> hold(lock_);
  requests_.clear();
}

WebModuleSettings ModuleWebServer::Settings() const {
  std::lock_guard<std::mutex> hold(lock_);
  return options_.settings;
}

void ModuleWebServer::SetSettings(const WebModuleSettings& settings) {
  std::lock_guard<std::mutex> hold(lock_);
  options_.settings = settings;
}

void ModuleWebServer::SetForcedStatus(int status) {
  std::lock_guard<std::mutex> hold(lock_);
  options_.forcedStatus = status;
}

}  // namespace qelta::sim
