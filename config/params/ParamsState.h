// What the terminal-parameters area keeps for the whole program run, held by the main form:
// the function-key table of the configuration upload and the read-out's selection table.
#pragma once

#include <vector>

#include "core/FunctionKeys.h"
#include "params/ReadSetup.h"

struct ParamsState {
  qelta::FunctionKeyTable functionKeys{};
  std::vector<qelta::SelectionEntry> selection;
};
