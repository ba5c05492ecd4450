// The in-process probe: opens the source as the engine's "-i" run does
// (same options, same library) and lets av_dump_format write the
// description, captured from libavutil's log.

#include "pipeline/InProcessProbe.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <mutex>
#include <vector>

#include "common/Log.h"
#include "pipeline/AvLibraries.h"
#include "pipeline/SafeOpen.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/version.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/version.h>
}

namespace mivora {
namespace {

// The entry points used, from the libraries the headers belong to.
struct ProbeLibrary {
  bool loaded = false;
  std::string error;
  decltype(&avformat_alloc_context) allocContext = nullptr;
  decltype(&avformat_open_input) openInput = nullptr;
  decltype(&avformat_find_stream_info) findStreamInfo = nullptr;
  decltype(&avformat_close_input) closeInput = nullptr;
  decltype(&av_dump_format) dumpFormat = nullptr;
  decltype(&av_dict_set) dictSet = nullptr;
  decltype(&av_dict_free) dictFree = nullptr;
  decltype(&av_strerror) errorText = nullptr;
  decltype(&av_channel_layout_default) defaultLayout = nullptr;
  decltype(&av_log_set_callback) setLogCallback = nullptr;
  decltype(&av_log_default_callback) defaultLogCallback = nullptr;
  decltype(&av_log_format_line2) formatLogLine = nullptr;
  decltype(&avio_open2) openIo = nullptr;
};

const ProbeLibrary& Library();

// Where the calling thread's libavutil messages go while it describes a
// source; null on every other thread.
struct LogCapture {
  std::string text;
  int printPrefix = 1;  // libavutil's state: the next message starts a line
};
thread_local LogCapture* tCapture = nullptr;

// The engine prints control characters other than the line breaks and tabs
// as '?' (so does this).
void Sanitize(char* text) {
  for (; *text; ++text) {
    unsigned char c = static_cast<unsigned char>(*text);
    if (c < 0x08 || (c > 0x0D && c < 0x20)) *text = '?';
  }
}

// One callback for the whole process, installed once: a capturing thread's
// messages up to the engine's default level are kept as the engine would
// print them; everything else goes to libavutil's own handling.
void RouteLog(void* context, int level, const char* format, va_list args) {
  const ProbeLibrary& av = Library();
  LogCapture* capture = tCapture;
  if (!capture) {
    av.defaultLogCallback(context, level, format, args);
    return;
  }
  if (level > AV_LOG_INFO) return;
  char line[1024];
  int prefix = capture->printPrefix;
  va_list copy;
  va_copy(copy, args);
  int length = av.formatLogLine(context, level, format, copy, line, sizeof line, &prefix);
  va_end(copy);
  if (length < 0) return;
  if (static_cast<size_t>(length) < sizeof line) {
    Sanitize(line);
    capture->text += line;
  } else {
    std::vector<char> longer(static_cast<size_t>(length) + 1);
    prefix = capture->printPrefix;
    av.formatLogLine(context, level, format, args, longer.data(), static_cast<int>(longer.size()), &prefix);
    Sanitize(longer.data());
    capture->text += longer.data();
  }
  capture->printPrefix = prefix;
}

class CaptureScope {
 public:
  explicit CaptureScope(LogCapture* capture) : previous_(tCapture) { tCapture = capture; }
  ~CaptureScope() { tCapture = previous_; }
  CaptureScope(const CaptureScope&) = delete;
  CaptureScope& operator=(const CaptureScope&) = delete;

