// mivora-cli demo: the program's main job in small. A 2-second clip is made
// in a private temporary folder and converted with the profile a fresh
// installation starts on, through the same batch the convert command runs.
// Everything is removed at the end, unless "-o FOLDER" asks to keep the
// converted file there.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "common/Folders.h"
#include "platform/ChildProcess.h"
#include "profiles/ProfileMenu.h"

namespace mivora::cli {
namespace {

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

}  // namespace

int RunDemo(const Args& args) {
  std::string keepIn;
  if (args.size() == 2 && (args[0] == "-o" || args[0] == "--output")) {
    keepIn = args[1];
  } else if (!args.empty()) {
    std::fprintf(stderr, "usage: mivora-cli demo [-o FOLDER]\n");
    return 2;
  }
  // A folder only this run uses: no name that someone else could have made
  // (or linked) first, and nothing of it left when the demo ends.
  std::string folder = MakeTempFolder("demo-");
  if (folder.empty()) {
    std::fprintf(stderr, "demo: cannot create a temporary folder in %s\n", TempFolder().c_str());
    return 1;
  }
  struct RemovedAtEnd {
    std::string folder;
    ~RemovedAtEnd() { RemoveTree(folder); }
  } removed{folder};

  std::string source = folder + "/source clip.mp4";
  std::printf("Making a 2-second test clip: %s\n", source.c_str());
  if (!MakeClip(source)) {
    std::fprintf(stderr, "demo: ffmpeg could not make the test clip\n");
    return 1;
  }
  ProfileMenu menu(nullptr, nullptr);
  bool prepared = menu.Prepare(0, AppDataFolder("Mivora"));
  const ProfileEntry* initial = prepared ? menu.Catalog().FindByRelativePath(kInitialProfile) : nullptr;
  CurrentProfile profile;
  if (!initial || !menu.Select(initial->id) || !menu.Current(&profile)) {
    std::fprintf(stderr, "demo: the profile \"%s\" is missing\n", kInitialProfile);
    return 1;
  }
  std::printf("Converting with the profile \"%s\"\n", profile.name.c_str());
  std::fflush(stdout);
  std::string output = keepIn.empty() ? folder + "/output" : keepIn;
  int status = RunConvert({"--profile", profile.path, "-o", output, "--overwrite", source});
  if (status == 0 && keepIn.empty())
    std::printf("The demonstration's files are removed now; \"mivora-cli demo -o FOLDER\" keeps the "
                "converted file in FOLDER.\n");
  return status;
}

}  // namespace mivora::cli
