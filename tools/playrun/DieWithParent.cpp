#include "tools/playrun/DieWithParent.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>

namespace mivora::playrun {
namespace {

// Ends the group this process leads (itself included); a process that leads
// no group (started by hand from a shell) ends alone.
void EndGroup(int) {
  if (::getpgrp() == ::getpid()) ::kill(0, SIGKILL);
  ::_exit(128 + SIGTERM);
}

}  // namespace

bool DieWithParent() {
  struct sigaction action {};
  action.sa_handler = EndGroup;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGTERM, &action, nullptr);
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  // The parent may have died before the request above: then this process
  // already belongs to another parent and no signal will come.
  const char* expected = std::getenv(kParentPidVariable);
  if (expected == nullptr || *expected == '\0') return true;
  char* end = nullptr;
  long parent = std::strtol(expected, &end, 10);
  if (*end != '\0' || parent <= 0) return true;
  return ::getppid() == static_cast<pid_t>(parent);
}

}  // namespace mivora::playrun
