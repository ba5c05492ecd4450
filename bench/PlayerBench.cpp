// The player and the preview window end to end, against references in the
// same run:
//  1. Playback: generated clips played through playrun into a CPlayStatic on
//     Qt's offscreen platform. Beside each clip's frame count and duration:
//     frames decoded, announced and drawn, wall time against the duration,
//     and the time from a frame's announcement to the end of its drawing
//     (median and 95th percentile). A host frame callback can be given per
//     scenario (the editor's frame handler, say); one built-in scenario
//     models a pane that scales and draws every frame itself, and one runs
//     the editor's own frame handler (bench/EditorPaneScenario.h).
//  2. CPU: playrun decoding and handing over a 1280x720, 30 fps clip (to a
//     window stand-in that answers at once) against `ffmpeg -i CLIP -f null -`
//     decoding the same clip: user + system CPU seconds of each process.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/Folders.h"
#include "platform/CopyDataEndpoint.h"
#include "platform/PlayerSharedBlock.h"
#include "platform/SharedMemoryBlock.h"
#include "preview/Glimra.h"
#include "preview/PlayStatic.h"
#include "bench/EditorPaneScenario.h"

extern char** environ;

namespace mivora::bench {
namespace {

int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

struct ChildRun {
  int exitCode = -1;
  double cpuSeconds = 0;  // user + system
  double wallSeconds = 0;
};

// Runs a program (no shell), its output discarded, and measures it.
ChildRun Measure(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {}) {
  ChildRun run;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  for (const auto& e : environment) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int64_t start = MonotonicNs();
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return run;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.wallSeconds = (MonotonicNs() - start) / 1e9;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                   usage.ru_stime.tv_usec / 1e6;
  return run;
}

struct Clip {
  std::string path;
  int width, height, rate;
  double seconds;
  int frames() const { return static_cast<int>(seconds * rate + 0.5); }
};

Clip MakeClip(const std::string& folder, int width, int height, int rate, double seconds) {
  Clip clip{folder + "/" + std::to_string(width) + "x" + std::to_string(height) + "p" +
                std::to_string(rate) + ".mp4",
            width, height, rate, seconds};
  std::ostringstream video, audio;
  video << "testsrc2=size=" << width << "x" << height << ":rate=" << rate << ":duration=" << seconds;
  audio << "sine=frequency=440:sample_rate=44100:duration=" << seconds;
  ChildRun made = Measure({"ffmpeg", "-y", "-v", "error", "-f", "lavfi", "-i", video.str(), "-f",
                           "lavfi", "-i", audio.str(), "-pix_fmt", "yuv420p", "-c:v", "libx264",
                           "-preset", "veryfast", "-c:a", "aac", "-ac", "2", clip.path});
  if (made.exitCode != 0) {
    std::fprintf(stderr, "ffmpeg could not make %s\n", clip.path.c_str());
    std::exit(1);
  }
  return clip;
}

// ---- 1. Playback through the preview window ----

struct Scenario {
  const char* name;
  FrameCallback callback;  // null: the window alone
};

// Models an editor pane: scales each frame to 640x360 and draws it.
struct Pane {
  ResizeContext* context = nullptr;
  int sourceWidth = 0, sourceHeight = 0;
  std::vector<uint8_t> planes = std::vector<uint8_t>(640 * 360 * 3 / 2);
  std::vector<uint8_t> bits = std::vector<uint8_t>(size_t(GLIMRA_BitmapStride(640)) * 360);
} g_pane;

int ScaleAndDrawPane(int, YuvPlanes* frame, int width, int height) {
  if (!g_pane.context || g_pane.sourceWidth != width || g_pane.sourceHeight != height) {
    GLIMRA_ReleaseResize(g_pane.context);
    g_pane.context = GLIMRA_InitResize(width, height, 640, 360, 0, 0, width, height);
    g_pane.sourceWidth = width;
    g_pane.sourceHeight = height;
  }
  YuvPlanes out{g_pane.planes.data(), g_pane.planes.data() + 640 * 360,
                g_pane.planes.data() + 640 * 360 * 5 / 4};
  GLIMRA_ResizeFrame(frame->y, frame->u, frame->v, &out, g_pane.context);
  GLIMRA_ConvertYuv420(out.y, out.u, out.v, 640, 360, g_pane.bits.data());
  return 0;
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * (values.size() - 1) + 0.5));
  return values[index];
}

