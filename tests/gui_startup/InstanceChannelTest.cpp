// The door a second start knocks at: the message it sends, who may send it,
// which paths get through, and a running door that drops what it must.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "app/startup/HandOverMessage.h"
#include "app/startup/InstanceChannel.h"
#include "common/Log.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace mivora::test {
namespace {

int LogLinesSaying(const std::string& text) {
  const std::string log = ReadFile(LogFilePath());
  int count = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
  return count;
}

TEST(HandOverMessage, ReadsWholeMessagesWaitsForCutOnesAndRefusesTheRest) {
  const std::vector<std::string> paths = {"/a b/c.mp4", "/x\ny/\xff\xfe.mkv", "/"};
  const std::string message = EncodeHandOver(paths);
  std::vector<std::string> read;
  ASSERT_EQ(ParseHandOver(message, &read), HandOverParse::kComplete);
  EXPECT_EQ(read, paths);
  // Every cut of a good message asks for more.
  for (size_t cut = 0; cut < message.size(); ++cut) {
    EXPECT_EQ(ParseHandOver(std::string_view(message).substr(0, cut), &read), HandOverParse::kIncomplete) << cut;
    EXPECT_TRUE(read.empty());
  }
  ASSERT_EQ(ParseHandOver(EncodeHandOver({}), &read), HandOverParse::kComplete);
  EXPECT_TRUE(read.empty());

  const std::string longPath = "/" + std::string(PATH_MAX, 'a');
  std::string tooMany(kHandOverHeader);
  for (size_t i = 0; i <= kHandOverMaxPaths; ++i) tooMany += std::string("/f") + '\0';
  tooMany += '\0';
  const struct {
    std::string bytes;
    const char* why;
  } refused[] = {
      {"GET / HTTP/1.1\r\n", "another protocol"},
      {"MVR-OPEN 2\n", "another version"},
      {message + "x", "bytes after the end"},
      {EncodeHandOver({longPath}), "a path longer than any path"},
      {std::string(kHandOverHeader) + longPath, "a path still arriving that is already too long"},
      {tooMany, "more paths than allowed"},
      {std::string(kHandOverHeader) + std::string(kHandOverMaxBytes, '/'), "more bytes than allowed"},
  };
  for (const auto& row : refused) {
    EXPECT_EQ(ParseHandOver(row.bytes, &read), HandOverParse::kInvalid) << row.why;
    EXPECT_TRUE(read.empty()) << row.why;
  }
}

TEST(InstanceChannel, OnlyAPeerOfTheGivenUserPasses) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  EXPECT_TRUE(PeerHasUid(pair[0], getuid()));
  EXPECT_FALSE(PeerHasUid(pair[0], getuid() + 1));
  close(pair[0]);
  close(pair[1]);
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  EXPECT_FALSE(PeerHasUid(pipeEnds[0], getuid())) << "a pipe has no peer to vouch for";
  close(pipeEnds[0]);
  close(pipeEnds[1]);
}

TEST(InstanceChannel, OnlyAbsolutePathsOfExistingFilesAndFoldersGetThrough) {
  QTemporaryDir dir;
  const std::string folder = QFile::encodeName(dir.path()).toStdString();
  const std::string file = folder + "/clip; rm -rf ~.mp4";
  QFile(QString::fromStdString(file)).open(QIODevice::WriteOnly);
  const std::string fifo = folder + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const QStringList usable = UsableHandedOverPaths(
      {file, "relative.mp4", folder + "/missing.mp4", fifo, folder, "", "/dev/null"});
  EXPECT_EQ(usable, (QStringList{QString::fromStdString(file), dir.path()}));
}

TEST(InstanceChannel, DeliversAMessageAndDropsMalformedOrEndlessSenders) {
  QTemporaryDir dir;
  const std::string path = QFile::encodeName(dir.path()).toStdString() + "/door";
  InstanceChannel channel;
  ASSERT_TRUE(channel.Listen(path));
  std::vector<QStringList> received;
  channel.SetReceiver([&](const QStringList& paths) { received.push_back(paths); });

  // A malformed sender is cut off and nothing is delivered.
  QLocalSocket bad;
  bad.connectToServer(QString::fromStdString(path));
  ASSERT_TRUE(WaitUntil([&] { return bad.state() == QLocalSocket::ConnectedState; }, 5000));
  bad.write("GET / HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(WaitUntil([&] { return bad.state() == QLocalSocket::UnconnectedState; }, 5000));

  // A sender pouring bytes without end is cut off at the limit.
  QLocalSocket endless;
  endless.connectToServer(QString::fromStdString(path));
  ASSERT_TRUE(WaitUntil([&] { return endless.state() == QLocalSocket::ConnectedState; }, 5000));
  endless.write(kHandOverHeader.data(), kHandOverHeader.size());
  const QByteArray chunk(64 * 1024, '/');
  EXPECT_TRUE(WaitUntil([&] {
    if (endless.bytesToWrite() < chunk.size()) endless.write(chunk);
    return endless.state() == QLocalSocket::UnconnectedState;
  }, 20000));
  EXPECT_TRUE(received.empty());

  // A real second start (the blocking sender, on its own thread) gets through.
  std::atomic<bool> taken{false};
  std::thread sender([&] { taken = InstanceChannel::HandOver(path, {dir.path(), QStringLiteral("/no/such")}, 10000); });
  EXPECT_TRUE(WaitUntil([&] { return !received.empty(); }, 10000));
  sender.join();
  EXPECT_TRUE(taken);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], QStringList{dir.path()});
}

