#include "tools/trancor/EngineRun.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/CopyDataEndpoint.h"
#include "platform/Leftovers.h"
#include "platform/ParentDeath.h"
#include "tools/trancor/CodecMap.h"
#include "tools/trancor/FfmpegArguments.h"
#include "tools/trancor/HdrMetadata.h"
#include "tools/trancor/RecordSplitter.h"
#include "tools/trancor/SourceFacts.h"
#include "tools/trancor/TrancorExitCodes.h"

namespace mivora::trancor {
namespace {

// The running ffmpeg, for the signal handler. A stop ends ffmpeg at once;
// trancor then collects it and ends, so a stopped run leaves nothing behind.
std::atomic<pid_t> g_ffmpegPid{0};
std::atomic<int> g_stopSignal{0};

// The signal the system sends when the thread that started trancor ends.
// The program waits for its engines on the threads that started them, so
// that thread ends before its engine only when the program itself ends (a
// kill, a crash). A signal of its own tells it from a stop the program asks
// for, which the program follows up itself.
constexpr int kParentEndSignal = SIGUSR1;
std::atomic<bool> g_parentEnding{false};

void StopFfmpeg(int signal) {
  if (signal == kParentEndSignal) g_parentEnding.store(true);
  g_stopSignal.store(signal);
  pid_t pid = g_ffmpegPid.load();
  if (pid > 0) ::kill(pid, SIGKILL);
}

// True once the program that started trancor is ending or gone: nobody is
// left to take the output or to remove it.
bool ParentGone() { return g_parentEnding.load() || ParentHasEnded(); }

// Called once ffmpeg runs: a stop that came while it was being started
// reaches it now.
void WatchFfmpeg(pid_t pid) {
  g_ffmpegPid.store(pid);
  if (g_stopSignal.load() != 0) ::kill(pid, SIGKILL);
}

void InstallStopHandler() {
  struct sigaction action {};
  action.sa_handler = StopFfmpeg;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, kParentEndSignal}) ::sigaction(sig, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

void SendRecord(CopyDataSender* sender, const EngineCommand& command, std::string_view record) {
  if (!command.hwnd) return;
  // A record longer than one message goes in pieces; progress records are short.
  while (!record.empty()) {
    std::string_view piece = record.substr(0, copydata::kMaxPayloadBytes);
    sender->Send(*command.hwnd, copydata::kEngineTextWord, piece);
    record.remove_prefix(piece.size());
  }
}

// A name with a line break would put lines of the file's choosing into the
// report that the probe reads. ffmpeg then opens the file through a link
// with a plain name in a private folder, named for this process so that a
// later start of the program removes it should trancor be killed.
class InputAlias {
 public:
  explicit InputAlias(const std::string& path) : path_(path) {
    if (path.find_first_of("\r\n") == std::string::npos) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = MakeOwnedTempFolder(tmp && *tmp ? tmp : "/tmp", kEngineTempPrefix);
    if (folder.empty()) return;
    std::string target = path;
    if (target.empty() || target[0] != '/') {
      char* cwd = ::getcwd(nullptr, 0);
      if (cwd) target = std::string(cwd) + "/" + target;
      ::free(cwd);
    }
    std::string link = folder + "/source";
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
      std::string extension = path.substr(dot);
      if (extension.find_first_of("\r\n/") == std::string::npos) link += extension;
    }
    if (::symlink(target.c_str(), link.c_str()) == 0) {
      folder_ = folder;
      link_ = link;
    } else {
      ::rmdir(folder.c_str());
    }
  }
  ~InputAlias() {
    if (link_.empty()) return;
    ::unlink(link_.c_str());
    ::rmdir(folder_.c_str());
  }
  // The path ffmpeg opens.
  const std::string& Path() const { return link_.empty() ? path_ : link_; }

 private:
  std::string path_, folder_, link_;
};

int StartFailure(const EngineCommand& command, const std::string& error) {
  ReportLine(&command, "trancor: ffmpeg is not installed or cannot be started (" + error + ")");
  return kExitNoFfmpeg;
}

// An output that the run began and did not finish goes, however the run
// ended, unless the program stopped the run and is there to decide: it
// keeps unfinished files when the user asks it to. A file that was there
// before the run is not this run's to remove.
void RemoveUnfinishedOutput(const EngineCommand& command, bool outputExisted, int status) {
  bool stoppedByTheProgram = g_stopSignal.load() != 0 && !ParentGone();
  if (status != 0 && !outputExisted && !stoppedByTheProgram && !command.output.empty())
    ::unlink(command.output.c_str());
}

int RunProbe(const EngineCommand& command) {
  InputAlias alias(command.input);
  FfmpegCommand ffmpeg = BuildProbeCommand(alias.Path());
  ChildOptions options;
  options.searchPath = true;
  options.ownProcessGroup = false;
  options.stdio.output = STDOUT_FILENO;
  options.stdio.error = STDERR_FILENO;
  std::string error;
  std::unique_ptr<ChildProcess> child = ChildProcess::Start(ffmpeg.argv, options, &error);
  if (!child) return StartFailure(command, error);
  WatchFfmpeg(child->Pid());
  int status = child->Wait();
  g_ffmpegPid.store(0);
  return status;
}

// True when both paths name one existing file, however they are spelled.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

struct FfmpegRun {
  int status = 0;
  bool started = false;
  // ffmpeg reported a frame encoded.
  bool encoded = false;
  // ffmpeg complained about the GPU encoder before it encoded anything.
  bool gpuEncoderRefused = false;
};

// True for a progress report that counts at least one frame ("frame=   12").
bool CountsFrames(const std::string& record) {
  size_t at = record.find("frame=");
  if (at == std::string::npos) return false;
  at += std::strlen("frame=");
  while (at < record.size() && record[at] == ' ') ++at;
  while (at < record.size() && record[at] == '0') ++at;
  return at < record.size() && std::isdigit(static_cast<unsigned char>(record[at]));
}

// Runs one ffmpeg command, forwarding its console text as it comes.
// `gpuEncoder`: the GPU encoder the command uses, if any.
FfmpegRun RunFfmpeg(const EngineCommand& command, const FfmpegCommand& ffmpeg, const std::string& gpuEncoder) {
  FfmpegRun run;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    ReportLine(&command, "trancor: cannot make a pipe");
    run.status = kExitNoFfmpeg;
    return run;
  }
  ChildOptions options;
  options.searchPath = true;
  options.ownProcessGroup = false;
  options.stdio.output = fds[1];
  options.stdio.error = fds[1];
  std::string error;
  std::unique_ptr<ChildProcess> child = ChildProcess::Start(ffmpeg.argv, options, &error);
  ::close(fds[1]);
  if (!child) {
    ::close(fds[0]);
    run.status = StartFailure(command, error);
    return run;
  }
  run.started = true;
  WatchFfmpeg(child->Pid());

