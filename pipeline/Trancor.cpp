#include "pipeline/Trancor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/Log.h"
#include "common/TextCodec.h"
#include "pipeline/EnginePath.h"
#include "pipeline/ProbeParser.h"

namespace mivora {
namespace {
constexpr size_t kReadBlockBytes = 4096;
// The engine's exit code when it cannot start ffmpeg.
constexpr int kEngineFoundNoFfmpeg = 127;

std::string LastLine(const std::string& text) {
  size_t end = text.find_last_not_of("\r\n ");
  if (end == std::string::npos) return "";
  size_t start = text.find_last_of("\r\n", end);
  start = start == std::string::npos ? 0 : start + 1;
  return text.substr(start, end + 1 - start);
}
}  // namespace

Trancor::Trancor() = default;

Trancor::~Trancor() {
  EndRun();
  CloseFd(&readFd_);
  CloseFd(&writeFd_);
}

void Trancor::CloseFd(int* fd) {
  if (*fd >= 0) ::close(*fd);
  *fd = -1;
}

bool Trancor::OpenPipe() {
  int fds[2];
  // Close-on-exec for both ends: only the engine gets the write end, as its
  // standard output and error, so no other child can hold the pipe open.
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  readFd_ = fds[0];
  writeFd_ = fds[1];
  return true;
}

bool Trancor::Start(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{EnginePath()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  ChildOptions options;
  options.stdio.output = writeFd_;
  options.stdio.error = writeFd_;
  std::string error;
  process_ = ChildProcess::Start(argv, options, &error);
  if (!process_) engineError_ = "the converter engine cannot be started (" + error + ")";
  return process_ != nullptr;
}

bool Trancor::StartReader() {
  try {
    reader_ = std::thread(&Trancor::ReaderThread, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void Trancor::ReaderThread() {
  // The engine holds its own copy of the write end; ours must go so that the
  // read below ends when the engine does.
  int closed = ::close(writeFd_);
  writeFd_ = -1;
  if (closed != 0) {
    OnAbort();  // the caller ends and reaps the engine
    return;
  }
  char buffer[kReadBlockBytes + 1];
  while (true) {
    ssize_t got = ::read(readFd_, buffer, kReadBlockBytes);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    buffer[got] = '\0';
    OnOutput(buffer, static_cast<size_t>(got));
  }
  if (process_) exitStatus_ = process_->Wait();
  CloseFd(&readFd_);
  OnFinish();
}

void Trancor::OnOutput(const char* bytes, size_t count) {
  // Kept raw here: a block may end inside a multi-byte character. The whole
  // text is made valid once the engine has ended.
  output_.append(bytes, count);
}

void Trancor::OnAbort() {
  finished_ = false;
  output_.clear();
  done_.Set();
}

void Trancor::OnFinish() {
  finished_ = true;
  done_.Set();
}

void Trancor::EndRun() {
  if (process_) process_->TerminateGroup();
  if (reader_.joinable()) reader_.join();
  process_.reset();
}

bool Trancor::WaitForEngine() {
  constexpr std::chrono::milliseconds kCancelCheck{100};
  const auto deadline = std::chrono::steady_clock::now() + timeout_;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    if (done_.WaitFor(cancel_ ? std::min(left, kCancelCheck) : left)) return true;
    if (cancel_ && cancel_->load()) {
      MLOG("Trancor::Probe, Cancelled");
      return false;
    }
  }
  // An engine that hangs (a pipe or a device as the source, a broken file)
  // must not hold up adding files for ever.
  MLOG("Trancor::Probe, Timeout: %lld ms", static_cast<long long>(timeout_.count()));
  return false;
}

bool Trancor::Probe(const std::string& sourcePath, MediaVideoFacts* video,
                    MediaAudioFacts* audio) {
  *video = {};
  *audio = {};
  output_.clear();
  finished_ = false;
  exitStatus_ = -1;
  engineError_.clear();
  done_.Reset();

  if (!OpenPipe()) return false;
  if (!Start({"-i", sourcePath})) {
    CloseFd(&readFd_);
    CloseFd(&writeFd_);
    return false;
  }
  if (!StartReader()) {
    EndRun();
    CloseFd(&readFd_);
    CloseFd(&writeFd_);
    return false;
  }
  if (!WaitForEngine()) {
    EndRun();
    return false;
  }
  EndRun();
  if (!finished_) return false;

  output_ = RepairUtf8(output_);
  MLOG("%s\n", output_.c_str());
  if (exitStatus_ == kEngineFoundNoFfmpeg) engineError_ = LastLine(output_);
  return ParseProbeOutput(output_, video, audio);
}

}  // namespace mivora
