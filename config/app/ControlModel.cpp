#include "app/ControlModel.h"

const ControlState& ControlModel::Get(int id) const {
  static const ControlState kNone{};
  auto it = controls_.find(id);
  return it == controls_.end() ? kNone : it->second;
}

void ControlModel::SetText(int id, const std::string& text) {
  ControlState& c = controls_[id];
  if (c.text == text) return;
  c.text = text;
  Notify(id);
}

void ControlModel::SetEnabled(int id, bool enabled) {
  ControlState& c = controls_[id];
  if (c.enabled == enabled) return;
  c.enabled = enabled;
  Notify(id);
}

void ControlModel::SetVisible(int id, bool visible) {
  ControlState& c = controls_[id];
  if (c.visible == visible) return;
  c.visible = visible;
  Notify(id);
}

void ControlModel::SetChecked(int id, bool checked) {
  ControlState& c = controls_[id];
  if (c.checked == checked) return;
  c.checked = checked;
  Notify(id);
}

void ControlModel::SetReadOnly(int id, bool readOnly) {
  ControlState& c = controls_[id];
  if (c.readOnly == readOnly) return;
  c.readOnly = readOnly;
  Notify(id);
}

int ControlModel::AddListener(Listener listener) {
  int handle = nextHandle_++;
  listeners_[handle] = std::move(listener);
  return handle;
}

void ControlModel::RemoveListener(int handle) { listeners_.erase(handle); }

std::vector<int> ControlModel::Ids() const {
  std::vector<int> out;
  for (const auto& [id, state] : controls_) out.push_back(id);
  return out;
}

void ControlModel::Notify(int id) {
  // A listener may add or remove listeners; walk a copy.
  auto copy = listeners_;
  for (auto& [handle, listener] : copy)
    if (listener) listener(id);
}
