// What the parameter operations do with the main form's output list. Columns: 0 "Name",
// 1 "Value", 2 "More". Images: 0 failure, 1 success, 2 step, 3 information, -1 none.
#pragma once

#include <cstddef>
#include <string>

namespace qelta {

enum OutputImage : int {
  kImageNone = -1,
  kImageFailure = 0,
  kImageSuccess = 1,
  kImageStep = 2,
  kImageInfo = 3,
};

class OutputRows {
 public:
  virtual ~OutputRows() = default;
  // Appends a row; the value column is set only when `value` is not empty.
  virtual void AddOutputRow(const std::string& name, const std::string& value, int image) = 0;
  // Inserts a row with only its name (and image) at `position`.
  virtual void InsertRow(std::size_t position, const std::string& name, int image) = 0;
  virtual void SetRowText(std::size_t row, int column, const std::string& text) = 0;
  virtual void DeleteAllRows() = 0;
  virtual std::size_t RowCount() const = 0;
};

}  // namespace qelta
