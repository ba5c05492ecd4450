#include "app/InstanceChannel.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <memory>

#include "app/HandOverMessage.h"
#include "app/SingleInstance.h"
#include "common/Log.h"

namespace mivora {

namespace {

// How long a sender may take to deliver its whole message.
constexpr int kSenderTimeLimitMs = 5000;

}  // namespace

bool PeerHasUid(int fd, uid_t uid) {
  struct ucred credentials {};
  socklen_t size = sizeof(credentials);
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || size != sizeof(credentials)) {
    MLOG("PeerHasUid, no peer credentials on %d: %s", fd, std::strerror(errno));
    return false;
  }
  return credentials.uid == uid;
}

QStringList UsableHandedOverPaths(const std::vector<std::string>& paths) {
  QStringList usable;
  for (const std::string& path : paths) {
    struct stat info {};
    if (path.empty() || path[0] != '/' || stat(path.c_str(), &info) != 0 ||
        !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) {
      MLOG("InstanceChannel, left out a handed-over path that is no file: %zu bytes", path.size());
      continue;
    }
    usable << QFile::decodeName(QByteArray::fromStdString(path));
  }
  return usable;
}

InstanceChannel::InstanceChannel() = default;

InstanceChannel::~InstanceChannel() {
  if (server_) server_->close();  // removes the socket file
}

std::string InstanceChannel::SocketPath() { return SingleInstance::LockPath() + ".sock"; }

bool InstanceChannel::Listen(const std::string& path) {
  const QString name = QFile::decodeName(QByteArray::fromStdString(path));
  QLocalServer::removeServer(name);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(name)) {
    MLOG("InstanceChannel, cannot listen at %s: %s", path.c_str(), server_->errorString().toLocal8Bit().constData());
    delete server_;
    server_ = nullptr;
    return false;
  }
  connect(server_, &QLocalServer::newConnection, this, &InstanceChannel::OnNewConnection);
  MLOG("InstanceChannel, listening at %s", path.c_str());
  return true;
}

void InstanceChannel::SetReceiver(Receiver receiver) {
  receiver_ = std::move(receiver);
  std::vector<QStringList> waiting;
  waiting.swap(waiting_);
  for (const QStringList& paths : waiting) Deliver(paths);
}

void InstanceChannel::Deliver(const QStringList& paths) {
  if (receiver_) {
    receiver_(paths);
  } else {
    waiting_.push_back(paths);
  }
}

void InstanceChannel::OnNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (!PeerHasUid(static_cast<int>(socket->socketDescriptor()), getuid())) {
      MLOG("InstanceChannel, refused a sender of another user");
      socket->abort();
      continue;
    }
    auto received = std::make_shared<QByteArray>();
    auto* limit = new QTimer(socket);
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, socket, [socket] {
      MLOG("InstanceChannel, a sender took too long; dropped");
      socket->abort();
    });
    limit->start(kSenderTimeLimitMs);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, received, limit] {
      // Never read more than a message may hold (plus one byte to see it is more).
      received->append(socket->read(static_cast<qint64>(kHandOverMaxBytes + 1) - received->size()));
      std::vector<std::string> paths;
      const HandOverParse parse =
          ParseHandOver(std::string_view(received->constData(), static_cast<size_t>(received->size())), &paths);
      if (parse == HandOverParse::kIncomplete) return;
      limit->stop();
      if (parse == HandOverParse::kInvalid) {
        MLOG("InstanceChannel, dropped a malformed message of %lld bytes", static_cast<long long>(received->size()));
        socket->abort();
        return;
      }
      socket->write(kHandOverAccepted.data(), static_cast<qint64>(kHandOverAccepted.size()));
      socket->flush();
      socket->disconnectFromServer();
      MLOG("InstanceChannel, a second start handed over %zu paths", paths.size());
      Deliver(UsableHandedOverPaths(paths));
    });
  }
}

bool InstanceChannel::HandOver(const std::string& path, const QStringList& paths, int timeoutMs) {
  std::vector<std::string> absolute;
  for (const QString& p : paths) absolute.push_back(QFile::encodeName(QFileInfo(p).absoluteFilePath()).toStdString());
  const std::string message = EncodeHandOver(absolute);
  if (message.size() > kHandOverMaxBytes) {
    MLOG("InstanceChannel, %zu paths are more than one hand-over holds", absolute.size());
    return false;
  }
  QElapsedTimer clock;
  clock.start();
  QLocalSocket socket;
  // The running program may still be starting: its door opens a moment
  // after it takes the lock.
  while (true) {
    socket.connectToServer(QFile::decodeName(QByteArray::fromStdString(path)));
    if (socket.waitForConnected(std::max(1, timeoutMs - static_cast<int>(clock.elapsed())))) break;
    if (clock.elapsed() >= timeoutMs) {
      MLOG("InstanceChannel, cannot reach the running program at %s: %s", path.c_str(),
           socket.errorString().toLocal8Bit().constData());
      return false;
    }
    QThread::msleep(100);
  }
  if (!PeerHasUid(static_cast<int>(socket.socketDescriptor()), getuid())) {
    MLOG("InstanceChannel, the socket at %s belongs to another user; nothing sent", path.c_str());
    return false;
  }
  socket.write(message.data(), static_cast<qint64>(message.size()));
  QByteArray answer;
  while (answer.size() < static_cast<qsizetype>(kHandOverAccepted.size()) && clock.elapsed() < timeoutMs) {
    if (socket.bytesToWrite() > 0) {
      socket.waitForBytesWritten(100);
      continue;
    }
    if (!socket.waitForReadyRead(100) && socket.state() != QLocalSocket::ConnectedState) break;
    answer += socket.readAll();
  }
  answer += socket.readAll();
  const bool accepted = answer.startsWith(QByteArray(kHandOverAccepted.data(), kHandOverAccepted.size()));
  MLOG("InstanceChannel, handed %zu paths to the running program: %s", absolute.size(), accepted ? "taken" : "no answer");
  return accepted;
}

}  // namespace mivora
