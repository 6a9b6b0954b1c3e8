// A popup menu as data (the context menus of the output list): items carry command ids that the
// form's command routing runs once the menu has closed.
#pragma once

#include <string>
#include <vector>

namespace qelta {

struct MenuItem {
  int command = 0;   // 0 for a separator
  std::string text;  // empty for a separator
  bool enabled = true;
  bool checked = false;
  bool IsSeparator() const { return command == 0 && text.empty(); }
};

struct MenuModel {
  std::vector<MenuItem> items;

  void AddItem(int command, const std::string& text) { items.push_back({command, text}); }
  void AddSeparator() { items.push_back({}); }
  bool Empty() const { return items.empty(); }
  void Clear() { items.clear(); }
  const MenuItem* Find(int command) const {
    for (const auto& item : items)
      if (!item.IsSeparator() && item.command == command) return &item;
    return nullptr;
  }
};

}  // namespace qelta
