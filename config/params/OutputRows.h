// What the parameter operations do with the main form's output list. Columns: 0 "Name",
// 1 "Value", 2 "More". Images: 0 failure, 1 success, 2 step, 3 information, -1 none.
#pragma once

#include <cstddef>
#include <string>

#include "core/RowKind.h"

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
  // Appends a row; the value column is set only when `value` is not empty. Without a kind the
  // row takes the one its image implies.
  virtual void AddOutputRow(const std::string& name, const std::string& value, int image,
                            RowKind kind) = 0;
  void AddOutputRow(const std::string& name, const std::string& value, int image) {
    AddOutputRow(name, value, image, KindOfImage(image));
  }
  // Inserts a row with only its name (and image) at `position`.
  virtual void InsertRow(std::size_t position, const std::string& name, int image,
                         RowKind kind) = 0;
  void InsertRow(std::size_t position, const std::string& name, int image) {
    InsertRow(position, name, image, KindOfImage(image));
  }
  virtual void SetRowText(std::size_t row, int column, const std::string& text) = 0;
  virtual void DeleteAllRows() = 0;
  virtual std::size_t RowCount() const = 0;
};

}  // namespace qelta
