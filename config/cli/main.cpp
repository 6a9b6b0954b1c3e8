#include <iostream>

#include "cli/CliContext.h"

int main(int argc, char** argv) {
  return RunCli(argc, argv, std::cout, std::cerr, AllCliRegistrars());
}
