// One running window per user. The first start takes a per-user lock file and listens on a local
// socket beside it; a later start finds the lock taken, asks the running copy over the socket to
// bring its window forward, and ends. A copy that is closing does not answer any more: the later
// start waits for its lock to come free and becomes the running copy itself.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace qelta::gui {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  // `folder`: where the lock and the socket live (empty: the user's runtime folder, else a
  // per-user folder under the temporary folder).
  explicit SingleInstance(QString folder = {}, QObject* parent = nullptr);
  ~SingleInstance() override;

  enum class Outcome {
    kFirst,        // this process is the one instance now (the lock is held)
    kRunning,      // another copy holds the lock
    kUnavailable,  // no lock could be made here (the folder or file cannot be written)
  };
  Outcome acquire();

  // How long a second start waits for the running copy's answer, all in all. The running copy
  // listens as soon as it holds the lock but answers only once its window's event loop runs, and
  // its start-up (settings, the desktop's browser look-up) takes seconds on a busy machine.
  static constexpr int kAnswerWaitMs = 30000;

  enum class HandOver {
    kAnswered,   // the running copy brings its window forward: this start is done
    kTakenOver,  // the copy ended meanwhile: this process holds the lock now (as kFirst)
    kNoAnswer,   // it neither answered nor ended within the time
  };
  // For a second start: asks the running copy to come forward, waiting at most `totalMs` in all
  // for it to listen and answer. A copy on its way out (it drops the question unanswered, its lock
  // comes free) leaves its place to this start, which takes the lock and listens in its turn.
  HandOver handOver(int totalMs = kAnswerWaitMs);

  QString lockPath() const { return folder_ + QStringLiteral("/qeltaconfig.lock"); }
  QString socketPath() const { return folder_ + QStringLiteral("/qeltaconfig.sock"); }

 signals:
  // Another start asked this one to show its window.
  void activationRequested();

 private:
  // Takes the lock if it is free and listens beside it (the folder exists).
  Outcome takeLock();
  void onNewConnection();

  QString folder_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer* server_ = nullptr;
};

// The default folder: $XDG_RUNTIME_DIR when it is set, else /tmp/qeltaconfig-<uid>.
QString defaultInstanceFolder();

}  // namespace qelta::gui
