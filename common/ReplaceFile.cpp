#include "common/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace mivora {
namespace {

// The process's umask, read without changing it (umask() can only be read by
// setting it, which would open a moment in which another thread's new files
// get the wrong mode).
mode_t CurrentUmask() {
  mode_t mask = 022;
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned value = 0;
    while (std::fgets(line, sizeof line, status))
      if (std::sscanf(line, "Umask: %o", &value) == 1) mask = static_cast<mode_t>(value & 0777);
    std::fclose(status);
  }
  return mask;
}

mode_t ModeFor(const std::string& path, ReplacedFileMode mode) {
  if (mode == ReplacedFileMode::kPrivate) return 0600;
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) return old.st_mode & 07777;
  return 0666 & ~CurrentUmask();
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool ReplaceFile(const std::string& path, std::string_view text, ReplacedFileMode mode) {
  std::string temporary = path + ".XXXXXX";
  // mkostemp makes the file with mode 0600 under a name nobody else has.
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  const mode_t wanted = ModeFor(path, mode);
  bool ok = wanted == 0600 || ::fchmod(fd, wanted) == 0;
  ok = ok && WriteAll(fd, text);
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace mivora