 private:
  LogCapture* previous_;
};

ProbeLibrary Load() {
  ProbeLibrary av;
  const AvLibraries libraries = OpenAvLibraries();
  if (!libraries.error.empty()) {
    av.error = libraries.error;
    return av;
  }
  void* format = libraries.format;
  void* util = libraries.util;
  av.loaded = FindAvEntry(format, "avformat_alloc_context", &av.allocContext) &&
              FindAvEntry(format, "avformat_open_input", &av.openInput) &&
              FindAvEntry(format, "avformat_find_stream_info", &av.findStreamInfo) &&
              FindAvEntry(format, "avformat_close_input", &av.closeInput) &&
              FindAvEntry(format, "av_dump_format", &av.dumpFormat) &&
              FindAvEntry(format, "avio_open2", &av.openIo) &&
              FindAvEntry(util, "av_dict_set", &av.dictSet) && FindAvEntry(util, "av_dict_free", &av.dictFree) &&
              FindAvEntry(util, "av_strerror", &av.errorText) &&
              FindAvEntry(util, "av_channel_layout_default", &av.defaultLayout) &&
              FindAvEntry(util, "av_log_set_callback", &av.setLogCallback) &&
              FindAvEntry(util, "av_log_default_callback", &av.defaultLogCallback) &&
              FindAvEntry(util, "av_log_format_line2", &av.formatLogLine);
  if (!av.loaded) av.error = "an entry point is missing in " + libraries.names;
  return av;
}

const ProbeLibrary& Library() {
  static const ProbeLibrary library = Load();
  return library;
}

void InstallLogRouteOnce(const ProbeLibrary& av) {
  static std::once_flag once;
  std::call_once(once, [&av] { av.setLogCallback(&RouteLog); });
}

// Ends a probe that runs past its limits; libavformat asks before every read.
struct Interrupt {
  std::chrono::steady_clock::time_point deadline;
  int64_t maxBytes = 0;
  const std::atomic<bool>* cancel = nullptr;
  AVFormatContext* context = nullptr;
  const char* why = nullptr;  // set once it has stopped the probe