  CopyDataSender sender;
  RecordSplitter splitter;
  auto take = [&](const std::string& record) {
    if (CountsFrames(record)) run.encoded = true;
    // ffmpeg names the encoder in its complaint ("[h264_nvenc @ 0x...] ...").
    if (!run.encoded && !gpuEncoder.empty() && record.find(gpuEncoder + " @") != std::string::npos)
      run.gpuEncoderRefused = true;
    SendRecord(&sender, command, record);
  };
  char buffer[4096];
  while (true) {
    ssize_t got = ::read(fds[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    std::string_view bytes(buffer, static_cast<size_t>(got));
    WriteAll(STDERR_FILENO, bytes);
    for (const std::string& record : splitter.Feed(bytes)) take(record);
  }
  std::string rest = splitter.Flush();
  if (!rest.empty()) take(rest);
  ::close(fds[0]);
  run.status = child->Wait();
  g_ffmpegPid.store(0);
  return run;
}

// A GPU encoder that fails before its first frame (no encoder on the chip,
// no free session, no driver, a driver that ends ffmpeg as it loads) must
// not fail the job: the software encoder does it. A source that cannot be
// read fails either way, so only a readable one, or a failure that names
// the GPU encoder, is tried again.
bool GpuEncoderFailed(const std::string& gpuEncoder, const FfmpegRun& run, const SourceFacts& source) {
  if (gpuEncoder.empty()) return false;
  if (!run.started || run.status == 0 || run.encoded) return false;
  if (g_stopSignal.load() != 0 || ParentGone()) return false;
  return run.gpuEncoderRefused || source.readable;
}

// The source's facts as the program handed them over, while they still
// describe the file; else read from the source (an HDR source's metadata
// only when the output keeps its range).
SourceFacts FactsForRun(const EngineCommand& command, const std::string& path, HdrMetadata* hdr) {
  if (command.sourceFacts && StampOf(command.input) == command.sourceFacts->file) {
    *hdr = command.sourceFacts->hdr;
    return command.sourceFacts->facts;
  }
  auto stopped = [] { return g_stopSignal.load() != 0; };
  return ReadSourceFacts(path, stopped, KeepsHdr(command) ? hdr : nullptr);
}

int RunConversion(const EngineCommand& command) {
  // Overwriting the source while reading it would destroy it.
  if (SameFile(command.input, command.output)) {
    ReportLine(&command, "trancor: the output file is the source file itself");
    return kExitCannotConvert;
  }
  InputAlias alias(command.input);
  HdrMetadata hdr;
  const SourceFacts source = FactsForRun(command, alias.Path(), &hdr);
  FfmpegCommand ffmpeg = BuildConversionCommand(command, alias.Path(), source, hdr);
  if (!ffmpeg.ok) {
    ReportLine(&command, "trancor: " + ffmpeg.error);
    return kExitCannotConvert;
  }
  bool outputExisted = ::access(command.output.c_str(), F_OK) == 0;
  const std::string videoEncoder = command.noVideo ? "" : MapEncoder(command.videoCodec).encoder;
  const std::string_view softwareEncoder = SoftwareStandIn(videoEncoder);
  const std::string gpuEncoder = softwareEncoder.empty() ? "" : videoEncoder;
  FfmpegRun run = RunFfmpeg(command, ffmpeg, gpuEncoder);
  if (GpuEncoderFailed(gpuEncoder, run, source)) {
    EngineCommand software = command;
    software.videoCodec = softwareEncoder;
    FfmpegCommand fallback = BuildConversionCommand(software, alias.Path(), source, hdr);
    if (fallback.ok) {
      const char* codec = videoEncoder == "hevc_nvenc" ? "H.265" : "H.264";
      ReportLine(&command, std::string("trancor: the GPU ") + codec + " encoder could not be opened; converting "
                           "with the software encoder " + std::string(softwareEncoder) + " instead");
      run = RunFfmpeg(command, fallback, "");
    }
  }
  RemoveUnfinishedOutput(command, outputExisted, run.status);
  return run.status;
}

}  // namespace

void ReportLine(const EngineCommand* command, const std::string& line) {
  WriteAll(STDERR_FILENO, line + "\n");
  if (command && command->hwnd) {
    CopyDataSender sender;
    SendRecord(&sender, *command, line);
  }
}

int RunEngineCommand(const EngineCommand& command) {
  InstallStopHandler();
  // The engine never outlives the program that started it: its end (however
  // it comes) stops ffmpeg as a stop signal does.
  if (!DieWithParent(kParentEndSignal)) return 128 + SIGTERM;
  int status = command.probe ? RunProbe(command) : RunConversion(command);
  // After the program's end nothing of the run may stay: as the leader of
  // its own process group (as the program starts it), trancor ends every
  // member that is left, itself last, once its own files are gone.
  if (ParentGone() && ::getpgrp() == ::getpid()) ::kill(0, SIGKILL);
  return status;
}

}  // namespace mivora::trancor
