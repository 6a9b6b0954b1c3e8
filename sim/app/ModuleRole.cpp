// The Ethernet module role of qelta-sim: any number of simulated Digi Connect ME modules on
// loopback addresses, each with a type-9 base station behind its serial tunnel.

#include <CLI/CLI.hpp>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <set>

#include "app/SimRole.h"
#include "device/DeviceStateFile.h"
#include "device/SimDevice.h"
#include "module/SimulatedModule.h"
#include "module/WebInterface.h"

namespace qelta::sim {

namespace {

struct ModuleSettings {
  unsigned count = 0;
  std::string first = "127.0.0.2";
  std::string name = "BS";
  bool longNames = false;
  bool noMac = false;
  std::string mask = "255.0.0.0";
  std::string gateway = "127.0.0.1";
  bool dhcp = false;
  bool temp = false;
  std::vector<unsigned> silent, refused, held, noDevice;
  std::string malformed = "none";
  int restartMs = 1500;
  std::string password = kModuleDefaultPassword;
  int channel = 1;
  // The modules' web interfaces.
  bool web = false;
  int webPort = 80;
  std::string webUser = "root";
  std::string webPassword = kModuleDefaultPassword;
  int webStatus = 0;
  std::vector<unsigned> webSilent;
  int webDelayMs = 0;
  // The base stations' line: answers paced at this baud rate after their own delay.
  unsigned baud = 0;
  int answerDelayMs = -1;  // -1: the device's own
  int forwardIdleMs = 0;
  // Numbers of the modules (from 1) whose base station answers writes but keeps its old bytes.
  std::vector<unsigned> keepOldBytes;
  // Each base station's state file is DIR/ADDRESS.state (the module's first address).
  std::string stateDir;
};

bool ParseMalformed(const std::string& text, MalformedAnswer& kind) {
  static const std::pair<const char*, MalformedAnswer> kinds[] = {
      {"none", MalformedAnswer::kNone},
      {"truncated", MalformedAnswer::kTruncated},
      {"bad-magic", MalformedAnswer::kBadMagic},
      {"lower-magic", MalformedAnswer::kLowerMagic},
      {"name-overrun", MalformedAnswer::kNameOverrun},
      {"cut-off", MalformedAnswer::kFieldCutOff},
      {"empty", MalformedAnswer::kEmpty},
      {"oversize", MalformedAnswer::kOversize},
      {"garbage", MalformedAnswer::kGarbage}};
  for (const auto& [name, value] : kinds) {
    if (text == name) {
      kind = value;
      return true;
    }
  }
  return false;
}

class ModuleRole : public SimRole {
 public:
  ModuleRole(std::vector<ModuleOptions> modules, std::vector<WebInterfaceOptions> web,
             std::string stateDir)
      : modules_(std::move(modules)), webOptions_(std::move(web)), stateDir_(std::move(stateDir)) {}

  bool Start(std::ostream& out, std::string& error) override {
    for (const ModuleOptions& o : modules_) {
      const std::string state = StateFile(o);
      if (!state.empty() && std::filesystem::exists(state)) {
        StateFileResult loaded = LoadDeviceState(state, *o.baseStation);
        if (!loaded.ok) {
          error = loaded.error;
          return false;
        }
      }
      bool added = false;
      if (!AddLoopbackAddress(o.identity.address, &error, &added)) {
        error = DottedAddress(o.identity.address) + ": " + error;
        return false;
      }
      if (added) addedAddresses_.push_back(o.identity.address);
      host_.AddModule(o);
      out << "module " << DottedAddress(o.identity.address) << " " << o.identity.name
          << (o.silent ? " (silent)" : "") << std::endl;
    }
    if (!host_.Start(&error)) return false;
    for (size_t i = 0; i < webOptions_.size(); ++i) {
      auto server = std::make_unique<ModuleWebServer>(webOptions_[i]);
      if (!server->Start(&error)) return false;
      // The reboot form restarts the whole module: discovery and tunnel fall silent too.
      server->SetRebootHook([this, i] { host_.RestartModule(i); });
      out << "web " << DottedAddress(webOptions_[i].address) << ":" << webOptions_[i].port
          << (webOptions_[i].silent ? " (silent)" : "") << std::endl;
      web_.push_back(std::move(server));
    }
    // A module recovered to another address takes its web interface along.
    host_.SetAddressHook([this](size_t i, const ModuleIdentity& identity) {
      if (i < web_.size()) web_[i]->MoveTo(identity.address);
    });
    return true;
  }