// The receiving program's current folder is no base for a sender's names: a
// relative name that happens to name a file there is still left out.
TEST(InstanceChannel, ARelativePathFromASecondStartIsLeftOutAndLogged) {
  QTemporaryDir dir;
  const std::string folder = QFile::encodeName(dir.path()).toStdString();
  const std::string clip = folder + "/clip.mp4";
  WriteFile(clip, "not a clip, but a file");
  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  const int loggedBefore = LogLinesSaying("left out a handed-over path that is not absolute");
  InstanceChannel channel;
  ASSERT_TRUE(channel.Listen(folder + "/door"));
  std::vector<QStringList> received;
  channel.SetReceiver([&](const QStringList& paths) { received.push_back(paths); });

  // Sent as they are: a real second start makes its names absolute itself.
  QLocalSocket sender;
  sender.connectToServer(QString::fromStdString(folder + "/door"));
  ASSERT_TRUE(WaitUntil([&] { return sender.state() == QLocalSocket::ConnectedState; }, 5000));
  const std::string message = EncodeHandOver({"clip.mp4", "./clip.mp4", clip});
  sender.write(message.data(), static_cast<qint64>(message.size()));
  const bool delivered = WaitUntil([&] { return !received.empty(); }, 5000);
  QDir::setCurrent(before);
  ASSERT_TRUE(delivered);
  EXPECT_EQ(received[0], QStringList{QString::fromStdString(clip)});
  EXPECT_EQ(LogLinesSaying("left out a handed-over path that is not absolute") - loggedBefore, 2);
}

// This process's descriptor of the local socket bound at `path` (found
// through the kernel's table of local sockets); -1 when there is none.
int DescriptorOfSocketAt(const std::string& path) {
  std::ifstream table("/proc/net/unix");
  std::string line, inode;
  while (inode.empty() && std::getline(table, line)) {
    std::istringstream fields(line);
    std::string num, refs, protocol, flags, type, state, node, name;
    if (fields >> num >> refs >> protocol >> flags >> type >> state >> node >> name && name == path) inode = node;
  }
  if (inode.empty()) return -1;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error).string() == "socket:[" + inode + "]")
      return std::stoi(entry.path().filename().string());
  }
  return -1;
}

// Takes every descriptor this process may still open, for as long as it lives.
class DescriptorsExhausted {
 public:
  DescriptorsExhausted() {
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lower = saved_;
    lower.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 4096);
    setrlimit(RLIMIT_NOFILE, &lower);
    for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken_.push_back(fd);
  }
  ~DescriptorsExhausted() {
    for (int fd : taken_) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved_);
  }

 private:
  rlimit saved_{};
  std::vector<int> taken_;
};

// The door's socket fails under it (here: its descriptor turns into one
// that is no socket, so taking a sender fails): the door opens anew, also
// when it cannot at first because the process is out of descriptors, and a
// later start still hands its files over.
TEST(InstanceChannel, ADoorWhoseSocketFailedListensAgainForTheNextStart) {
  for (const bool outOfDescriptors : {false, true}) {
    SCOPED_TRACE(outOfDescriptors ? "out of descriptors at first" : "descriptors to spare");
    QTemporaryDir dir;
    const std::string path = QFile::encodeName(dir.path()).toStdString() + "/door";
    InstanceChannel channel;
    ASSERT_TRUE(channel.Listen(path));
    std::vector<QStringList> received;
    channel.SetReceiver([&](const QStringList& paths) { received.push_back(paths); });
    const int failed = LogLinesSaying("the door failed");
    const int door = DescriptorOfSocketAt(path);
    ASSERT_GE(door, 0);
    {
      std::optional<DescriptorsExhausted> exhausted;
      const int notASocket = open("/dev/null", O_RDONLY | O_CLOEXEC);
      ASSERT_EQ(dup2(notASocket, door), door);
      close(notASocket);
      ASSERT_TRUE(WaitUntil([&] { return LogLinesSaying("the door failed") > failed; }, 5000));
      if (outOfDescriptors) {
        // Before the door's rest ends, and long enough for its first tries to fail.
        exhausted.emplace();
        QTest::qWait(1000);
      }
    }
    std::atomic<bool> taken{false};
    std::thread sender([&] { taken = InstanceChannel::HandOver(path, {dir.path()}, 10000); });
    EXPECT_TRUE(WaitUntil([&] { return !received.empty(); }, 10000));
    sender.join();
    EXPECT_TRUE(taken);
    EXPECT_EQ(received, std::vector<QStringList>{QStringList{dir.path()}});
  }
}

TEST(InstanceChannel, MessagesBeforeTheReceiverWaitForIt) {
  QTemporaryDir dir;
  const std::string path = QFile::encodeName(dir.path()).toStdString() + "/door";
  InstanceChannel channel;
  ASSERT_TRUE(channel.Listen(path));
  std::atomic<bool> taken{false};
  std::thread sender([&] { taken = InstanceChannel::HandOver(path, {}, 10000); });
  EXPECT_TRUE(WaitUntil([&] { return taken.load(); }, 10000));
  sender.join();
  int delivered = 0;
  channel.SetReceiver([&](const QStringList& paths) { delivered += paths.isEmpty() ? 1 : 100; });
  EXPECT_EQ(delivered, 1);
  EXPECT_FALSE(InstanceChannel::HandOver(QFile::encodeName(dir.path()).toStdString() + "/nobody", {}, 300));
}

}  // namespace
}  // namespace mivora::test
