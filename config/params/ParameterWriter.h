// Writes named parameters of a configuration file into the device, checking each value against
// its range first, and keeps the function-key table that is written in one pass at the end.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/FunctionKeys.h"
#include "params/OutputRows.h"
#include "params/ParamLink.h"

namespace qelta {

class ParameterWriter {
 public:
  ParameterWriter(ParamLink& link, OutputRows& rows, FunctionKeyTable& keys)
      : link_(link), rows_(rows), keys_(keys) {}

  // The page every parameter goes to: 2 for a hand terminal, 0 for a base station.
  void SetTargetPage(int16_t page) { page_ = page; }
  int16_t TargetPage() const { return page_; }

  // Handles one `name:value` line. False only when a link write failed; unknown names, comments
  // and out-of-range values are not failures.
  bool WriteParameter(const std::string& name, const std::string& value);
  // Writes the collected function-key texts on page 2. False when a write failed.
  bool WriteFunctionKeys();
  // Empties the texts; the send flags are kept from one upload to the next.
  void ClearFunctionKeys();

 private:
  bool WriteNumber(int16_t address, int32_t value);
  bool WriteText(int16_t address, const std::string& text);

  ParamLink& link_;
  OutputRows& rows_;
  int16_t page_ = 2;
  FunctionKeyTable& keys_;
};

}  // namespace qelta