  void Stop() override {
    host_.Stop();  // first: its address hook reaches the web interfaces
    for (auto& server : web_) server->Stop();
  }

  void Save() override {
    for (const ModuleOptions& o : modules_) {
      const std::string state = StateFile(o);
      if (state.empty()) continue;
      StateFileResult saved = SaveDeviceState(state, *o.baseStation);
      if (!saved.ok) std::cerr << "qelta-sim: " << saved.error << std::endl;
    }
  }

  // The addresses this role added go with it (those modules were recovered to go with the host).
  ~ModuleRole() override {
    for (uint32_t address : addedAddresses_) RemoveLoopbackAddress(address);
  }

 private:
  std::vector<ModuleOptions> modules_;
  std::vector<WebInterfaceOptions> webOptions_;
  ModuleHost host_;
  std::vector<std::unique_ptr<ModuleWebServer>> web_;
  std::vector<uint32_t> addedAddresses_;
  std::string stateDir_;

  // The state file of a module's base station; empty without a folder or a station.
  std::string StateFile(const ModuleOptions& o) const {
    if (stateDir_.empty() || !o.baseStation) return {};
    return (std::filesystem::path(stateDir_) / (DottedAddress(o.identity.address) + ".state"))
        .string();
  }
};

class ModuleRoleOptions : public RoleOptions {
 public:
  void AddOptions(CLI::App& app) override {
    app.add_option("--modules", s_.count, "Run this many Ethernet modules (discovery, tunnel)")
        ->check(CLI::Range(0, 4096));
    app.add_option("--module-first", s_.first, "Address of the first module; the next count up");
    app.add_option("--module-name", s_.name, "Module names are NAME-1, NAME-2, ...");
    app.add_flag("--module-long-names", s_.longNames, "Give every module a 100-character name");
    app.add_flag("--module-no-mac", s_.noMac, "Answers carry no MAC field");
    app.add_option("--module-mask", s_.mask, "Subnet mask the modules report");
    app.add_option("--module-gateway", s_.gateway, "Default gateway the modules report");
    app.add_flag("--module-dhcp", s_.dhcp, "The modules report DHCP on");
    app.add_flag("--module-temp", s_.temp, "Modules take 169.254.x.x (temporary) addresses");
    app.add_option("--module-silent", s_.silent, "Numbers (1-based) of modules switched off");
    app.add_option("--module-refuse", s_.refused, "Numbers of modules whose tunnel refuses TCP");
    app.add_option("--module-held", s_.held,
                   "Numbers of modules whose tunnel is held by another client");
    app.add_option("--module-no-device", s_.noDevice,
                   "Numbers of modules with no base station behind the tunnel");
    app.add_option("--module-malformed", s_.malformed,
                   "Answer kind: none, truncated, bad-magic, lower-magic, name-overrun, cut-off, "
                   "empty, oversize, garbage");
    app.add_option("--module-restart-ms", s_.restartMs,
                   "Silence after a configuration or reboot request, ms")
        ->check(CLI::Range(0, 600000));
    app.add_option("--module-password", s_.password, "Password the modules accept");
    app.add_option("--module-channel", s_.channel, "Channel byte of the base stations (0-255)")
        ->check(CLI::Range(0, 255));
    app.add_flag("--module-web", s_.web, "Serve each module's web interface");
    app.add_option("--module-web-port", s_.webPort, "Port of the web interfaces")
        ->check(CLI::Range(1, 65535));
    app.add_option("--module-web-user", s_.webUser, "User name the web interfaces accept");
    app.add_option("--module-web-password", s_.webPassword, "Password the web interfaces accept");
    app.add_option("--module-web-status", s_.webStatus,
                   "Answer every web request with this status (e.g. 403, 500)")
        ->check(CLI::Range(100, 599));
    app.add_option("--module-web-silent", s_.webSilent,
                   "Numbers of modules whose web interface accepts connections and never answers");
    app.add_option("--module-web-delay", s_.webDelayMs,
                   "Every web answer goes out this much later, ms")
        ->check(CLI::Range(0, 600000));
    app.add_option("--module-baud", s_.baud,
                   "The base stations answer at this baud rate through the tunnel (0: unpaced)")
        ->check(CLI::Range(0u, 1000000u));
    app.add_option("--module-forward-idle", s_.forwardIdleMs,
                   "The tunnel sends the line's bytes on once it was idle this long, ms (the "
                   "module's forward on idle; 0: every byte at once)")
        ->check(CLI::Range(0, 10000));
    app.add_option("--module-state-dir", s_.stateDir,
                   "Keep each base station's identity and memory in DIR/ADDRESS.state: loaded at "
                   "start, saved on exit and on SIGUSR1");
    app.add_option("--module-keep-old-bytes", s_.keepOldBytes,
                   "Numbers of modules whose base station answers memory writes as taken but "
                   "keeps its old bytes");
    app.add_option("--module-answer-delay", s_.answerDelayMs,
                   "The base stations' own time to answer, ms")
        ->check(CLI::Range(0, 60000));
  }

