// A modal dialog as data: the core fills it, a front end shows it, and the core's own validation
// decides whether OK may close it. Later areas add a dialog by building a DialogModel; the UI port
// never changes for that.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qelta {

enum class FieldKind {
  Label,      // static text; value is the text shown
  Text,       // one-line edit field
  Number,     // edit field holding a decimal integer (range checked by the validator)
  IpAddress,  // dotted IPv4 address field
  Check,      // check box; value "1" or "0"
  Radio,      // radio button of a group; value "1" when chosen
  Choice,     // drop-down list; value is one of choices
  Group,      // frame with a caption; value unused
  Button,     // push button inside the dialog (e.g. "Browse"); runs onClick, value unused
};

struct DialogModel;

struct DialogField {
  int controlId = 0;  // the dialog layout's control id (0 for unnamed statics)
  std::string name;   // a stable name for scripts ("channel", "ip"); unique in the dialog
  std::string label;  // caption shown beside or on the control
  FieldKind kind = FieldKind::Text;
  std::string value;          // current contents, as text
  std::size_t maxLength = 0;  // 0: no limit
  bool enabled = true;
  bool visible = true;
  std::vector<std::string> choices;  // for Choice
  // For Button: runs when the button is pressed; it may change any field of the dialog (the
  // front end shows the new values afterwards).
  std::function<void(DialogModel&)> onClick;
};

struct DialogModel {
  std::string name;   // the dialog's class name, e.g. "CBSChannelDlg"
  std::string title;  // window caption
  std::vector<DialogField> fields;
  std::string okText = "OK";
  std::string cancelText = "Cancel";  // empty: the dialog has no Cancel button

  // Called when the user presses OK: an empty result accepts, anything else is shown to the user
  // in a message box and the dialog stays open. Unset: always accepted.
  std::function<std::string(DialogModel&)> validate;
  // The message box of a rejected OK: its caption (empty: the title) and whether it carries the
  // error icon instead of the warning icon.
  std::string validationCaption;
  bool validationErrorIcon = false;
  // Called after the user changed field `controlId` (its new value is already in the model); it
  // may change other fields (e.g. typing an address chooses "Use these IP settings"). Unset:
  // nothing happens.
  std::function<void(DialogModel&, int controlId)> onEdit;

  DialogField& Add(DialogField field);
  DialogField* Find(int controlId);
  const DialogField* Find(int controlId) const;
  DialogField* FindByName(const std::string& name);
  const DialogField* FindByName(const std::string& name) const;

  // Value of a field by control id ("" when there is no such field).
  std::string Value(int controlId) const;
  void SetValue(int controlId, const std::string& value);
  // A field's value as a decimal integer; nullopt when it is not one (or out of 64-bit range).
  std::optional<int64_t> Number(int controlId) const;

  // Runs the validator: the text to show, empty to accept.
  std::string Validate();
};

// The standard prompt for an integer field out of range: "Please enter an integer between %1 and
// %2." with the bounds filled in.
std::string IntegerRangePrompt(int64_t low, int64_t high);

// Checks that field `controlId` holds a decimal integer within [low, high]; returns the standard
// prompt when not, else empty.
std::string ValidateIntegerField(const DialogModel& dialog, int controlId, int64_t low,
                                 int64_t high);

}  // namespace qelta
