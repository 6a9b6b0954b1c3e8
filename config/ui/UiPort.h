// The UI port: everything the configurator's core needs from a window system. The Qt window
// implements it for people; ScriptedUi implements it for tests and the command line. Nothing here
// knows Qt.
//
// Contract for implementers:
//  - Every call comes from the form's thread and is modal: it returns when the user has answered.
//  - RunDialog shows the model's fields, writes the user's values back into them and, on OK,
//    calls DialogModel::Validate(): a non-empty text is shown as a message box (caption = the
//    dialog's title, warning icon) and the dialog stays open. It returns true for an accepted OK,
//    false for Cancel.
//  - KeepPainting lets the window repaint (rows added during a long blocking operation appear at
//    once) without taking user input.
//  - The state of the form's controls (texts, enabled, visible, checked) is not pushed through
//    the port: front ends mirror the form's ControlModel and OutputList, which notify changes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/DialogModel.h"
#include "ui/MenuModel.h"

namespace qelta {

enum class MessageButtons { Ok, OkCancel };
enum class MessageIcon { None, Error, Warning, Information, Question };
enum class MessageAnswer { Ok, Cancel };

struct FileDialogRequest {
  bool save = false;        // false: open an existing file
  std::string title;        // empty: the system's default caption
  std::string initialName;  // e.g. "*.pcg"
  std::string defaultExt;   // without dot, e.g. "pcg"
  std::string filter;       // e.g. "QeltaC Files (*.pcg)"
  std::string initialDir;   // empty: current directory
  bool hideReadOnly = true;
};

struct ProcessRequest {
  std::vector<std::string> argv;  // argv[0] is the program (searched in PATH when it has no '/')
  std::string workingDir;         // empty: inherit
};

class UiPort {
 public:
  virtual ~UiPort() = default;

  // A modal message box on the main window. With MessageButtons::Ok the answer is always Ok.
  virtual MessageAnswer MessageBox(const std::string& text, const std::string& caption,
                                   MessageButtons buttons, MessageIcon icon) = 0;

  // A named modal dialog (see the contract above). True: OK and accepted.
  virtual bool RunDialog(DialogModel& dialog) = 0;

  // File-open or file-save dialog: the chosen full path, nullopt on Cancel.
  virtual std::optional<std::string> FileDialog(const FileDialogRequest& request) = 0;

  // The system's warning beep.
  virtual void Beep() = 0;

  // Starts a process without a shell and without waiting for it. 0 when started, else an errno
  // value (the program could not be found or executed).
  virtual int StartProcess(const ProcessRequest& request) = 0;

  // One-shot or periodic window timer: after `ms` milliseconds `onFire` runs on the form's thread
  // (the handler stops the timer itself when it should fire once). Starting an id that runs
  // replaces it.
  virtual void StartTimer(int id, int ms, std::function<void()> onFire) = 0;
  virtual void StopTimer(int id) = 0;

  // Shows a context menu at a point (screen coordinates) and returns the chosen command id, 0 when
  // the menu was dismissed.
  virtual int PopupMenu(const MenuModel& menu, int x, int y) = 0;

  // Let the window repaint now without accepting input.
  virtual void KeepPainting() = 0;

  // Runs `task` on the form's thread as soon as that thread is free. The one call of the port that
  // may come from any thread: the discovery thread hands its status text to the form this way. A
  // window queues the task to its event loop. The default runs it at once on the caller's thread,
  // which suits only front ends without an event loop of their own.
  virtual void PostToFormThread(std::function<void()> task) { task(); }
};

// Starts a process the POSIX way (fork, exec, no shell; the child is reaped so no zombie stays):
// 0 when the program was executed, else the errno of the failed exec or fork. Front ends use it
// in their StartProcess.
int SpawnDetached(const ProcessRequest& request);

}  // namespace qelta
