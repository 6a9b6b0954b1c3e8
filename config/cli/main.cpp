#include <csignal>
#include <iostream>

#include "cli/CliContext.h"

int main(int argc, char** argv) {
  // A reader that goes away (`| head -1`) must not end the program halfway through a device's
  // memory: writes to stdout then fail, printing stops and the work goes on.
  std::signal(SIGPIPE, SIG_IGN);
  return RunCli(argc, argv, std::cout, std::cerr, AllCliRegistrars(), {},
                qelta::cli::StdoutTerminal());
}
