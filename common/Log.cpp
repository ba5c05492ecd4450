#include "common/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>

#include "common/Folders.h"
#include "common/TextCodec.h"

namespace mivora {
namespace {

constexpr size_t kMessageBufferBytes = 4096;
std::atomic<bool> g_newLog{false};

}  // namespace

std::string LogFilePath() { return AppDataFolder("Mivora") + "/Log.txt"; }

void ResetLogForNewRun() { g_newLog.store(true); }

bool LogV(std::string_view module, int position, const char* format, va_list args) {
  size_t slash = module.find_last_of("/\\");
  if (slash != std::string_view::npos) module.remove_prefix(slash + 1);

  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "%04d-%02d-%02d %02d:%02d:%02d\t", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);

  // A message longer than the buffer is cut at 4095 bytes, as vsnprintf does.
  char message[kMessageBufferBytes];
  std::vsnprintf(message, sizeof message, format, args);

  char positionText[32];
  std::snprintf(positionText, sizeof positionText, "%04d, ", position);

  std::string line;
  line.reserve(64 + module.size() + kMessageBufferBytes);
  line += prefix;
  line += module;
  line += ", ";
  line += positionText;
  line += RepairUtf8(message);
  line += '\n';

  // The request is used up by the next call even when that open fails.
  const bool newLog = g_newLog.exchange(false);
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (newLog ? O_TRUNC : O_APPEND);
  int fd = ::open(LogFilePath().c_str(), flags, 0600);
  if (fd < 0) return false;
  // A log begun by an older version may be readable by others.
  if (newLog) ::fchmod(fd, 0600);
  ssize_t written = ::write(fd, line.data(), line.size());
  ::close(fd);
  return written == static_cast<ssize_t>(line.size());
}

bool Log(std::string_view module, int position, const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = LogV(module, position, format, args);
  va_end(args);
  return ok;
}

}  // namespace mivora
