#include "gui/SingleInstance.h"

#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <algorithm>

namespace qelta::gui {
namespace {
constexpr char kRaiseRequest[] = "raise\n";
constexpr char kRaiseAnswer[] = "ok\n";
constexpr int kConnectRetryMs = 50;
}  // namespace

QString defaultInstanceFolder() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime;
  return QDir::tempPath() + QStringLiteral("/qeltaconfig-") + QString::number(::getuid());
}

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), folder_(folder.isEmpty() ? defaultInstanceFolder() : std::move(folder)) {}

SingleInstance::~SingleInstance() {
  if (server_) {
    server_->close();  // also removes the socket file
  }
}

SingleInstance::Outcome SingleInstance::acquire() {
  QDir dir(folder_);
  if (!dir.exists() && !dir.mkpath(QStringLiteral("."))) return Outcome::kUnavailable;
  // A folder of our own under /tmp must not be readable by others.
  QFile::setPermissions(folder_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return takeLock();
}

SingleInstance::Outcome SingleInstance::takeLock() {
  lock_ = std::make_unique<QLockFile>(lockPath());
  lock_->setStaleLockTime(0);  // stale only when its process is gone, never by age
  if (!lock_->tryLock(0)) {
    const bool held = lock_->error() == QLockFile::LockFailedError;
    lock_.reset();
    return held ? Outcome::kRunning : Outcome::kUnavailable;
  }
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  // We hold the lock, so a socket file left here belongs to a copy that is gone.
  QLocalServer::removeServer(socketPath());
  if (!server_->listen(socketPath())) {
    // Still the one instance (the lock is ours); later starts just cannot raise us.
    qWarning("qeltaconfig: cannot listen on %s: %s", qPrintable(socketPath()),
             qPrintable(server_->errorString()));
    return Outcome::kFirst;
  }
  connect(server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
  return Outcome::kFirst;
}

void SingleInstance::onNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      // Read only a bounded line: whatever a stranger sends, we never buffer more.
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > 64) socket->abort();
        return;
      }
      const QByteArray line = socket->readLine(64);
      if (line == kRaiseRequest) {
        socket->write(kRaiseAnswer);
        socket->flush();
        emit activationRequested();
      }
      socket->disconnectFromServer();
    });
  }
}

namespace {

enum class Asked { kAnswered, kNobody, kDropped, kTimedOut };

// One question to the copy listening at `path`: nobody listens there, it answered, it closed the
// line without an answer (it is ending), or the time ran out.
Asked askToComeForward(const QString& path, const QDeadlineTimer& deadline) {
  const auto left = [&deadline] { return static_cast<int>(deadline.remainingTime()); };
  QLocalSocket socket;
  socket.connectToServer(path);
  if (!socket.waitForConnected(left())) return Asked::kNobody;
  const auto failed = [&socket] {
    return socket.state() == QLocalSocket::ConnectedState ? Asked::kTimedOut : Asked::kDropped;
  };
  socket.write(kRaiseRequest);
  if (!socket.waitForBytesWritten(left())) return failed();
  while (!socket.canReadLine()) {
    if (deadline.hasExpired()) return Asked::kTimedOut;
    if (!socket.waitForReadyRead(left())) return failed();
  }
  return socket.readLine(64) == kRaiseAnswer ? Asked::kAnswered : Asked::kDropped;
}

}  // namespace

SingleInstance::HandOver SingleInstance::handOver(int totalMs) {
  const QDeadlineTimer deadline(totalMs);
  for (;;) {
    switch (askToComeForward(socketPath(), deadline)) {
      case Asked::kAnswered:
        return HandOver::kAnswered;
      case Asked::kTimedOut:
        return HandOver::kNoAnswer;
      case Asked::kNobody:
      case Asked::kDropped:
        break;
    }
    // The running copy takes the lock a moment before it listens, and one that is ending closes
    // its socket a moment before its lock comes free (its window goes first, which takes seconds
    // on a busy machine). Until it listens or its lock is free, try again.
    if (takeLock() == Outcome::kFirst) return HandOver::kTakenOver;
    if (deadline.hasExpired()) return HandOver::kNoAnswer;
    QThread::msleep(static_cast<unsigned long>(
        std::min<qint64>(kConnectRetryMs, std::max<qint64>(deadline.remainingTime(), 0))));
  }
}

}  // namespace qelta::gui
