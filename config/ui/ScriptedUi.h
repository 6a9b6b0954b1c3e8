// The scripted UI port: answers come from queues filled beforehand, every call is recorded. Used
// by the tests and by the command line, where nobody sits in front of the screen.
//
// Without a queued answer the cautious answer is given: message boxes answer Cancel when they
// offer it, dialogs are cancelled, file dialogs are cancelled, context menus are dismissed.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/UiPort.h"

namespace qelta {

class ScriptedUi : public UiPort {
 public:
  struct MessageRecord {
    std::string text;
    std::string caption;
    MessageButtons buttons;
    MessageIcon icon;
    MessageAnswer answer;
  };
  struct DialogRecord {
    std::string name;
    bool accepted;
    std::vector<std::string> errors;  // validation texts shown while it was open
    DialogModel finalState;
  };
  // One queued dialog answer: field values by field name (or by control id as decimal text), then
  // OK (accept = true) or Cancel.
  struct DialogAnswer {
    std::map<std::string, std::string> values;
    // Buttons inside the dialog pressed (by field name) after the values are entered.
    std::vector<std::string> press;
    bool accept = true;
  };

  // --- Scripting ---------------------------------------------------------------------------------
  void QueueMessageAnswer(MessageAnswer answer) { messageAnswers_.push_back(answer); }
  // The answer for every question that has no queued answer (default: the cautious Cancel).
  void SetDefaultMessageAnswer(MessageAnswer answer) { defaultMessageAnswer_ = answer; }
  // Answers for the dialog `name`, used in order. A dialog whose values fail validation takes the
  // next queued answer for it (as a user correcting the entry); with none left it is cancelled.
  void QueueDialogAnswer(const std::string& name, DialogAnswer answer);
  void QueueFileDialogResult(std::optional<std::string> path) { fileResults_.push_back(path); }
  void QueueMenuChoice(int command) { menuChoices_.push_back(command); }
  // Result of StartProcess (0 = started). Processes are never really started unless a launcher is
  // set.
  void SetProcessResult(int error) { processResult_ = error; }
  void SetProcessLauncher(std::function<int(const ProcessRequest&)> launcher) {
    launcher_ = std::move(launcher);
  }
  // Called with every message box as it is shown (the command line prints them).
  void SetMessageObserver(std::function<void(const MessageRecord&)> observer) {
    messageObserver_ = std::move(observer);
  }

  // Tasks posted from other threads wait here until the form's thread runs them.
  int RunPostedTasks();
  std::size_t PostedTaskCount() const;

  // Runs the handlers of every armed timer once (in id order) and disarms them, as if their time
  // had passed. Returns how many ran.
  int FireTimers();

  // --- Records -----------------------------------------------------------------------------------
  const std::vector<MessageRecord>& Messages() const { return messages_; }
  const std::vector<DialogRecord>& Dialogs() const { return dialogs_; }
  const std::vector<FileDialogRequest>& FileDialogs() const { return fileDialogs_; }
  const std::vector<ProcessRequest>& Processes() const { return processes_; }
  const std::vector<MenuModel>& Menus() const { return menus_; }
  int Beeps() const { return beeps_; }
  int KeepPaintingCalls() const { return paints_; }
  bool TimerArmed(int id) const { return timers_.count(id) != 0; }
  int TimerInterval(int id) const;
  void ClearRecords();

  // --- UiPort ------------------------------------------------------------------------------------
  MessageAnswer MessageBox(const std::string& text, const std::string& caption,
                           MessageButtons buttons, MessageIcon icon) override;
  bool RunDialog(DialogModel& dialog) override;
  std::optional<std::string> FileDialog(const FileDialogRequest& request) override;
  void Beep() override { ++beeps_; }
  int StartProcess(const ProcessRequest& request) override;
  void StartTimer(int id, int ms, std::function<void()> onFire) override;
  void StopTimer(int id) override { timers_.erase(id); }
  int PopupMenu(const MenuModel& menu, int x, int y) override;
  void KeepPainting() override { ++paints_; }
  void PostToFormThread(std::function<void()> task) override;

 private:
  struct Timer {
    int ms;
    std::function<void()> onFire;
  };
  std::deque<MessageAnswer> messageAnswers_;
  MessageAnswer defaultMessageAnswer_ = MessageAnswer::Cancel;
  std::map<std::string, std::deque<DialogAnswer>> dialogAnswers_;
  std::deque<std::optional<std::string>> fileResults_;
  std::deque<int> menuChoices_;
  int processResult_ = 0;
  std::function<int(const ProcessRequest&)> launcher_;
  std::function<void(const MessageRecord&)> messageObserver_;
  std::map<int, Timer> timers_;

  std::vector<MessageRecord> messages_;
  std::vector<DialogRecord> dialogs_;
  std::vector<FileDialogRequest> fileDialogs_;
  std::vector<ProcessRequest> processes_;
  std::vector<MenuModel> menus_;
  int beeps_ = 0;
  int paints_ = 0;
  mutable std::mutex postedMutex_;
  std::deque<std::function<void()>> posted_;
};

}  // namespace qelta
