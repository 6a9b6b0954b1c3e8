// What the configuration benches share: rows that are only counted, and a file that sets every
// parameter of the table.
#pragma once

#include <string>

#include "params/OutputRows.h"
#include "params/ParameterTable.h"

namespace qelta::bench {

class CountingRows : public OutputRows {
 public:
  size_t added = 0;
  size_t failures = 0;
  using OutputRows::AddOutputRow;
  using OutputRows::InsertRow;
  void AddOutputRow(const std::string&, const std::string&, int, RowKind kind) override {
    ++added;
    failures += kind == RowKind::Failure;
  }
  void InsertRow(std::size_t, const std::string&, int, RowKind kind) override {
    AddOutputRow("", "", 0, kind);
  }
  void SetRowText(std::size_t, int, const std::string&) override {}
  void DeleteAllRows() override {}
  std::size_t RowCount() const override { return added; }
};

// One valid line per parameter (the reset action left out: it only waits).
inline std::string EveryParameterFile() {
  std::string file;
  for (const ParamDef& def : ParameterTable()) {
    const std::string name(def.name);
    switch (def.kind) {
      case ParamKind::kReset:
        continue;
      case ParamKind::kTextCut20:
      case ParamKind::kTextPad20:
        file += name + ":Benchmark text 20ch\n";
        break;
      case ParamKind::kBtAddress:
        file += name + ":00809800A1B2\n";
        break;
      case ParamKind::kBtName:
        file += name + ":Dock\n";
        break;
      case ParamKind::kFunctionKeyText:
        file += name + ":KEY\n";
        break;
      case ParamKind::kFunctionKeySend:
        file += name + ":1\n";
        break;
      default:
        file += name + ":" + std::to_string(def.low.value_or(1)) + "\n";
        break;
    }
  }
  return file;
}

}  // namespace qelta::bench
