#include "app/SingleInstance.h"

#include <QFile>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "base/files/PrivateFiles.h"

namespace {

const QByteArray raiseRequest = "raise\n";

// The first process listens only after it took the lock: a start in that
// moment waits for it rather than giving up.
constexpr int connectAttempts = 25;
constexpr int connectWaitMs = 200;

} // namespace

bool SingleInstance::claim() {
  const QString dir = PrivateFiles::runtimeFolder();
  if (!PrivateFiles::makeFolder(dir))
    return true;
  const QString socketPath = dir + QStringLiteral("/instance.socket");
  lockFd = ::open(QFile::encodeName(dir + QStringLiteral("/instance.lock")).constData(),
                  O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFd < 0)
    return true;
  int locked;
  do
    locked = ::flock(lockFd, LOCK_EX | LOCK_NB);
  while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const bool busy = errno == EWOULDBLOCK;
    ::close(lockFd);
    lockFd = -1;
    if (busy)
      return !askFirstToRaise(socketPath);
    return true;
  }
  listen(socketPath);
  return true;
}

void SingleInstance::onRaiseRequest(std::function<void()> handler) {
  raise = std::move(handler);
}

bool SingleInstance::askFirstToRaise(const QString &socketPath) {
  for (int attempt = 0; attempt < connectAttempts; ++attempt) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (socket.waitForConnected(connectWaitMs)) {
      socket.write(raiseRequest);
      socket.waitForBytesWritten(connectWaitMs);
      socket.disconnectFromServer();
      return true;
    }
    QThread::msleep(connectWaitMs);
  }
  // The holder of the lock never answered: it is not a running application
  // (a stuck start), so this start carries on.
  return false;
}

void SingleInstance::listen(const QString &socketPath) {
  // Only the holder of the lock gets here: a socket file left by a killed
  // process is its own to remove.
  QLocalServer::removeServer(socketPath);
  server.setSocketOptions(QLocalServer::UserAccessOption);
  if (!server.listen(socketPath))
    return;
  QObject::connect(&server, &QLocalServer::newConnection, &server, [this] {
    while (QLocalSocket *client = server.nextPendingConnection()) {
      QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
        if (client->readAll().startsWith(raiseRequest.trimmed()) && raise)
          raise();
        client->disconnectFromServer();
      });
      QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    }
  });
}
