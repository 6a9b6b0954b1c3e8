// What the terminal-parameters area keeps for the whole program run, held by the main form:
// the function-key table of the configuration upload, the read-out's selection table and what
// the last comparison or checked upload found.
#pragma once

#include <vector>

#include "core/FunctionKeys.h"
#include "params/CheckedWrites.h"
#include "params/FileMemory.h"
#include "params/ReadSetup.h"

struct ParamsState {
  qelta::FunctionKeyTable functionKeys{};
  std::vector<qelta::SelectionEntry> selection;
  // What the last comparison with devices found, and what the last checked upload wrote, one
  // entry per device in list order (for the command line's objects).
  std::vector<qelta::DeviceComparison> comparisons;
  std::vector<qelta::DeviceWrites> writes;
};
