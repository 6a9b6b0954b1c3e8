// The state of the main form's controls and menu items (text, enabled, visible, checked,
// read-only) by id. The core writes it; front ends draw it and listen for changes.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

struct ControlState {
  std::string text;
  bool enabled = true;
  bool visible = true;
  bool checked = false;
  bool readOnly = false;
};

class ControlModel {
 public:
  using Listener = std::function<void(int id)>;

  // Defines a control with its initial state (no notification).
  void Define(int id, ControlState state) { controls_[id] = std::move(state); }

  // State of a control; an unknown id reads as a default (empty, enabled, visible) control.
  const ControlState& Get(int id) const;
  bool Has(int id) const { return controls_.count(id) != 0; }

  const std::string& Text(int id) const { return Get(id).text; }
  bool Enabled(int id) const { return Get(id).enabled; }
  bool Visible(int id) const { return Get(id).visible; }
  bool Checked(int id) const { return Get(id).checked; }
  bool ReadOnly(int id) const { return Get(id).readOnly; }

  // Setters notify the listeners only when the state really changes.
  void SetText(int id, const std::string& text);
  void SetEnabled(int id, bool enabled);
  void SetVisible(int id, bool visible);
  void SetChecked(int id, bool checked);
  void SetReadOnly(int id, bool readOnly);

  // Listeners are called after each change with the control's id. Returns a handle for Remove.
  int AddListener(Listener listener);
  void RemoveListener(int handle);

  std::vector<int> Ids() const;

 private:
  void Notify(int id);
  std::map<int, ControlState> controls_;
  std::map<int, Listener> listeners_;
  int nextHandle_ = 1;
};
