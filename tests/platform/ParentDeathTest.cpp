// The signal itself is tested where it matters: the program killed while
// converting leaves no engine (tests/tasks).

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/ParentDeath.h"

namespace mivora {
namespace {

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

}  // namespace
}  // namespace mivora
