#include "platform/ParentDeath.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace mivora {
namespace {

std::atomic<pid_t> g_expectedParent{0};

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
  if (::prctl(PR_SET_PDEATHSIG, signal) != 0) return true;  // nothing more can be done
  // A parent that ended before the request above sends no signal: the
  // process was handed to another parent already.
  return ::getppid() == expected;
}

bool ParentHasEnded() {
  pid_t expected = g_expectedParent.load();
  return expected != 0 && ::getppid() != expected;
}

}  // namespace mivora
