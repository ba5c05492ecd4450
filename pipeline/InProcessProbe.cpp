// The in-process probe: opens the source as the engine's "-i" run does
// (same options, same library) and lets av_dump_format write the
// description, captured from libavutil's log.

#include "pipeline/InProcessProbe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "common/Log.h"
#include "pipeline/AvLibraries.h"
#include "pipeline/SafeOpen.h"
#include "tools/trancor/SourceFactsWord.h"

namespace mivora {
namespace {

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

// The engine names a stream's channels by the usual layout of their count
// when the file does not say; so does this, for the same stream lines.
void GuessChannelLayouts(const AvLibrary& av, AVFormatContext* context) {
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
int OpenAsTheEngineDoes(const AvLibrary& av, const std::string& url, Interrupt* interrupt,
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

std::string InProcessProbeError() { return AvLibraries().error; }

DescribeOutcome DescribeSourceInProcess(const std::string& path, const ProbeLimits& limits,
                                        std::string* text, TrackChoice* tracks, std::string* engineFacts) {
  text->clear();
  if (engineFacts) engineFacts->clear();
  const AvLibrary& av = AvLibraries();
  if (!av.loaded || !OpensWithoutBlocking(path)) return DescribeOutcome::kUnavailable;
  SafeName name(path);
  if (!name.Ok()) return DescribeOutcome::kUnavailable;
  const std::string& url = name.Url();
  // Taken before the file is read: a change from now on makes the facts stale.
  const std::optional<trancor::SourceFileStamp> stamp = trancor::StampOf(path);

  AvLogCapture capture;
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
    *text = capture.Text() + url + ": " + av.ErrorText(rc) + "\n";
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
  if (rc < 0) capture.Text() += url + ": could not find codec parameters\n";
  if (rc < 0 && context->nb_streams == 0) {
    outcome = DescribeOutcome::kNotMedia;
  } else {
    GuessChannelLayouts(av, context);
    av.dumpFormat(context, 0, url.c_str(), 0);
    if (tracks) *tracks = ChooseTracks(TracksOf(*context));
    // Read last: an HDR source's first frame may be decoded for its metadata.
    if (engineFacts && rc >= 0 && stamp) *engineFacts = trancor::SourceFactsWordOf(context, *stamp);
    // Facts cut short by a limit are not handed on; the engine reads the source then.
    if (engineFacts && interrupt.why) engineFacts->clear();
  }
  av.closeInput(&context);
  *text = std::move(capture.Text());
  return outcome;
}

}  // namespace mivora
