#pragma once
// What qelta-sim runs: any mix of roles (a device on a pty or a TCP tunnel, Ethernet modules,
// ...). Each kind of role brings its own command-line options in its own file and registers them
// with a static RoleOptionsRegistration; main() needs no change for a new kind.

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace qelta::sim {

class SimRole {
 public:
  virtual ~SimRole() = default;
  // Starts serving; lines meant for the caller (a pty path) go to `out`. False with `error` set
  // when the role cannot run.
  virtual bool Start(std::ostream& out, std::string& error) = 0;
  virtual void Stop() = 0;
  // SIGUSR1, and once more after Stop() at exit: save whatever the role keeps.
  virtual void Save() {}
};

class RoleOptions {
 public:
  virtual ~RoleOptions() = default;
  virtual void AddOptions(CLI::App& app) = 0;
  // After parsing: the roles the options ask for (none when the kind was not asked for). False
  // with `error` set when the options do not fit together.
  virtual bool CreateRoles(std::vector<std::unique_ptr<SimRole>>& roles, std::string& error) = 0;
};

std::vector<RoleOptions*>& RegisteredRoleOptions();

struct RoleOptionsRegistration {
  explicit RoleOptionsRegistration(RoleOptions& options) {
    RegisteredRoleOptions().push_back(&options);
  }
};

}  // namespace qelta::sim
