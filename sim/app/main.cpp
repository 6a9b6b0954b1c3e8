// qelta-sim: runs simulated devices (and whatever other roles are registered) until SIGINT,
// SIGTERM or SIGHUP; SIGUSR1 saves state files without stopping. At the end every role stops and
// goes, taking along what it added to the namespace (the modules' addresses on lo).

#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/SimRole.h"

namespace qelta::sim {

std::vector<RoleOptions*>& RegisteredRoleOptions() {
  static std::vector<RoleOptions*> options;
  return options;
}

}  // namespace qelta::sim

int main(int argc, char** argv) {
  using namespace qelta::sim;

  CLI::App app{"qelta-sim: simulated hand terminals, base stations and their line"};
  app.require_subcommand(0);
  for (RoleOptions* options : RegisteredRoleOptions()) options->AddOptions(app);
  CLI11_PARSE(app, argc, argv);

  // Everything here listens or sends; it runs only inside the private network namespace.
  const char* netns = std::getenv("QELTA_NETNS");
  if (!netns || std::string(netns) != "1") {
    std::cerr << "qelta-sim: run me inside scripts/netns\n";
    return 2;
  }

  std::vector<std::unique_ptr<SimRole>> roles;
  std::string error;
  for (RoleOptions* options : RegisteredRoleOptions()) {
    if (!options->CreateRoles(roles, error)) {
      std::cerr << "qelta-sim: " << error << "\n";
      return 2;
    }
  }
  if (roles.empty()) {
    std::cerr << "qelta-sim: nothing to run (see --help)\n";
    return 2;
  }

  // Signals are taken by sigwait below; block them before any thread starts so none of the
  // workers gets them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  int status = 0;
  std::size_t started = 0;
  for (auto& role : roles) {
    if (!role->Start(std::cout, error)) {
      std::cerr << "qelta-sim: " << error << "\n";
      status = 1;
      break;
    }
    ++started;
  }
  std::cout.flush();

  while (status == 0) {
    int sig = 0;
    if (sigwait(&signals, &sig) != 0) continue;
    if (sig == SIGUSR1) {
      for (auto& role : roles) role->Save();
      continue;
    }
    break;
  }
  for (std::size_t i = 0; i < started; ++i) roles[i]->Stop();
  for (std::size_t i = 0; i < started; ++i) roles[i]->Save();
  return status;
}
