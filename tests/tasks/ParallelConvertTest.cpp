// A big collection as the README converts it: GNU parallel runs one plain
// `mivora-cli convert` per file, two at a time; each task's status is its
// own file's.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "common/Folders.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";

// Exit status per file from parallel's job log (tab-separated; Exitval is
// the seventh column, the command the ninth, the file its last word).
std::map<std::string, int> StatusByFile(const std::string& jobLog, const std::vector<std::string>& files) {
  std::map<std::string, int> status;
  std::istringstream lines(test::ReadFile(jobLog));
  std::string line;
  std::getline(lines, line);  // the heading
  while (std::getline(lines, line)) {
    std::vector<std::string> columns;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) columns.push_back(field);
    if (columns.size() < 9) continue;
    for (const std::string& file : files)
      if (columns[8].find(std::string(BaseName(file))) != std::string::npos) status[file] = std::stoi(columns[6]);
  }
  return status;
}

TEST(ParallelConvert, FourClipsTwoAtATimeAndAFailingFileFailsOnlyItsTask) {
  if (test::RunCommand({"/bin/sh", "-c", "command -v parallel"}).exitCode != 0)
    GTEST_SKIP() << "GNU parallel is not installed (scripts/setup.sh installs it)";
  std::string sources = test::MakeTempDir("archive");
  std::vector<std::string> files;
  for (const char* name : {"one.mp4", "two.avi", "three.mkv", "four.mp4"}) {
    files.push_back(sources + "/" + name);
    test::GenerateClip(files.back(), {.seconds = 1, .width = 160, .height = 120});
  }
  std::string broken = sources + "/broken.mp4";
  test::WriteFile(broken, "not a video at all");
  std::vector<std::string> all = files;
  all.push_back(broken);

  std::string out = test::MakeTempDir("converted");
  std::string jobLog = test::MakeTempDir("logs") + "/convert.log";
  std::vector<std::string> argv = {"parallel", "-j2", "-q", "--joblog", jobLog, kCli, "convert",
                                   "--profile", "AVI - MPEG-4 Video", "--jobs", "1", "-o", out, "{}", ":::"};
  argv.insert(argv.end(), all.begin(), all.end());
  test::CommandResult run = test::RunCommand(argv);
  EXPECT_EQ(run.exitCode, 1) << run.output;  // parallel counts the tasks that failed

  std::map<std::string, int> status = StatusByFile(jobLog, all);
  ASSERT_EQ(status.size(), 5u) << test::ReadFile(jobLog);
  for (const std::string& file : files) {
    EXPECT_EQ(status[file], 0) << file;
    std::string title(BaseName(file));
    std::string output = out + "/" + title.substr(0, title.find('.')) + ".avi";
    EXPECT_EQ(test::ProbeWithFfprobe(output).video.codec, "mpeg4") << output;
  }
  EXPECT_EQ(status[broken], 1);
  EXPECT_FALSE(FileExists(out + "/broken.avi"));
}

}  // namespace
}  // namespace mivora
