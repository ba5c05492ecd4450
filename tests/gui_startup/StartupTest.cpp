// Starting the real program: one instance per session, a second start is
// refused, and the lock goes with the process however it ends.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QProcess>

#include "app/SingleInstance.h"
#include "tests/support/GuiTestSupport.h"

namespace mivora::test {
namespace {

// True while some process holds the instance lock.
bool LockHeld() {
  const int fd = open(SingleInstance::LockPath().c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return held;
}

class Program {
 public:
  Program() {
    process_.setProgram(QStringLiteral(MIVORA_PROGRAM_DIR "/mivora"));
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
  }
  ~Program() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  bool Says(const char* text, int timeoutMs = 20000) {
    return WaitUntil([&] {
      errors_ += process_.readAllStandardError();
      return errors_.contains(text);
    }, timeoutMs);
  }
  void Kill() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  QProcess& process() { return process_; }

 private:
  QProcess process_;
  QByteArray errors_;
};

TEST(Startup, ASecondStartIsRefusedAndTheLockEndsWithTheFirst) {
  ASSERT_FALSE(LockHeld());
  auto first = std::make_unique<Program>();
  ASSERT_TRUE(WaitUntil(LockHeld, 20000)) << "the first start never took the lock";

  {
    Program second;
    EXPECT_TRUE(second.Says(kAlreadyRunning));
    EXPECT_TRUE(LockHeld());
  }

  // Killed without any chance to clean up: the kernel drops the lock.
  first->Kill();
  EXPECT_FALSE(LockHeld());

  Program third;
  ASSERT_TRUE(WaitUntil(LockHeld, 20000));
  EXPECT_FALSE(third.Says(kAlreadyRunning, 500));
  EXPECT_EQ(third.process().state(), QProcess::Running);
}

}  // namespace
}  // namespace mivora::test
