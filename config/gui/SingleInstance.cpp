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

bool SingleInstance::signalRunning(int totalMs) const {
  const QDeadlineTimer deadline(totalMs);
  const auto left = [&deadline] { return static_cast<int>(deadline.remainingTime()); };
  QLocalSocket socket;
  // The running copy takes the lock a moment before it listens: until then there is no socket
  // (or only the one its predecessor left), so try again until the time is up.
  for (;;) {
    socket.connectToServer(socketPath());
    if (socket.waitForConnected(left())) break;
    socket.abort();
    if (deadline.hasExpired()) return false;
    QThread::msleep(static_cast<unsigned long>(std::min(kConnectRetryMs, left())));
  }
  socket.write(kRaiseRequest);
  if (!socket.waitForBytesWritten(left())) return false;
  while (!socket.canReadLine()) {
    if (deadline.hasExpired() || !socket.waitForReadyRead(left())) return false;
  }
  return socket.readLine(64) == kRaiseAnswer;
}

}  // namespace qelta::gui
