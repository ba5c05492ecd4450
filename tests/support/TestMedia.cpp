#include "tests/support/TestMedia.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "tests/support/Mp4Rotation.h"

extern char** environ;

namespace mivora::test {

CommandResult RunCommand(const std::vector<std::string>& argv) {
  CommandResult result;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc == 0) {
    char buffer[65536];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, n);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  close(fds[0]);
  return result;
}

void GenerateClip(const std::string& path, const ClipSpec& shape) {
  std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y"};
  std::ostringstream video;
  video << shape.videoSource << "=size=" << shape.width << "x" << shape.height
        << ":rate=" << shape.frameRate << ":duration=" << shape.seconds;
  std::ostringstream audio;
  audio << "sine=frequency=440:sample_rate=44100:duration=" << shape.seconds;
  if (shape.video) argv.insert(argv.end(), {"-f", "lavfi", "-i", video.str()});
  if (shape.audio) argv.insert(argv.end(), {"-f", "lavfi", "-i", audio.str()});
  if (shape.video) argv.insert(argv.end(), {"-pix_fmt", shape.pixelFormat});
  if (shape.audio) argv.insert(argv.end(), {"-ac", "2"});
  if (!shape.container.empty()) argv.insert(argv.end(), {"-f", shape.container});
  // "file:" keeps names that start with '-' or hold ':' from being read as options.
  argv.push_back("file:" + path);
  CommandResult r = RunCommand(argv);
  ASSERT_EQ(r.exitCode, 0) << "ffmpeg could not generate " << path << ":\n" << r.output;
}

namespace {
double ParseRate(const std::string& text) {
  size_t slash = text.find('/');
  double num = std::atof(text.c_str());
  if (slash == std::string::npos) return num;
  double den = std::atof(text.c_str() + slash + 1);
  return den != 0 ? num / den : 0;
}
}  // namespace

ProbeFacts ProbeWithFfprobe(const std::string& path) {
  ProbeFacts facts;
  CommandResult r = RunCommand({"ffprobe", "-v", "error", "-show_entries",
                                "stream=codec_type,codec_name,profile,width,height,pix_fmt,r_frame_rate,"
                                "sample_rate,channels:format=duration",
                                "-of", "default=noprint_wrappers=1", "file:" + path});
  if (r.exitCode != 0) return facts;
  facts.readable = true;
  std::istringstream in(r.output);
  std::string line;
  StreamFacts current;
  std::string type;
  auto flush = [&] {
    if (type == "video" && !facts.video.present) facts.video = current;
    if (type == "audio" && !facts.audio.present) facts.audio = current;
    current = {};
    type.clear();
  };
  // ffprobe prints each stream's fields in a fixed order starting with codec_name.
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "codec_name") {
      flush();
      current.codec = value;
      current.present = true;
    } else if (key == "codec_type") type = value;
    else if (key == "profile") current.profile = value;
    else if (key == "pix_fmt") current.pixelFormat = value;
    else if (key == "width") current.width = std::atoi(value.c_str());
    else if (key == "height") current.height = std::atoi(value.c_str());
    else if (key == "r_frame_rate") current.frameRate = ParseRate(value);
    else if (key == "sample_rate") current.sampleRate = std::atoi(value.c_str());
    else if (key == "channels") current.channels = std::atoi(value.c_str());
    else if (key == "duration") facts.durationSeconds = std::atof(value.c_str());
  }
  flush();
  return facts;
}

std::vector<unsigned char> DecodeFrameRgb(const std::string& path, double seconds, int* width,
                                          int* height) {
  ProbeFacts facts = ProbeWithFfprobe(path);
  // ffmpeg turns a track marked turned a quarter, so the frame's sides are exchanged.
  const int turn = ProbeRotationWithFfprobe(path);
  const bool quarter = turn == 90 || turn == 270;
  *width = quarter ? facts.video.height : facts.video.width;
  *height = quarter ? facts.video.width : facts.video.height;
  std::string out = path + ".frame.rgb";
  CommandResult r = RunCommand({"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                "-ss", std::to_string(seconds), "-i", "file:" + path, "-frames:v",
                                "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "file:" + out});
  std::vector<unsigned char> pixels;
  if (r.exitCode != 0) return pixels;
  FILE* f = std::fopen(out.c_str(), "rb");
  if (!f) return pixels;
  pixels.resize(static_cast<size_t>(*width) * *height * 3);
  size_t got = std::fread(pixels.data(), 1, pixels.size(), f);
  std::fclose(f);
  std::remove(out.c_str());
  if (got != pixels.size()) pixels.clear();
  return pixels;
}

}  // namespace mivora::test
