#include "platform/ParentDeath.h"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace mivora {
namespace {

std::atomic<pid_t> g_expectedParent{0};
// A process descriptor of the parent: readable once every thread of the
// parent has ended. -1 where the system has none to give.
std::atomic<int> g_parentDescriptor{-1};

pid_t ParentFromEnvironment() {
  const char* text = std::getenv(kParentPidVariable);
  if (text == nullptr || *text == '\0') return 0;
  errno = 0;
  char* end = nullptr;
  long pid = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || pid <= 0) return 0;
  return static_cast<pid_t>(pid);
}

}  // namespace

bool DieWithParent(int signal) {
  pid_t expected = ParentFromEnvironment();
  if (expected == 0) expected = ::getppid();
  g_expectedParent.store(expected);
  // The variable is for this process only; its own children get their own.
  ::unsetenv(kParentPidVariable);
  int descriptor = static_cast<int>(::syscall(SYS_pidfd_open, expected, 0));
  bool asked = ::prctl(PR_SET_PDEATHSIG, signal) == 0;
  // A parent that ended before the requests above sends no signal, and its
  // id may name another process by now: this process was handed to another
  // parent already.
  bool parentThere = ::getppid() == expected;
  if (!parentThere && descriptor >= 0) {
    ::close(descriptor);
    descriptor = -1;
  }
  g_parentDescriptor.store(descriptor);
  return parentThere || !asked;  // without the request nothing more can be done
}

bool ParentHasEnded() {
  pid_t expected = g_expectedParent.load();
  if (expected == 0) return false;
  // While the parent's last threads end, this process still counts as the
  // child of one of them, so the parent's id alone cannot tell.
  int descriptor = g_parentDescriptor.load();
  if (descriptor >= 0) {
    pollfd ready{descriptor, POLLIN, 0};
    if (::poll(&ready, 1, 0) == 1) return true;
  }
  return ::getppid() != expected;
}

}  // namespace mivora
