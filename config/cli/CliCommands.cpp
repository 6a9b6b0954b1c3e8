// Every area's subcommands of the command line; each area adds its registrar here.
#include "cli/CliContext.h"

std::vector<CliRegistrar> AllCliRegistrars() { return {RegisterShellSubcommands}; }
