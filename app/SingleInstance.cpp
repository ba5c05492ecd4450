#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/Folders.h"
#include "common/Log.h"

namespace mivora {

std::string SingleInstance::LockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && IsDirectory(runtime)) return std::string(runtime) + "/" + kInstanceLockName;
  // Without a runtime folder the temporary one is shared, so the name carries the user.
  return TempFolder() + "/" + kInstanceLockName + "-" + std::to_string(getuid());
}

SingleInstance::SingleInstance() {
  const std::string path = LockPath();
  // Close-on-exec: started engines must not inherit (and keep) the lock.
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    MLOG("SingleInstance, cannot open %s: %s", path.c_str(), std::strerror(errno));
    return;
  }
  if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    outcome_ = Outcome::kFirst;
  } else if (errno == EWOULDBLOCK) {
    outcome_ = Outcome::kAlreadyRunning;
    KeepExistingLog();  // the log belongs to the running program
  } else {
    MLOG("SingleInstance, cannot lock %s: %s", path.c_str(), std::strerror(errno));
  }
  MLOG("SingleInstance, lock: %s, outcome: %d", path.c_str(), static_cast<int>(outcome_));
}

SingleInstance::~SingleInstance() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace mivora
