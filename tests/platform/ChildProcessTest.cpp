#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/ChildProcess.h"
#include "tests/platform/ProcessTable.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

using namespace std::chrono_literals;

std::string ReadAll(int fd) {
  std::string text;
  char buffer[1024];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// Waits until `predicate` holds (at most ~2 s).
template <typename Predicate>
bool Eventually(Predicate predicate) {
  for (int i = 0; i < 200; ++i) {
    if (predicate()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return predicate();
}

TEST(ChildProcess, ArgumentsArriveUnchangedWithoutAShell) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  ChildOptions options;
  options.searchPath = true;
  options.stdio.output = fds[1];
  const std::vector<std::string> args = {"a b", "\"q\"", "$HOME", "*", "-x", "it's", ""};
  std::vector<std::string> argv = {"printf", "[%s]"};
  argv.insert(argv.end(), args.begin(), args.end());
  auto child = ChildProcess::Start(argv, options);
  ::close(fds[1]);
  ASSERT_TRUE(child);
  std::string out = ReadAll(fds[0]);
  ::close(fds[0]);
  EXPECT_EQ(child->Wait(), 0);
  EXPECT_EQ(out, "[a b][\"q\"][$HOME][*][-x][it's][]");
}

TEST(ChildProcess, AddedVariablesJoinOrReplaceTheEnvironment) {
  ::setenv("MIVORA_TEST_KEPT", "kept", 1);
  ::setenv("MIVORA_TEST_REPLACED", "old", 1);
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  ChildOptions options;
  options.stdio.output = fds[1];
  options.environment = {"MIVORA_TEST_REPLACED=new", "MIVORA_TEST_ADDED=a=b"};
  auto child = ChildProcess::Start(
      {"/bin/sh", "-c", "echo \"$MIVORA_TEST_KEPT $MIVORA_TEST_REPLACED $MIVORA_TEST_ADDED\"; "
                        "env | grep -c '^MIVORA_TEST_REPLACED='"},
      options);
  ::close(fds[1]);
  ASSERT_TRUE(child);
  std::string out = ReadAll(fds[0]);
  ::close(fds[0]);
  EXPECT_EQ(child->Wait(), 0);
  EXPECT_EQ(out, "kept new a=b\n1\n");
}

TEST(ChildProcess, ExitStatusAndSignals) {
  ChildOptions options;
  auto exit7 = ChildProcess::Start({"/bin/sh", "-c", "exit 7"}, options);
  ASSERT_TRUE(exit7);
  EXPECT_EQ(exit7->Wait(), 7);
  EXPECT_EQ(exit7->Wait(), 7);  // asked again
  auto killed = ChildProcess::Start({"/bin/sh", "-c", "kill -TERM $$"}, options);
  ASSERT_TRUE(killed);
  EXPECT_EQ(killed->Wait(), 128 + SIGTERM);
}

TEST(ChildProcess, StandardInputIsEmpty) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  ChildOptions options;
  options.stdio.output = fds[1];
  auto child = ChildProcess::Start({"/bin/sh", "-c", "cat; echo done"}, options);
  ::close(fds[1]);
  ASSERT_TRUE(child);
  EXPECT_EQ(ReadAll(fds[0]), "done\n");
  ::close(fds[0]);
  EXPECT_EQ(child->Wait(), 0);
}

TEST(ChildProcess, AProgramThatCannotRunIsAFailedStart) {
  std::string folder = test::MakeTempDir("exec");
  std::string notExecutable = folder + "/plain.txt";
  test::WriteFile(notExecutable, "#!/bin/sh\nexit 0\n");
  struct Case {
    std::vector<std::string> argv;
    bool searchPath;
    const char* reason;
  };
  const Case cases[] = {
      {{folder + "/missing"}, false, "No such file"},
      {{notExecutable}, false, "Permission denied"},
      {{folder}, false, "Permission denied"},
      {{"no-such-program-here"}, true, "No such file"},
      {{"relative-name"}, false, "No such file"},
      {{""}, false, "no program"},
      {{}, false, "no program"},
  };
  for (const Case& c : cases) {
    ChildOptions options;
    options.searchPath = c.searchPath;
    std::string error;
    EXPECT_EQ(ChildProcess::Start(c.argv, options, &error), nullptr);
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
  EXPECT_TRUE(test::ListProcesses().size() > 0);
  for (const auto& child : test::ChildrenOf(::getpid()))
    EXPECT_NE(child.state, 'Z') << "zombie " << child.pid << " " << child.name;
}

TEST(ChildProcess, TerminateGroupEndsEverythingTheChildStartedAndReaps) {
  ChildOptions options;
  // The child starts two grandchildren of its own and waits for them.
  auto child = ChildProcess::Start({"/bin/sh", "-c", "sleep 30 & sleep 30 & wait"}, options);
  ASSERT_TRUE(child);
  pid_t group = child->Pid();
  ASSERT_TRUE(Eventually([&] { return test::ProcessesInGroup(group).size() == 3; }))
      << "expected the shell and two sleeps in its own group";
  EXPECT_NE(group, ::getpgrp());

  std::thread stopper([&] { child->TerminateGroup(); });
  stopper.join();
  // The shell takes the polite SIGTERM; its children get the SIGKILL.
  EXPECT_EQ(child->Wait(), 128 + SIGTERM);
  EXPECT_TRUE(child->WasTerminated());
  EXPECT_TRUE(Eventually([&] { return test::ProcessesInGroup(group).empty(); }))
      << "a member of the run's group is left";
  for (const auto& c : test::ChildrenOf(::getpid())) EXPECT_NE(c.pid, group);
  child->TerminateGroup();  // after the reap: no effect
}

TEST(ChildProcess, AChildThatIgnoresTheRequestIsKilledAfterTheGrace) {
  auto child = ChildProcess::Start({"/bin/sh", "-c", "trap '' TERM; sleep 30"}, ChildOptions{});
  ASSERT_TRUE(child);
  std::this_thread::sleep_for(100ms);  // let the shell set its trap
  auto start = std::chrono::steady_clock::now();
  child->TerminateGroup(std::chrono::milliseconds(200));
  EXPECT_EQ(child->Wait(), 128 + SIGKILL);
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 0.2);
  EXPECT_LT(seconds, 2.0);
  auto immediate = ChildProcess::Start({"/bin/sleep", "30"}, ChildOptions{});
  ASSERT_TRUE(immediate);
  immediate->TerminateGroup(std::chrono::milliseconds(0));
  EXPECT_EQ(immediate->Wait(), 128 + SIGKILL);
}

TEST(ChildProcess, LeftoversOfAFinishedChildEndWithIt) {
  ChildOptions options;
  // The shell ends at once and leaves a background sleep in its group.
  auto child = ChildProcess::Start({"/bin/sh", "-c", "sleep 30 & exit 0"}, options);
  ASSERT_TRUE(child);
  pid_t group = child->Pid();
  EXPECT_EQ(child->Wait(), 0);
  EXPECT_TRUE(Eventually([&] { return test::ProcessesInGroup(group).empty(); }));
}

TEST(ChildProcess, DestroyingARunningChildEndsAndReapsIt) {
  pid_t pid;
  {
    auto child = ChildProcess::Start({"/bin/sleep", "30"}, ChildOptions{});
    ASSERT_TRUE(child);
    pid = child->Pid();
  }
  for (const auto& p : test::ListProcesses()) EXPECT_NE(p.pid, pid);
}

}  // namespace
}  // namespace mivora
