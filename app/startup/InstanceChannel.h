#pragma once
// The running program's door for a second start: a local socket beside the
// instance lock. The first process listens; a later start connects, sends
// the files it was given (HandOverMessage.h) and ends.
//
// Only the same user may talk to the door on either side: the listener checks
// the sender's user id, the sender the listener's. Every path that comes in
// is untrusted: it must be absolute and name an existing file or folder, and
// then goes the way a drop goes. Senders that never finish cannot close the
// door: at most kMaxSenders are served at once (later ones are refused at
// the door), each for at most 5 s, and a listener out of descriptors refuses
// the next sender instead of giving up. A door whose socket fails is opened
// anew, tried until it opens.

#include <sys/types.h>

#include <QObject>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class QSocketNotifier;

namespace mivora {

// True when the process at the other end of the connected local socket `fd`
// runs as user `uid` (the kernel's record of it, not anything it says).
bool PeerHasUid(int fd, uid_t uid);

// The paths of a message worth handing to the list: absolute, and naming a
// file or folder that exists. The others are logged and left out.
QStringList UsableHandedOverPaths(const std::vector<std::string>& paths);

class InstanceChannel : public QObject {
  Q_OBJECT

 public:
  // `onHandOver` sees each accepted message's usable paths (maybe none: show
  // the window). Messages that come before it is set wait for it.
  using Receiver = std::function<void(const QStringList& paths)>;

  InstanceChannel();
  ~InstanceChannel() override;

  // How many senders are served at once.
  static constexpr int kMaxSenders = 16;

  // Listens at `path`; a socket left there by an earlier process is replaced
  // (the caller holds the instance lock, so no live program owns it).
  bool Listen(const std::string& path);
  void SetReceiver(Receiver receiver);

  // The socket of this user session: the lock's path with ".sock".
  static std::string SocketPath();

  // A second start: sends `paths` (made absolute against the current folder)
  // to the program listening at `path` and waits for its answer. False when
  // nobody (of this user) took them within `timeoutMs`.
  static bool HandOver(const std::string& path, const QStringList& paths, int timeoutMs);

 private:
  void StopListening();
  void OnNewConnection();
  bool RefuseOneWaitingSender();
  void PauseListening();
  void ListenAgain(const std::string& path, int restMs);
  void Serve(int fd);
  void Deliver(const QStringList& paths);

  // All on the thread that made the channel.
  std::string path_;
  int listenFd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  // A descriptor held back so that a listener that has run out can still
  // take a waiting sender off the queue (and refuse it).
  int reserveFd_ = -1;
  Receiver receiver_;
  std::vector<QStringList> waiting_;
};

}  // namespace mivora
