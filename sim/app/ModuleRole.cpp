// The Ethernet module role of qelta-sim: any number of simulated Digi Connect ME modules on
// loopback addresses, each with a type-9 base station behind its serial tunnel.

#include <CLI/CLI.hpp>
#include <iostream>
#include <set>

#include "app/SimRole.h"
#include "device/SimDevice.h"
#include "module/SimulatedModule.h"

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
  explicit ModuleRole(std::vector<ModuleOptions> modules) : modules_(std::move(modules)) {}

  bool Start(std::ostream& out, std::string& error) override {
    for (const ModuleOptions& o : modules_) {
      if (!AddLoopbackAddress(o.identity.address, &error)) {
        error = DottedAddress(o.identity.address) + ": " + error;
        return false;
      }
      host_.AddModule(o);
      out << "module " << DottedAddress(o.identity.address) << " " << o.identity.name
          << (o.silent ? " (silent)" : "") << std::endl;
    }
    return host_.Start(&error);
  }

  void Stop() override { host_.Stop(); }

 private:
  std::vector<ModuleOptions> modules_;
  ModuleHost host_;
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
      o.password = s_.password;
      if (!has(s_.noDevice, i + 1)) {
        DeviceIdentity station;
        station.type = kTypeBaseStation;
        station.id = static_cast<uint16_t>(i + 1);
        o.baseStation = std::make_shared<SimDevice>(station);
        const uint8_t channel = static_cast<uint8_t>(s_.channel);
        o.baseStation->WithMemory(
            [channel](DeviceMemory& memory) { memory.Area(MemoryArea::kPage0)[13] = channel; });
      }
      modules.push_back(std::move(o));
    }
    roles.push_back(std::make_unique<ModuleRole>(std::move(modules)));
    return true;
  }

 private:
  ModuleSettings s_;
};

ModuleRoleOptions moduleRoleOptions;
RoleOptionsRegistration registerModuleRole(moduleRoleOptions);

}  // namespace

}  // namespace qelta::sim
