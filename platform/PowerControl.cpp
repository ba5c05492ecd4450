#include "platform/PowerControl.h"

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace mivora {

bool RequestPowerAction(PowerAction action) {
  const char* method = action == PowerAction::Reboot ? "Reboot" : "PowerOff";
  const char* argv[] = {"busctl", "call", "org.freedesktop.login1", "/org/freedesktop/login1",
                        "org.freedesktop.login1.Manager", method, "b", "false", nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "busctl", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
    return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace mivora
