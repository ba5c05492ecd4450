#include "tools/playrun/DieWithParent.h"

#include <signal.h>
#include <unistd.h>

#include "platform/ParentDeath.h"

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
  return mivora::DieWithParent(SIGTERM);
}

}  // namespace mivora::playrun