void PlaybackRow(const Clip& clip, const Scenario& scenario, const std::string& folder) {
  const std::string trace = folder + "/trace.txt";
  ::setenv("PLAYRUN_TRACE", trace.c_str(), 1);
  CPlayStatic window;
  window.resize(640, 360);
  window.show();
  window.m_pfnFrameCallback = scenario.callback;
  std::map<quint64, int64_t> drawnAt;
  QObject::connect(&window, &CPlayStatic::frameDrawn,
                   [&](quint64 number) { drawnAt[number] = MonotonicNs(); });
  QEventLoop loop;
  QObject::connect(&window, &CPlayStatic::playingEnded, &loop, &QEventLoop::quit);
  QTimer::singleShot(static_cast<int>(clip.seconds * 1000) + 30000, &loop, &QEventLoop::quit);
  const int64_t start = MonotonicNs();
  window.Play(clip.path.c_str());
  loop.exec();
  const double wall = (MonotonicNs() - start) / 1e9;
  ::unsetenv("PLAYRUN_TRACE");

  std::map<long long, int64_t> announcedAt;
  long long decoded = 0, announced = 0;
  std::ifstream in(trace);
  std::string word;
  while (in >> word) {
    if (word == "announce") {
      long long number, ns;
      in >> number >> ns;
      announcedAt[number] = ns;
    } else if (word == "decoded") {
      std::string label;
      in >> decoded >> label >> announced;
      std::getline(in, label);
    }
  }
  const double firstFrame = announcedAt.empty() ? 0 : (announcedAt.begin()->second - start) / 1e9;
  std::vector<double> latencyMs;
  for (const auto& [number, ns] : drawnAt) {
    auto found = announcedAt.find(static_cast<long long>(number));
    if (found != announcedAt.end()) latencyMs.push_back((ns - found->second) / 1e6);
  }
  // Pacing: the time between the first and the last announcement against
  // the clip's own time between those frames.
  double pacing = 0;
  if (announcedAt.size() > 1)
    pacing = (announcedAt.rbegin()->second - announcedAt.begin()->second) / 1e9 /
             (double(announcedAt.size() - 1) / clip.rate);
  std::printf("%-12s %-8s %6d %6.2f s %8lld %9lld %6zu %7.2f s %6.2fx %6.2f s %6.3fx %8.2f %8.2f\n",
              (std::to_string(clip.width) + "x" + std::to_string(clip.height) + "p" +
               std::to_string(clip.rate)).c_str(),
              scenario.name, clip.frames(), clip.seconds, decoded, announced, drawnAt.size(), wall,
              wall / clip.seconds, firstFrame, pacing, Percentile(latencyMs, 0.5), Percentile(latencyMs, 0.95));
  std::fflush(stdout);
}

// ---- 2. The player's CPU against ffmpeg's ----

void CpuRow(const Clip& clip) {
  const ChildRun reference = Measure({"ffmpeg", "-v", "error", "-nostdin", "-i", clip.path, "-f", "null", "-"});
  auto block = SharedMemoryBlock::Create("_scshare_bench" + std::to_string(::getpid()),
                                         playerblock::kBlockBytes);
  auto window = CopyDataEndpoint::Open();
  if (!block || !window) {
    std::fprintf(stderr, "no shared block or endpoint\n");
    return;
  }
  // The window stand-in answers every announcement at once.
  std::atomic<bool> done{false};
  std::atomic<long> frames{0};
  std::thread answering([&] {
    while (!done) {
      if (auto message = window->Receive(50)) {
        window->Answer(*message);
        ++frames;
      }
    }
  });
  const ChildRun player = Measure(
      {std::string(MIVORA_PROGRAM_DIR) + "/playrun", "-framedrop", "0", "-capyuv", "1", "-hwnd",
       std::to_string(window->Number()), "-shmem", "_scshare_bench" + std::to_string(::getpid()),
       "-x", "640", "-y", "360", "-ptsoffset", "0", clip.path},
      {"SDL_AUDIODRIVER=dummy"});
  done = true;
  answering.join();
  SharedMemoryBlock::Unlink("_scshare_bench" + std::to_string(::getpid()));
  std::printf("%dx%d p%d, %.1f s (%d frames, %ld handed over): playrun %.2f s CPU (%.2f s wall), "
              "ffmpeg -f null %.2f s CPU (%.2f s wall): ratio %.2f\n",
              clip.width, clip.height, clip.rate, clip.seconds, clip.frames(), frames.load(),
              player.cpuSeconds, player.wallSeconds, reference.cpuSeconds, reference.wallSeconds,
              reference.cpuSeconds > 0 ? player.cpuSeconds / reference.cpuSeconds : 0.0);
}

}  // namespace
}  // namespace mivora::bench

int main(int argc, char** argv) {
  using namespace mivora::bench;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (!qEnvironmentVariableIsSet("SDL_AUDIODRIVER")) qputenv("SDL_AUDIODRIVER", "dummy");
  QApplication app(argc, argv);
  char folderTemplate[] = "/tmp/mivora-player-bench-XXXXXX";
  const std::string folder = mkdtemp(folderTemplate) ? folderTemplate : "/tmp";
  const double seconds = argc > 1 ? std::atof(argv[1]) : 4.0;

  std::printf("Making clips (libx264 veryfast, AAC sound), %.1f s each...\n", seconds);
  std::fflush(stdout);
  const std::vector<Clip> clips = {MakeClip(folder, 640, 360, 25, seconds),
                                   MakeClip(folder, 1280, 720, 30, seconds),
                                   MakeClip(folder, 1920, 1080, 60, seconds)};
  const std::vector<Scenario> scenarios = {
      {"window", nullptr}, {"pane", &ScaleAndDrawPane}, {"editor", &EditorPaneFrame}};

  std::printf("\nPlayback into a 640x360 CPlayStatic (offscreen). wall: Play to the player's end; "
              "1st frame: Play to the first announcement; pacing: first to last announcement "
              "against the clip's time; p50/p95: announcement to drawn\n");
  std::printf("%-12s %-8s %6s %8s %8s %9s %6s %9s %7s %8s %7s %8s %8s\n", "clip", "callback",
              "frames", "length", "decoded", "announced", "drawn", "wall", "ratio", "1st frame",
              "pacing", "p50 ms", "p95 ms");
  for (const Clip& clip : clips)
    for (const Scenario& scenario : scenarios) {
      PlaybackRow(clip, scenario, folder);
      // The editor's right pane: frames its handler rendered (goal: every one).
      if (scenario.callback == &EditorPaneFrame)
        std::printf("%-12s %-10s right pane rendered %llu frames\n", "", "editor",
                    static_cast<unsigned long long>(TakeEditorPaneFrames()));
    }

  std::printf("\nCPU of decoding and handing over, against ffmpeg decoding the same clip\n");
  CpuRow(clips[1]);
  std::system(("rm -rf '" + folder + "'").c_str());
  return 0;
}
