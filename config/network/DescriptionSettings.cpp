#include "network/DescriptionSettings.h"

namespace qelta::network {

DialogModel DescriptionDialog() {
  DialogModel d;
  d.name = "CDescLocDlg";
  d.title = "Description and location";
  auto add = [&d](int id, const char* name, const char* label, FieldKind kind) {
    DialogField f;
    f.controlId = id;
    f.name = name;
    f.label = label;
    f.kind = kind;
    d.Add(std::move(f));
  };
  add(0, "descriptionGroup", "Description", FieldKind::Group);
  add(kDescriptionField, "description", "", FieldKind::Text);
  add(0, "locationGroup", "Location", FieldKind::Group);
  add(kLocationField, "location", "", FieldKind::Text);
  add(0, "hostGroup", "Host name (leave empty if not used)", FieldKind::Group);
  add(kDescHostNameField, "hostName", "", FieldKind::Text);
  add(0, "note", "These settings appear when \"Ethernet and serial settings\" is performed.",
      FieldKind::Label);
  d.Find(kDescriptionField)->maxLength = kDescriptionChars;
  d.Find(kLocationField)->maxLength = kDescriptionChars;
  d.Find(kDescHostNameField)->maxLength = kDescHostNameChars;
  return d;
}

}  // namespace qelta::network
