// The main form's fixed layout: every control by identifier, with its kind, text and place in
// dialog units (the form is 376 by 355 units). The window builds its widgets from this table.
#pragma once

#include <QRect>
#include <QString>
#include <span>

namespace qelta::gui {

enum class ControlKind {
  Group,
  Label,
  Button,
  DefaultButton,
  RadioButton,
  DigitsEdit,
  LinkFace,
  List
};

struct FormControl {
  int id;  // 0 for the three groups that have no identifier
  ControlKind kind;
  const char* text;
  QRect dlu;              // x, y, width, height in dialog units
  const char* groupName;  // object name for a group without identifier, else nullptr
};

inline constexpr int kFormWidthDlu = 376;
inline constexpr int kFormHeightDlu = 355;

std::span<const FormControl> formControls();

// Dialog units to pixels for the window's font: 1/4 of the average character width across and
// 1/8 of the character height down.
QRect dluToPixels(const QRect& dlu, int baseWidth, int baseHeight);

// The object name a control carries: "btn1029", "lbl1025", "edit1026", "list1009", "grp1057",
// "radio1060", "face1000"; the groups without identifier use their own name.
QString controlObjectName(const FormControl& control);

}  // namespace qelta::gui