  bool CreateRoles(std::vector<std::unique_ptr<SimRole>>& roles, std::string& error) override {
    if (s_.count == 0) return true;
    uint32_t first = 0, mask = 0, gateway = 0;
    if (s_.temp) s_.first = "169.254.10.20";
    if (!ParseDottedAddress(s_.first, first) || !ParseDottedAddress(s_.mask, mask) ||
        !ParseDottedAddress(s_.gateway, gateway)) {
      error = "module addresses must be dotted IPv4 addresses";
      return false;
    }
    MalformedAnswer malformed;
    if (!ParseMalformed(s_.malformed, malformed)) {
      error = "unknown --module-malformed kind " + s_.malformed;
      return false;
    }
    auto has = [](const std::vector<unsigned>& list, unsigned n) {
      return std::find(list.begin(), list.end(), n) != list.end();
    };
    std::vector<ModuleOptions> modules;
    std::vector<WebInterfaceOptions> web;
    for (unsigned i = 0; i < s_.count; ++i) {
      ModuleOptions o;
      o.identity = SampleIdentity(i);
      o.identity.address = first + i;
      o.identity.name = s_.longNames ? std::string(100, static_cast<char>('a' + i % 26))
                                     : s_.name + "-" + std::to_string(i + 1);
      o.identity.hasMac = !s_.noMac;
      o.identity.mask = mask;
      o.identity.gateway = gateway;
      o.identity.dhcp = s_.dhcp;
      o.silent = has(s_.silent, i + 1);
      o.tcpRefused = has(s_.refused, i + 1);
      o.tunnelHeld = has(s_.held, i + 1);
      o.malformed = malformed;
      o.restartMs = s_.restartMs;
      o.forwardIdleMs = s_.forwardIdleMs;
      o.password = s_.password;
      if (!has(s_.noDevice, i + 1)) {
        DeviceIdentity station;
        station.type = kTypeBaseStation;
        station.id = static_cast<uint16_t>(i + 1);
        o.baseStation = std::make_shared<SimDevice>(station);
        const uint8_t channel = static_cast<uint8_t>(s_.channel);
        o.baseStation->WithMemory(
            [channel](DeviceMemory& memory) { memory.Area(MemoryArea::kPage0)[13] = channel; });
        TimingKnobs timing = o.baseStation->Timing();
        timing.baud = s_.baud;
        if (s_.answerDelayMs >= 0)
          timing.answer_delay = std::chrono::milliseconds(s_.answerDelayMs);
        o.baseStation->SetTiming(timing);
        if (has(s_.keepOldBytes, i + 1)) {
          FaultKnobs faults;
          faults.keep_old_bytes = true;
          o.baseStation->SetFaults(faults);
        }
      }
      if (s_.web) {
        WebInterfaceOptions w;
        w.address = o.identity.address;
        w.port = static_cast<uint16_t>(s_.webPort);
        w.user = s_.webUser;
        w.password = s_.webPassword;
        w.forcedStatus = s_.webStatus;
        w.silent = has(s_.webSilent, i + 1);
        w.answerDelayMs = s_.webDelayMs;
        w.restartMs = s_.restartMs;
        w.settings.ip = DottedAddress(o.identity.address);
        w.settings.subnet = DottedAddress(mask);
        w.settings.gateway = DottedAddress(gateway);
        w.settings.dhcp = s_.dhcp;
        w.settings.hostName = o.identity.name;
        web.push_back(std::move(w));
      }
      modules.push_back(std::move(o));
    }
    roles.push_back(std::make_unique<ModuleRole>(std::move(modules), std::move(web), s_.stateDir));
    return true;
  }

 private:
  ModuleSettings s_;
};

ModuleRoleOptions moduleRoleOptions;
RoleOptionsRegistration registerModuleRole(moduleRoleOptions);

}  // namespace

}  // namespace qelta::sim
