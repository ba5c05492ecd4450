#include "app/startup/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/Folders.h"
#include "common/Log.h"
#include "common/PrivateFiles.h"

namespace mivora {

namespace {

// The folder of the lock and the hand-over socket: one only this user may
// enter, so no other user can take the names, plant links under them, or
// talk to the program in this user's stead. First the session's runtime
// folder; without one a folder of the user's own in the shared temporary
// folder; when another user holds that name, the per-user folder.
std::string InstanceFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/' && IsPrivateFolder(runtime)) return runtime;
  const std::string shared = TempFolder() + "/mivora-instance-" + std::to_string(getuid());
  std::string why;
  if (MakePrivateFolder(shared, &why)) return shared;
  MLOG("SingleInstance, %s %s; the lock goes to the per-user folder", shared.c_str(), why.c_str());
  return AppDataFolder("Mivora");
}

// Opens the lock file, a regular file of this user. Anything else under its
// name (a link, a pipe, another user's file) cannot be a lock of this
// program: it is removed, which the folder's owner may do, and the file made anew.
int OpenLockFile(const std::string& path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    // Close-on-exec: started engines must not inherit (and keep) the lock.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    struct stat info {};
    if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == getuid()) return fd;
    const int error = errno;
    if (fd >= 0) close(fd);
    if (fd < 0 && error != ELOOP) {
      MLOG("SingleInstance, cannot open %s: %s", path.c_str(), std::strerror(error));
      return -1;
    }
    MLOG("SingleInstance, %s is no lock of this user; made anew", path.c_str());
    if (unlink(path.c_str()) != 0) break;
  }
  MLOG("SingleInstance, cannot make a lock at %s", path.c_str());
  return -1;
}

}  // namespace

std::string SingleInstance::LockPath() { return InstanceFolder() + "/" + kInstanceLockName; }

SingleInstance::SingleInstance() {
  const std::string path = LockPath();
  fd_ = OpenLockFile(path);
  if (fd_ < 0) return;
  if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    outcome_ = Outcome::kFirst;
  } else if (errno == EWOULDBLOCK) {
    outcome_ = Outcome::kAlreadyRunning;
  } else {
    MLOG("SingleInstance, cannot lock %s: %s", path.c_str(), std::strerror(errno));
  }
}

SingleInstance::~SingleInstance() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace mivora
