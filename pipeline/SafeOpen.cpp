#include "pipeline/SafeOpen.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>

#include "common/Log.h"
#include "pipeline/AvLibraries.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

namespace mivora {
namespace {

// Protocols a file read here may lead to when its context names none.
constexpr const char* kLocalProtocols = "file,crypto,data";

thread_local SafeOpenWatch* tWatch = nullptr;

// The file a local address names: "file:PATH" or a bare path; nullopt for
// any other protocol.
std::optional<std::string> LocalFile(std::string_view url) {
  constexpr std::string_view kSchemeChars =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.";
  if (url.substr(0, 5) == "file:") return std::string(url.substr(5));
  const size_t scheme = url.find_first_not_of(kSchemeChars);
  if (scheme != std::string_view::npos && scheme > 0 && url[scheme] == ':') return std::nullopt;
  return std::string(url);
}

// libavformat knows a concat list only by its first line, so that line is
// looked for in every file.
bool IsConcatList(int fd) {
  constexpr std::string_view kHeader = "ffconcat version 1.0";
  char start[kHeader.size()] = {};
  return ::pread(fd, start, sizeof start, 0) == static_cast<ssize_t>(sizeof start) &&
         std::string_view(start, sizeof start) == kHeader;
}

// A descriptor of the plain file at `path`, opened without waiting; else a
// negative libavformat error.
int OpenPlainFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return AVERROR(errno);
  struct stat facts {};
  if (::fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode)) {
    const bool folder = S_ISDIR(facts.st_mode);
    ::close(fd);
    MLOG("SafeOpen, not opened, not a plain file: %s", path.c_str());
    return AVERROR(folder ? EISDIR : EPERM);
  }
  if (IsConcatList(fd)) {
    ::close(fd);
    if (tWatch) tWatch->NoteConcatList();
    MLOG("SafeOpen, not opened, a concat list: %s", path.c_str());
    return AVERROR(EPERM);
  }
  return fd;
}

int OpenOnlyPlainFiles(AVFormatContext* context, AVIOContext** io, const char* url, int flags,
                       AVDictionary** options) {
  const AvLibrary& av = AvLibraries();
  std::string_view address = url;
  std::string wrapper;  // encrypted segments: "crypto:" or "crypto+" before the file
  for (std::string_view crypto : {"crypto:", "crypto+"}) {
    if (address.substr(0, crypto.size()) == crypto) {
      wrapper = std::string(crypto);
      address.remove_prefix(crypto.size());
    }
  }
  if (flags & AVIO_FLAG_WRITE) return AVERROR(EPERM);
  const std::optional<std::string> path = LocalFile(address);
  int fd = -1;
  std::string opened = url;
  if (path) {
    fd = OpenPlainFile(*path);
    if (fd < 0) return fd;
    opened = wrapper + "file:/proc/self/fd/" + std::to_string(fd);
  }
  AVDictionary* own = nullptr;
  AVDictionary** passed = options ? options : &own;
  const char* protocols = context->protocol_whitelist ? context->protocol_whitelist : kLocalProtocols;
  av.dictSet(passed, "protocol_whitelist", protocols, 0);
  const int rc = av.openIo(io, opened.c_str(), flags, &context->interrupt_callback, passed);
  av.dictFree(&own);
  if (fd >= 0) ::close(fd);  // the file protocol holds a descriptor of its own
  return rc;
}

}  // namespace

bool UseSafeOpen(AVFormatContext* context) {
  if (!AvLibraries().loaded) return false;
  context->io_open = &OpenOnlyPlainFiles;
  return true;
}

SafeOpenWatch::SafeOpenWatch() : previous_(tWatch) { tWatch = this; }
SafeOpenWatch::~SafeOpenWatch() { tWatch = previous_; }

}  // namespace mivora
