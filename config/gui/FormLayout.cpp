#include "gui/FormLayout.h"

#include <array>

namespace qelta::gui {
namespace {

using K = ControlKind;

// Groups come before the controls they frame so that the controls are stacked above them.
constexpr std::array kControls{
    FormControl{0, K::Group, "Device information", {7, 4, 88, 42}, "grpDeviceInformation"},
    FormControl{1015, K::Button, "&Read Device Info", {14, 20, 74, 16}, nullptr},

    FormControl{0, K::Group, "Parameters", {101, 4, 268, 42}, "grpParameters"},
    FormControl{1034, K::Label, "File:", {108, 23, 18, 10}, nullptr},
    FormControl{1025, K::Label, "", {127, 23, 76, 10}, nullptr},
    FormControl{1029, K::Button, "Set", {205, 20, 32, 16}, nullptr},
    FormControl{1032, K::Button, "Get", {240, 20, 32, 16}, nullptr},
    FormControl{1012, K::Button, "Edit with Notepad", {275, 20, 88, 16}, nullptr},

    FormControl{1057, K::Group, "Radio type", {7, 50, 88, 42}, nullptr},
    FormControl{1060, K::RadioButton, "1", {16, 67, 22, 12}, nullptr},
    FormControl{1061, K::RadioButton, "2", {42, 67, 22, 12}, nullptr},
    FormControl{1062, K::RadioButton, "3", {68, 67, 22, 12}, nullptr},

    FormControl{1063, K::Group, "Comm ID", {101, 50, 268, 42}, nullptr},
    FormControl{1064, K::Label, "CommID:", {108, 69, 32, 10}, nullptr},
    FormControl{1026, K::DigitsEdit, "", {141, 67, 48, 13}, nullptr},
    FormControl{1027, K::Button, "&Set new", {193, 65, 44, 16}, nullptr},
    FormControl{1031, K::Label, "Set next CommID:", {243, 69, 66, 10}, nullptr},
    FormControl{1030, K::Button, "", {311, 65, 52, 16}, nullptr},

    FormControl{0, K::Group, "Base stations", {7, 96, 176, 50}, "grpBaseStations"},
    FormControl{1038, K::Label, "Base station discovery", {14, 110, 164, 10}, nullptr},
    FormControl{1053, K::Button, "Reset", {14, 125, 50, 16}, nullptr},
    FormControl{32789, K::Button, "View", {70, 125, 50, 16}, nullptr},

    FormControl{1000, K::LinkFace, "", {189, 100, 180, 46}, nullptr},

    FormControl{1009, K::List, "", {7, 151, 362, 178}, nullptr},

    FormControl{1011, K::Button, "C&lear list", {7, 334, 60, 16}, nullptr},
    FormControl{1014, K::DefaultButton, "C&lose", {309, 334, 60, 16}, nullptr},
};

}  // namespace

std::span<const FormControl> formControls() { return kControls; }

QRect dluToPixels(const QRect& dlu, int baseWidth, int baseHeight) {
  const auto x = [&](int v) { return (v * baseWidth + 2) / 4; };
  const auto y = [&](int v) { return (v * baseHeight + 4) / 8; };
  return QRect(x(dlu.x()), y(dlu.y()), x(dlu.width()), y(dlu.height()));
}

QString controlObjectName(const FormControl& control) {
  if (control.groupName) return QString::fromLatin1(control.groupName);
  const QString id = QString::number(control.id);
  switch (control.kind) {
    case ControlKind::Group:
      return QStringLiteral("grp") + id;
    case ControlKind::Label:
      return QStringLiteral("lbl") + id;
    case ControlKind::Button:
    case ControlKind::DefaultButton:
      return QStringLiteral("btn") + id;
    case ControlKind::RadioButton:
      return QStringLiteral("radio") + id;
    case ControlKind::DigitsEdit:
      return QStringLiteral("edit") + id;
    case ControlKind::LinkFace:
      return QStringLiteral("face") + id;
    case ControlKind::List:
      return QStringLiteral("list") + id;
  }
  return id;
}

}  // namespace qelta::gui
