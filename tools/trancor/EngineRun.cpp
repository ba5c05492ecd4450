#include "tools/trancor/EngineRun.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/CopyDataEndpoint.h"
#include "platform/ParentDeath.h"
#include "tools/trancor/FfmpegArguments.h"
#include "tools/trancor/RecordSplitter.h"
#include "tools/trancor/SourceFacts.h"
#include "tools/trancor/TrancorExitCodes.h"

namespace mivora::trancor {
namespace {

// The running ffmpeg, for the signal handler. A stop ends ffmpeg at once;
// trancor then collects it and ends, so a stopped run leaves nothing behind.
std::atomic<pid_t> g_ffmpegPid{0};
std::atomic<int> g_stopSignal{0};

void StopFfmpeg(int signal) {
  g_stopSignal.store(signal);
  pid_t pid = g_ffmpegPid.load();
  if (pid > 0) ::kill(pid, SIGKILL);
}

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
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) ::sigaction(sig, &action, nullptr);
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
// with a plain name in a private folder.
class InputAlias {
 public:
  explicit InputAlias(const std::string& path) : path_(path) {
    if (path.find_first_of("\r\n") == std::string::npos) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/trancor-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) return;
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

// After a run that ended its program's parent: the unfinished output has no
// one left to take or remove it, and nothing of the run may stay behind.
void CleanUpAfterParent(const EngineCommand& command, bool outputExisted, int status) {
  if (!ParentHasEnded()) return;
  if (!command.output.empty() && !outputExisted && status != 0) ::unlink(command.output.c_str());
  // As the leader of its own process group (as the program starts it),
  // end every member that is left, this process last.
  if (::getpgrp() == ::getpid()) ::kill(0, SIGKILL);
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
  CleanUpAfterParent(command, true, status);
  return status;
}

// True when both paths name one existing file, however they are spelled.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The GPU H.264 encoder's name in ffmpeg, and the software encoder that
// stands in when it cannot be opened.
constexpr std::string_view kGpuH264Encoder = "h264_nvenc";
constexpr const char* kSoftwareH264 = "libx264";

struct FfmpegRun {
  int status = 0;
  bool started = false;
  // ffmpeg complained about the GPU encoder before it encoded anything.
  bool gpuEncoderRefused = false;
};

// Runs one ffmpeg command, forwarding its console text as it comes.
FfmpegRun RunFfmpeg(const EngineCommand& command, const FfmpegCommand& ffmpeg) {
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
  bool encoding = false;
  auto take = [&](const std::string& record) {
    if (record.find("frame=") != std::string::npos) encoding = true;
    // ffmpeg names the encoder in its complaint ("[h264_nvenc @ 0x...] ...").
    if (!encoding && record.find(std::string(kGpuH264Encoder) + " @") != std::string::npos)
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

int RunConversion(const EngineCommand& command) {
  // Overwriting the source while reading it would destroy it.
  if (SameFile(command.input, command.output)) {
    ReportLine(&command, "trancor: the output file is the source file itself");
    return kExitCannotConvert;
  }
  InputAlias alias(command.input);
  SourceFacts source = ReadSourceFacts(alias.Path(), [] { return g_stopSignal.load() != 0; });
  FfmpegCommand ffmpeg = BuildConversionCommand(command, alias.Path(), source);
  if (!ffmpeg.ok) {
    ReportLine(&command, "trancor: " + ffmpeg.error);
    return kExitCannotConvert;
  }
  bool outputExisted = ::access(command.output.c_str(), F_OK) == 0;
  FfmpegRun run = RunFfmpeg(command, ffmpeg);
  // A GPU encoder that does not open (no encoder on the chip, no free
  // session, no driver) must not fail the job: the software encoder does it.
  if (run.started && run.status != 0 && run.gpuEncoderRefused && g_stopSignal.load() == 0 &&
      !ParentHasEnded()) {
    EngineCommand software = command;
    software.videoCodec = kSoftwareH264;
    FfmpegCommand fallback = BuildConversionCommand(software, alias.Path(), source);
    if (fallback.ok) {
      ReportLine(&command, "trancor: the GPU H.264 encoder could not be opened; converting with the "
                           "software encoder libx264 instead");
      run = RunFfmpeg(command, fallback);
    }
  }
  CleanUpAfterParent(command, outputExisted, run.status);
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
  if (!DieWithParent(SIGTERM)) return 128 + SIGTERM;
  return command.probe ? RunProbe(command) : RunConversion(command);
}

}  // namespace mivora::trancor
