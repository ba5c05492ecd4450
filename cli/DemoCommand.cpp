// mivora-cli demo: the program's main job in small. A 2-second clip is made
// in the temporary folder, probed, and converted through the engine runner
// while the engine's progress reports are shown as they arrive.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "cli/CliCommands.h"
#include "common/Folders.h"
#include "common/Format.h"
#include "pipeline/ConvertHelper.h"
#include "pipeline/MediaInfo.h"
#include "pipeline/Trancor.h"
#include "platform/ChildProcess.h"
#include "platform/CopyDataEndpoint.h"
#include "platform/FaultGuard.h"

namespace mivora::cli {
namespace {

// MPEG-4 video and MP3 audio in AVI at 320x240.
constexpr const char* kDemoArguments =
    "-b 800k -r 25 -aspect 4:3  -ab 128k  -ar 44100  -ac 2  -vol 256 -vcodec mpeg4 "
    "-acodec libmp3lame -s 320x240 ";

bool MakeClip(const std::string& path) {
  std::vector<std::string> argv = {
      "ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
      "-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25:duration=2",
      "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=2",
      "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "file:" + path};
  ChildOptions options;
  options.searchPath = true;
  options.stdio.error = 2;
  std::string error;
  auto child = ChildProcess::Start(argv, options, &error);
  if (!child) {
    std::fprintf(stderr, "demo: %s\n", error.c_str());
    return false;
  }
  return child->Wait() == 0;
}

// The engine's progress report: "time=" followed by hh:mm:ss.
bool ReadProgressTime(const std::string& text, int* seconds) {
  size_t at = text.rfind("time=");
  if (at == std::string::npos || text.size() < at + 13) return false;
  *seconds = ParseClock(text.substr(at + 5, 8));
  return true;
}

}  // namespace

int RunDemo(const Args&) {
  std::string folder = TempFolder() + "/mivora-demo";
  if (!CreateFolderTree(folder)) {
    std::fprintf(stderr, "demo: cannot create %s\n", folder.c_str());
    return 1;
  }
  std::string source = folder + "/source clip.mp4";
  std::string output = folder + "/source clip.avi";
  std::printf("Making a 2-second test clip: %s\n", source.c_str());
  if (!MakeClip(source)) {
    std::fprintf(stderr, "demo: ffmpeg could not make the test clip\n");
    return 1;
  }

  MediaInfo info;
  Trancor probe;
  if (!probe.Probe(source, &info.video, &info.audio)) {
    std::fprintf(stderr, "demo: the engine could not probe the clip\n");
    return 1;
  }
  std::printf("Probed: %s %sx%s %s fps, %s %s Hz, duration %s\n", info.video.videoCodec.c_str(),
              info.video.width.c_str(), info.video.height.c_str(), info.video.frameRate.c_str(),
              info.audio.audioCodec.c_str(), info.audio.sampleRate.c_str(),
              info.video.duration.c_str());
  int totalSeconds = ParseClock(info.video.duration);

  std::string error;
  auto endpoint = CopyDataEndpoint::Open(&error);
  if (!endpoint) {
    std::fprintf(stderr, "demo: %s\n", error.c_str());
    return 1;
  }
  std::printf("Converting with: %s\n", kDemoArguments);
  ConvertHelper helper;
  bool started = false;
  int exitCode = -1;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    started = helper.ConvertStart(source, output, endpoint->Number(), kDemoArguments, &exitCode);
    UninstallFaultTranslator();
    done.store(true);
  });
  auto show = [&](const CopyDataMessage& message) {
    int seconds = 0;
    if (!ReadProgressTime(message.payload, &seconds)) return;
    int percent = totalSeconds > 0 ? std::min(100, seconds * 100 / totalSeconds) : 0;
    std::printf("  progress: %s of %s (%d%%)\n", FormatClock(seconds).c_str(),
                FormatClock(totalSeconds).c_str(), percent);
    std::fflush(stdout);
  };
  while (!done.load())
    if (auto message = endpoint->Receive(100)) show(*message);
  worker.join();
  while (auto message = endpoint->Receive(0)) show(*message);

  if (!started) {
    std::fprintf(stderr, "demo: the engine could not be started\n");
    return 1;
  }
  std::printf("Engine exit code: %d\n", exitCode);
  if (exitCode != 0 || FileSize(output) == 0) {
    std::fprintf(stderr, "demo: the conversion failed\n");
    return 1;
  }
  std::printf("Output: %s (%s)\n", output.c_str(), FormatByteSize(FileSize(output)).c_str());
  return 0;
}

}  // namespace mivora::cli
