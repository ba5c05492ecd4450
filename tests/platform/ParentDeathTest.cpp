#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/ChildProcess.h"
#include "platform/ParentDeath.h"
#include "tests/platform/ProcessTable.h"

namespace mivora {
namespace {

bool Gone(pid_t pid) {
  for (const test::ProcessEntry& p : test::ListProcesses())
    if (p.pid == pid) return p.state == 'Z';
  return true;
}

TEST(ParentDeath, ChildrenLearnWhoStartedThem) {
  ::setenv(kParentPidVariable, "1", 1);  // an inherited value is replaced
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  ChildOptions options;
  options.stdio.output = fds[1];
  auto child = ChildProcess::Start({"/bin/sh", "-c", std::string("printf %s \"$") + kParentPidVariable + "\""},
                                   options);
  ::close(fds[1]);
  ASSERT_TRUE(child);
  char buffer[64] = {};
  ssize_t n = ::read(fds[0], buffer, sizeof buffer - 1);
  ::close(fds[0]);
  child->Wait();
  ::unsetenv(kParentPidVariable);
  EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), std::to_string(::getpid()));
}

TEST(ParentDeath, AParentThatEndedBeforeTheRequestIsNoticed) {
  struct Case {
    bool envNamesParent;
    bool expectWatching;
  };
  for (Case c : {Case{true, true}, Case{false, false}}) {
    pid_t parent = ::getpid();
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Not the real parent: as if it had ended and the child was handed on.
      std::string expected = std::to_string(c.envNamesParent ? parent : parent + 100000);
      ::setenv(kParentPidVariable, expected.c_str(), 1);
      bool watching = DieWithParent(SIGTERM);
      bool consistent = watching != ParentHasEnded() && std::getenv(kParentPidVariable) == nullptr;
      ::_exit((watching ? 1 : 0) | (consistent ? 2 : 0));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status) & 1, c.expectWatching ? 1 : 0) << c.envNamesParent;
    EXPECT_EQ(WEXITSTATUS(status) & 2, 2) << c.envNamesParent;
  }
}

TEST(ParentDeath, TheSignalComesWhenTheParentIsKilled) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  pid_t middle = ::fork();
  ASSERT_GE(middle, 0);
  if (middle == 0) {
    ::close(fds[0]);
    pid_t helper = ::fork();
    if (helper == 0) {
      if (!DieWithParent(SIGTERM)) ::_exit(3);
      if (::write(fds[1], "r", 1) != 1) ::_exit(4);  // watching
      for (;;) ::pause();
    }
    if (::write(fds[1], &helper, sizeof helper) != sizeof helper) ::_exit(4);
    for (;;) ::pause();
  }
  ::close(fds[1]);
  pid_t helper = 0;
  ASSERT_EQ(::read(fds[0], &helper, sizeof helper), static_cast<ssize_t>(sizeof helper));
  char ready = 0;
  ASSERT_EQ(::read(fds[0], &ready, 1), 1);
  ::close(fds[0]);
  ::kill(middle, SIGKILL);
  ::waitpid(middle, nullptr, 0);
  bool gone = false;
  for (int i = 0; i < 200 && !gone; ++i) {
    gone = Gone(helper);
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!gone) ::kill(helper, SIGKILL);
  EXPECT_TRUE(gone) << "the helper outlived its parent";
}

}  // namespace
}  // namespace mivora
