#include "app/startup/InstanceChannel.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "app/startup/HandOverMessage.h"
#include "app/startup/SingleInstance.h"
#include "common/Log.h"

namespace mivora {

namespace {

// How long a sender may take to deliver its whole message.
constexpr int kSenderTimeLimitMs = 5000;
// How long the door rests when it cannot even refuse a sender, and before it
// listens again after its socket failed.
constexpr int kRestMs = 200;
// The longest rest between tries to listen again.
constexpr int kLongestRestMs = 5000;

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
    // A relative name means nothing here: this program's current folder
    // is not the sender's.
    if (path.empty() || path[0] != '/') {
      MLOG("InstanceChannel, left out a handed-over path that is not absolute: %zu bytes", path.size());
      continue;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) {
      MLOG("InstanceChannel, left out a handed-over path that is no file: %zu bytes", path.size());
      continue;
    }
    usable << QFile::decodeName(QByteArray::fromStdString(path));
  }
  return usable;
}

InstanceChannel::InstanceChannel() = default;

InstanceChannel::~InstanceChannel() {
  StopListening();
  if (reserveFd_ >= 0) close(reserveFd_);
}

std::string InstanceChannel::SocketPath() { return SingleInstance::LockPath() + ".sock"; }

void InstanceChannel::StopListening() {
  delete notifier_;
  notifier_ = nullptr;
  if (listenFd_ < 0) return;
  close(listenFd_);
  listenFd_ = -1;
  unlink(path_.c_str());
}

bool InstanceChannel::Listen(const std::string& path) {
  StopListening();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    MLOG("InstanceChannel, cannot listen at %s: the name is too long", path.c_str());
    return false;
  }
  path.copy(address.sun_path, path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  unlink(path.c_str());
  if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      chmod(path.c_str(), 0600) != 0 || listen(fd, SOMAXCONN) != 0) {
    MLOG("InstanceChannel, cannot listen at %s: %s", path.c_str(), std::strerror(errno));
    if (fd >= 0) close(fd);
    return false;
  }
  path_ = path;
  listenFd_ = fd;
  if (reserveFd_ < 0) reserveFd_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
  notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &InstanceChannel::OnNewConnection);
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
  while (listenFd_ >= 0) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
      Serve(fd);
      continue;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) return;
    if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
    if (errno == EMFILE || errno == ENFILE) {
      if (RefuseOneWaitingSender()) continue;
      PauseListening();
      return;
    }
    if (errno == ENOBUFS || errno == ENOMEM) {
      PauseListening();
      return;
    }
    // The socket itself failed: a door that stays shut would send every
    // later start away, so it is opened anew.
    MLOG("InstanceChannel, the door failed (%s); listening again", std::strerror(errno));
    const std::string path = path_;
    StopListening();
    ListenAgain(path, kRestMs);
    return;
  }
}

// Listening again may fail for a while too (out of descriptors, as what
// broke the door often is): it is tried until it works, resting longer each time.
void InstanceChannel::ListenAgain(const std::string& path, int restMs) {
  QTimer::singleShot(restMs, this, [this, path, restMs] {
    if (listenFd_ >= 0 || Listen(path)) return;
    ListenAgain(path, std::min(restMs * 2, kLongestRestMs));
  });
}

// Out of descriptors: the descriptor held back takes the first waiting
// sender off the queue, which is then closed. False when that cannot be done.
bool InstanceChannel::RefuseOneWaitingSender() {
  if (reserveFd_ < 0) return false;
  close(reserveFd_);
  const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) close(fd);
  reserveFd_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  MLOG("InstanceChannel, out of descriptors: refused a sender");
  return true;
}

void InstanceChannel::PauseListening() {
  notifier_->setEnabled(false);
  QTimer::singleShot(kRestMs, notifier_, [this] {
    notifier_->setEnabled(true);
    OnNewConnection();
  });
}

void InstanceChannel::Serve(int fd) {
  if (findChildren<QLocalSocket*>(Qt::FindDirectChildrenOnly).size() >= kMaxSenders) {
    close(fd);
    MLOG("InstanceChannel, refused a sender: %d are being served", kMaxSenders);
    return;
  }
  if (!PeerHasUid(fd, getuid())) {
    close(fd);
    MLOG("InstanceChannel, refused a sender of another user");
    return;
  }
  auto* socket = new QLocalSocket(this);
  if (!socket->setSocketDescriptor(fd, QLocalSocket::ConnectedState, QIODevice::ReadWrite)) {
    close(fd);
    delete socket;
    return;
  }
  connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
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