  static int Check(void* opaque) {
    auto* self = static_cast<Interrupt*>(opaque);
    if (self->why) return 1;
    if (self->cancel && self->cancel->load(std::memory_order_relaxed)) self->why = "cancelled";
    else if (std::chrono::steady_clock::now() > self->deadline) self->why = "time limit";
    else if (self->context && self->context->pb && self->context->pb->bytes_read > self->maxBytes)
      self->why = "size limit";
    return self->why ? 1 : 0;
  }
};

std::string ErrorText(const ProbeLibrary& av, int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av.errorText(code, text, sizeof text);
  return text;
}

// The engine names a stream's channels by the usual layout of their count
// when the file does not say; so does this, for the same stream lines.
void GuessChannelLayouts(const ProbeLibrary& av, AVFormatContext* context) {
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    AVCodecParameters* parameters = context->streams[i]->codecpar;
    if (parameters->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    if (parameters->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC) continue;
    av.defaultLayout(&parameters->ch_layout, parameters->ch_layout.nb_channels);
  }
}

// A local file, a folder (which fails to read at once) or nothing yet: this
// process may open it. A pipe or a device could block the opening thread
// beyond any limit, so those are left to the engine, which can be ended.
bool OpensWithoutBlocking(const std::string& path) {
  struct stat facts {};
  if (::stat(path.c_str(), &facts) != 0) return true;
  return S_ISREG(facts.st_mode) || S_ISDIR(facts.st_mode);
}

// The name the source is opened and described by. As the engine does:
// "file:" so that no name is taken for another protocol; and a name with a
// line break, which would put lines of the file's choosing into the
// description, is opened through this process's descriptor of the file.
class SafeName {
 public:
  explicit SafeName(const std::string& path) {
    if (path.find_first_of("\r\n") == std::string::npos) {
      url_ = "file:" + path;
      return;
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat facts {};
    if (fd_ < 0 || ::fstat(fd_, &facts) != 0 || !S_ISREG(facts.st_mode)) return;
    url_ = "file:/proc/self/fd/" + std::to_string(fd_);
  }
  ~SafeName() {
    if (fd_ >= 0) ::close(fd_);
  }
  SafeName(const SafeName&) = delete;
  SafeName& operator=(const SafeName&) = delete;
  bool Ok() const { return !url_.empty(); }
  const std::string& Url() const { return url_; }

 private:
  int fd_ = -1;
  std::string url_;
};

// Opens `url` with the options the engine's "-i" run uses, under the
// interrupt's limits. On failure `*context` is null.
int OpenAsTheEngineDoes(const ProbeLibrary& av, const std::string& url, Interrupt* interrupt,
                        AVFormatContext** context) {
  *context = av.allocContext();
  if (!*context) return AVERROR(ENOMEM);
  interrupt->context = *context;
  (*context)->interrupt_callback = {&Interrupt::Check, interrupt};
  (*context)->flags |= AVFMT_FLAG_NONBLOCK;
  if (!UseSafeOpen(*context)) {
    av.closeInput(context);
    return AVERROR(ENOSYS);
  }
  AVDictionary* options = nullptr;
  av.dictSet(&options, "scan_all_pmts", "1", 0);
  av.dictSet(&options, "probesize", "5000000", 0);
  av.dictSet(&options, "analyzeduration", "5000000", 0);
  // A playlist or reference inside the file may name other sources: local
  // files only, never the network (libavformat's own default for a local
  // file, stated here so that it holds whatever the library's default).
  av.dictSet(&options, "protocol_whitelist", "file,crypto,data", 0);
  int rc = av.openInput(context, url.c_str(), nullptr, &options);  // frees the context on failure
  av.dictFree(&options);
  return rc;
}

DescribeOutcome Stopped(const Interrupt& interrupt, const std::string& path, const ProbeLimits& limits) {
  MLOG("DescribeSourceInProcess, %s stopped at its %s (%lld ms, %lld bytes)", path.c_str(), interrupt.why,
       static_cast<long long>(limits.time.count()), static_cast<long long>(limits.bytes));
  return DescribeOutcome::kStopped;
}

}  // namespace

std::string InProcessProbeError() { return Library().error; }

DescribeOutcome DescribeSourceInProcess(const std::string& path, const ProbeLimits& limits,
                                        std::string* text, TrackChoice* tracks) {
  text->clear();
  const ProbeLibrary& av = Library();
  if (!av.loaded || !OpensWithoutBlocking(path)) return DescribeOutcome::kUnavailable;
  InstallLogRouteOnce(av);
  SafeName name(path);
  if (!name.Ok()) return DescribeOutcome::kUnavailable;
  const std::string& url = name.Url();

  LogCapture capture;
  CaptureScope scope(&capture);
  Interrupt interrupt;
  interrupt.deadline = std::chrono::steady_clock::now() + limits.time;
  interrupt.maxBytes = limits.bytes;
  interrupt.cancel = limits.cancel;
  AVFormatContext* context = nullptr;
  SafeOpenWatch watch;
  int rc = OpenAsTheEngineDoes(av, url, &interrupt, &context);
  if (interrupt.why) {
    if (context) av.closeInput(&context);
    return Stopped(interrupt, path, limits);
  }
  // A concat list's demuxer opens the files it names itself, past the safe
  // opening; the engine, whose run can be ended, describes such a source.
  if (rc < 0 && watch.RefusedConcatList()) return DescribeOutcome::kUnavailable;
  if (rc < 0) {
    *text = capture.text + url + ": " + ErrorText(av, rc) + "\n";
    return DescribeOutcome::kNotMedia;
  }
  // As the engine: without the streams' facts the input is still described
  // when it has streams at all.
  rc = av.findStreamInfo(context, nullptr);
  if (interrupt.why) {
    av.closeInput(&context);
    return Stopped(interrupt, path, limits);
  }
  DescribeOutcome outcome = DescribeOutcome::kDescribed;
  if (rc < 0) capture.text += url + ": could not find codec parameters\n";
  if (rc < 0 && context->nb_streams == 0) {
    outcome = DescribeOutcome::kNotMedia;
  } else {
    GuessChannelLayouts(av, context);
    av.dumpFormat(context, 0, url.c_str(), 0);
    if (tracks) *tracks = ChooseTracks(TracksOf(*context));
  }
  av.closeInput(&context);
  *text = std::move(capture.text);
  return outcome;
}

}  // namespace mivora
