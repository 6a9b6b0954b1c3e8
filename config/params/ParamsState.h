// What the terminal-parameters area keeps for the whole program run, held by the main form:
// the function-key table of the configuration upload and the read-out's selection table.
#pragma once

#include <array>
#include <vector>

#include "params/ParameterWriter.h"
#include "params/ReadSetup.h"

struct ParamsState {
  qelta::FunctionKeyTable functionKeys{};
  std::vector<qelta::SelectionEntry> selection;
};
