// Where an operation reports what it does: rows of the output list and changes of the rows it
// added, notices and beeps. The form's list takes them at once; a station worked on beside others
// keeps them in its block, which the form replays in the station's turn.
#pragma once

#include <string>

#include "core/RowKind.h"
#include "ui/UiPort.h"

namespace qelta {

class RowSink {
 public:
  virtual ~RowSink() = default;

  // Appends a row; the answer is the number SetText and SetImage take for it. Without a kind the
  // row takes the one its image implies.
  virtual int AddRow(const std::string& name, const std::string& value, int image,
                     RowKind kind) = 0;
  int AddRow(const std::string& name, const std::string& value, int image) {
    return AddRow(name, value, image, KindOfImage(image));
  }
  virtual void SetText(int row, int column, const std::string& text) = 0;
  virtual void SetImage(int row, int image, RowKind kind) = 0;
  void SetImage(int row, int image) { SetImage(row, image, KindOfImage(image)); }
  virtual void DeleteAllRows() = 0;

  // A message box that only tells: questions are asked before the work starts.
  virtual void Message(const std::string& text, const std::string& caption, MessageButtons buttons,
                       MessageIcon icon) = 0;
  // An error notice with the error icon.
  void Notice(const std::string& text, const std::string& caption) {
    Message(text, caption, MessageButtons::Ok, MessageIcon::Error);
  }
  virtual void Beep() = 0;
  // Lets a window paint what has changed so far (nothing where nobody watches).
  virtual void KeepPainting() = 0;
};

}  // namespace qelta
