// The simulated device role of qelta-sim: one hand terminal or base station on a pty or behind a
// TCP serial tunnel, with its state file, traffic log and fault knobs.

#include <CLI/CLI.hpp>
#include <iostream>

#include "app/SimRole.h"
#include "device/BootRomLoader.h"
#include "device/DeviceStateFile.h"
#include "device/SimDevice.h"
#include "device/TrafficLog.h"
#include "transport/DeviceRunner.h"
#include "transport/PtyEndpoint.h"
#include "transport/TcpTunnelEndpoint.h"

namespace qelta::sim {

namespace {

struct DeviceSettings {
  DeviceIdentity identity;
  bool identity_given[4] = {};  // type, version, id, date: given on the command line
  std::string date_text;
  bool pty = false;
  std::string tcp;
  std::string state_file;
  std::string log_file;
  FaultKnobs faults;
  TimingKnobs timing;
  unsigned extra_delay_ms = 0;
  unsigned late_end_ms = 0;
  unsigned answer_delay_ms = 2;
  DeviceResponses responses;
  bool boot_mode = false;
};

class DeviceRole : public SimRole {
 public:
  explicit DeviceRole(const DeviceSettings& settings) : settings_(settings) {}

  bool Start(std::ostream& out, std::string& error) override {
    // Firmware loading works like on a real device: the update loader answers from normal mode,
    // the ROM loader when the device was switched on in boot mode. Installed first, so that the
    // state file can give it back its flash.
    BootRomLoader::InstallInto(device_);
    if (!settings_.state_file.empty() && FileExists(settings_.state_file)) {
      StateFileResult loaded = LoadDeviceState(settings_.state_file, device_);
      if (!loaded.ok) {
        error = loaded.error;
        return false;
      }
    }
    // The command line wins over the state file for what it names.
    DeviceIdentity identity = device_.Identity();
    if (settings_.identity_given[0]) identity.type = settings_.identity.type;
    if (settings_.identity_given[1]) identity.version = settings_.identity.version;
    if (settings_.identity_given[2]) identity.id = settings_.identity.id;
    if (settings_.identity_given[3]) identity.date = settings_.identity.date;
    device_.SetIdentity(identity);
    device_.SetFaults(settings_.faults);
    device_.SetTiming(settings_.timing);
    device_.SetResponses(settings_.responses);
    if (settings_.boot_mode) device_.SetBootMode(true);
    if (!settings_.log_file.empty()) {
      if (!log_.Open(settings_.log_file)) {
        error = "cannot open log file " + settings_.log_file;
        return false;
      }
      device_.SetTrafficObserver(log_.Observer());
    }

    std::unique_ptr<SerialEndpoint> endpoint;
    if (settings_.pty) {
      auto pty = std::make_unique<PtyEndpoint>();
      if (!pty->Ok()) {
        error = pty->Error();
        return false;
      }
      out << pty->SlavePath() << std::endl;
      endpoint = std::move(pty);
    } else {
      const auto colon = settings_.tcp.rfind(':');
      unsigned port = 0;
      if (colon == std::string::npos ||
          !CLI::detail::lexical_cast(settings_.tcp.substr(colon + 1), port) || port > 65535) {
        error = "--tcp wants ADDRESS:PORT, got " + settings_.tcp;
        return false;
      }
      auto tcp = std::make_unique<TcpTunnelEndpoint>(settings_.tcp.substr(0, colon),
                                                     static_cast<std::uint16_t>(port));
      if (!tcp->Ok()) {
        error = tcp->Error();
        return false;
      }
      out << settings_.tcp.substr(0, colon) << ":" << tcp->Port() << std::endl;
      endpoint = std::move(tcp);
    }
    runner_ = std::make_unique<DeviceRunner>(device_, std::move(endpoint));
    runner_->Start();
    return true;
  }

  void Stop() override {
    if (runner_) runner_->Stop();
  }

  void Save() override {
    if (settings_.state_file.empty()) return;
    StateFileResult saved = SaveDeviceState(settings_.state_file, device_);
    if (!saved.ok) std::cerr << "qelta-sim: " << saved.error << "\n";
  }

 private:
  static bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

