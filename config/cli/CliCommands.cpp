// Every area's subcommands of the command line; each area adds its registrar here.
#include "cli/CliContext.h"

void RegisterParamsSubcommands(CLI::App& app, CliContext& ctx);
void RegisterCheckSubcommands(CLI::App& app, CliContext& ctx);
void RegisterDiffSubcommands(CLI::App& app, CliContext& ctx);
void RegisterNetworkSubcommands(CLI::App& app, CliContext& ctx);
void RegisterDeviceSubcommands(CLI::App& app, CliContext& ctx);
void RegisterFirmwareSubcommands(CLI::App& app, CliContext& ctx);
void RegisterDefaultsSubcommands(CLI::App& app, CliContext& ctx);
void RegisterPortsSubcommands(CLI::App& app, CliContext& ctx);
void RegisterInventorySubcommands(CLI::App& app, CliContext& ctx);

std::vector<CliRegistrar> AllCliRegistrars() {
  return {RegisterShellSubcommands,  RegisterParamsSubcommands,   RegisterCheckSubcommands,
          RegisterDiffSubcommands,   RegisterNetworkSubcommands,  RegisterWebSubcommands,
          RegisterDeviceSubcommands, RegisterDefaultsSubcommands, RegisterFirmwareSubcommands,
          RegisterPortsSubcommands,  RegisterInventorySubcommands};
}
