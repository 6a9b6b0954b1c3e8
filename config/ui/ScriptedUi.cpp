#include "ui/ScriptedUi.h"

namespace qelta {

void ScriptedUi::QueueDialogAnswer(const std::string& name, DialogAnswer answer) {
  dialogAnswers_[name].push_back(std::move(answer));
}

MessageAnswer ScriptedUi::MessageBox(const std::string& text, const std::string& caption,
                                     MessageButtons buttons, MessageIcon icon) {
  MessageAnswer answer = MessageAnswer::Ok;
  if (buttons == MessageButtons::OkCancel) {
    if (!messageAnswers_.empty()) {
      answer = messageAnswers_.front();
      messageAnswers_.pop_front();
    } else {
      answer = defaultMessageAnswer_;
    }
  }
  messages_.push_back({text, caption, buttons, icon, answer});
  if (messageObserver_) messageObserver_(messages_.back());
  return answer;
}

bool ScriptedUi::RunDialog(DialogModel& dialog) {
  DialogRecord record{dialog.name, false, {}, {}};
  auto queue = dialogAnswers_.find(dialog.name);
  while (queue != dialogAnswers_.end() && !queue->second.empty()) {
    DialogAnswer answer = std::move(queue->second.front());
    queue->second.pop_front();
    for (const auto& [key, value] : answer.values) {
      DialogField* field = dialog.FindByName(key);
      if (!field) {
        // A control id given as decimal text.
        bool digits = !key.empty() && key.find_first_not_of("0123456789") == std::string::npos;
        if (digits && key.size() < 10) field = dialog.Find(std::stoi(key));
      }
      if (field) {
        field->value = value;
        if (dialog.onEdit) dialog.onEdit(dialog, field->controlId);
      }
    }
    for (const auto& button : answer.press) {
      DialogField* field = dialog.FindByName(button);
      if (field && field->kind == FieldKind::Button && field->enabled && field->onClick)
        field->onClick(dialog);
    }
    if (!answer.accept) break;
    std::string error = dialog.Validate();
    if (error.empty()) {
      record.accepted = true;
      break;
    }
    record.errors.push_back(error);
    MessageBox(error, dialog.validationCaption.empty() ? dialog.title : dialog.validationCaption,
               MessageButtons::Ok,
               dialog.validationErrorIcon ? MessageIcon::Error : MessageIcon::Warning);
  }
  record.finalState = dialog;
  dialogs_.push_back(std::move(record));
  return dialogs_.back().accepted;
}

std::optional<std::string> ScriptedUi::FileDialog(const FileDialogRequest& request) {
  fileDialogs_.push_back(request);
  if (fileResults_.empty()) return std::nullopt;
  std::optional<std::string> r = fileResults_.front();
  fileResults_.pop_front();
  return r;
}

int ScriptedUi::StartProcess(const ProcessRequest& request) {
  processes_.push_back(request);
  if (launcher_) return launcher_(request);
  return processResult_;
}

void ScriptedUi::StartTimer(int id, int ms, std::function<void()> onFire) {
  timers_[id] = Timer{ms, std::move(onFire)};
}

int ScriptedUi::TimerInterval(int id) const {
  auto it = timers_.find(id);
  return it == timers_.end() ? -1 : it->second.ms;
}

int ScriptedUi::FireTimers() {
  // The handlers may start or stop timers; take the current set first.
  std::map<int, Timer> due;
  due.swap(timers_);
  for (auto& [id, timer] : due)
    if (timer.onFire) timer.onFire();
  return static_cast<int>(due.size());
}

int ScriptedUi::PopupMenu(const MenuModel& menu, int /*x*/, int /*y*/) {
  menus_.push_back(menu);
  if (menuChoices_.empty()) return 0;
  int command = menuChoices_.front();
  menuChoices_.pop_front();
  return menu.Find(command) ? command : 0;
}

void ScriptedUi::PostToFormThread(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(postedMutex_);
  posted_.push_back(std::move(task));
}

std::size_t ScriptedUi::PostedTaskCount() const {
  std::lock_guard<std::mutex> lock(postedMutex_);
  return posted_.size();
}

int ScriptedUi::RunPostedTasks() {
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard<std::mutex> lock(postedMutex_);
    tasks.swap(posted_);
  }
  for (auto& task : tasks)
    if (task) task();
  return static_cast<int>(tasks.size());
}

void ScriptedUi::ClearRecords() {
  messages_.clear();
  dialogs_.clear();
  fileDialogs_.clear();
  processes_.clear();
  menus_.clear();
  beeps_ = 0;
  paints_ = 0;
}

}  // namespace qelta