  DeviceSettings settings_;
  SimDevice device_;
  TrafficLog log_;
  std::unique_ptr<DeviceRunner> runner_;
};

class DeviceRoleOptions : public RoleOptions {
 public:
  void AddOptions(CLI::App& app) override {
    type_ =
        app.add_option("--type", type_value_, "Device type code (8 hand terminal, 9 base station)")
            ->check(CLI::Range(0, 255));
    version_ = app.add_option("--version", version_value_, "Software version byte")
                   ->check(CLI::Range(0, 255));
    id_ = app.add_option("--id", id_value_, "Device ID")->check(CLI::Range(0, 65535));
    date_ = app.add_option("--date", s_.date_text, "Manufacturing date D.M.Y (year - 2000)");
    auto pty = app.add_flag("--pty", s_.pty, "Serve on a new pty; prints its path on stdout");
    auto tcp = app.add_option("--tcp", s_.tcp, "Serve a serial tunnel on ADDR:PORT (127.x.x.x)");
    pty->excludes(tcp);
    app.add_option("--state", s_.state_file,
                   "Load identity and memory from FILE, save them on exit and on SIGUSR1");
    app.add_option("--log", s_.log_file, "Append every frame received and sent, in hex, to FILE");
    app.add_flag("--silent", s_.faults.silent, "Never answer");
    app.add_flag("--second-only", s_.faults.answer_second_only,
                 "Answer only the second transmission of a frame");
    app.add_option("--extra-delay", s_.extra_delay_ms, "Extra delay before every answer, ms");
    app.add_flag("--corrupt", s_.faults.corrupt_answers, "Invert every answer byte");
    app.add_option("--garbage", s_.faults.garbage_before_answer,
                   "Send this many garbage bytes before every answer");
    app.add_option("--cut", s_.faults.cut_answer_bytes,
                   "Leave out the last N bytes of every answer (its first byte stays)");
    app.add_option("--late-end", s_.late_end_ms, "Send the last byte of every answer MS later");
    app.add_option("--drop-after", s_.faults.drop_after_frames,
                   "Drop the line after this many frames");
    app.add_flag("--keep-old-bytes", s_.faults.keep_old_bytes,
                 "Answer memory writes as taken but keep the old bytes");
    app.add_option("--baud", s_.timing.baud, "Pace answers at this baud rate (10 bits a byte)");
    app.add_option("--answer-delay", s_.answer_delay_ms, "The device's own answer delay, ms");
    app.add_option("--scan-text", s_.responses.scanned_text, "Bar code the laser scanner reads");
    app.add_flag("--boot-mode", s_.boot_mode,
                 "Start in the ROM loader, as a device switched on with its boot line set");
    app.add_option("--rssi", rssi_value_, "Signal strength byte")->check(CLI::Range(0, 255));
  }

  bool CreateRoles(std::vector<std::unique_ptr<SimRole>>& roles, std::string& error) override {
    if (!s_.pty && s_.tcp.empty()) return true;
    if (*type_) s_.identity.type = static_cast<std::uint8_t>(type_value_);
    if (*version_) s_.identity.version = static_cast<std::uint8_t>(version_value_);
    if (*id_) s_.identity.id = static_cast<std::uint16_t>(id_value_);
    if (*date_) {
      auto date = ParseDeviceDate(s_.date_text);
      if (!date) {
        error = "--date wants D.M.Y with numbers 0 to 255, got " + s_.date_text;
        return false;
      }
      s_.identity.date = *date;
    }
    s_.identity_given[0] = type_->count() > 0;
    s_.identity_given[1] = version_->count() > 0;
    s_.identity_given[2] = id_->count() > 0;
    s_.identity_given[3] = date_->count() > 0;
    s_.faults.extra_delay = std::chrono::milliseconds(s_.extra_delay_ms);
    s_.faults.late_last_byte = std::chrono::milliseconds(s_.late_end_ms);
    s_.timing.answer_delay = std::chrono::milliseconds(s_.answer_delay_ms);
    if (rssi_value_ >= 0) s_.responses.rssi = static_cast<std::uint8_t>(rssi_value_);
    roles.push_back(std::make_unique<DeviceRole>(s_));
    return true;
  }

 private:
  DeviceSettings s_;
  CLI::Option* type_ = nullptr;
  CLI::Option* version_ = nullptr;
  CLI::Option* id_ = nullptr;
  CLI::Option* date_ = nullptr;
  unsigned type_value_ = 9;
  unsigned version_value_ = 1;
  unsigned id_value_ = 0;
  int rssi_value_ = -1;
};

DeviceRoleOptions device_role_options;
RoleOptionsRegistration device_role_registration(device_role_options);

}  // namespace

}  // namespace qelta::sim
