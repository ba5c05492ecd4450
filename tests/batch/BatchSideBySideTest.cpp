// Several engines at once: jobs start in list order, each row advances on
// its own, a deleted running row stops only its engine, Cancel stops all.

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "common/Folders.h"
#include "pipeline/BatchLoop.h"
#include "pipeline/BatchRunner.h"
#include "tests/batch/RecordingBatchView.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

using test::RecordingBatchView;

constexpr const char* kSmallArgs = "-vcodec mpeg4 -acodec mp2 -s 96x64 ";
constexpr const char* kSlowArgs = "-vcodec libx264 -acodec mp2 -s 1280x720 ";
// An encoder the engine refuses for this input: the job fails with an exit code.
constexpr const char* kFailingArgs = "-vcodec msmpeg4v1 -acodec mp2 ";

std::string Clip(const std::string& name, double seconds, int width, int height) {
  std::string path = test::MakeTempDir("clips") + "/" + name;
  test::GenerateClip(path, {.seconds = seconds, .width = width, .height = height});
  return path;
}

const std::string& SmallClip() {
  static const std::string path = Clip("small clip.avi", 1, 160, 120);
  return path;
}

const std::string& LongClip() {
  static const std::string path = Clip("long clip.avi", 30, 320, 240);
  return path;
}

ConversionJob Job(const std::string& source, const std::string& output, const char* args,
                  int seconds = 1) {
  return {source, output, "10 KB", "avi", args, seconds};
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir))
      if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
        names.push_back(entry->d_name);
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Processes whose parent is this test: an engine left behind would be one.
int ChildProcesses() {
  int count = 0;
  std::string self = std::to_string(getpid());
  for (const std::string& pid : Entries("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string stat = test::ReadFile("/proc/" + pid + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    // After ") S " comes the parent's id.
    size_t start = close + 4;
    if (stat.compare(start, self.size() + 1, self + " ") == 0) ++count;
  }
  return count;
}

TEST(BatchSideBySide, FourJobsTwoAtOnceWithAFailureAndADeletedRunningRow) {
  std::string dir = test::MakeTempDir("out");
  std::string bad = test::MakeTempDir("src") + "/bad clip.avi";
  test::WriteFile(bad, test::ReadFile(SmallClip()));
  RecordingBatchView view;
  BatchRunner runner(view);
  runner.SetConversionsAtOnce(2);
  runner.AddJob(Job(LongClip(), dir + "/long.mp4", kSlowArgs, 30));  // deleted while it runs
  runner.AddJob(Job(bad, dir + "/bad.avi", kFailingArgs));
  runner.AddJob(Job(SmallClip(), dir + "/two.avi", kSmallArgs));
  runner.AddJob(Job(SmallClip(), dir + "/three.avi", kSmallArgs));
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  bool deleted = false;
  int enginesWhileLongRan = 0;
  RunBatchLoop(runner, {.cancelRequested = [&] {
                          if (deleted) return false;
                          int engines = test::ProcessesMentioning(dir);
                          enginesWhileLongRan = std::max(enginesWhileLongRan, engines);
                          // The three short jobs ended beside the long one.
                          if (view.Finished().size() == 3) {
                            deleted = true;
                            runner.DeleteJob(0);
                          }
                          return false;
                        }});
  ASSERT_TRUE(deleted) << "the long job ended before the others";
  ASSERT_TRUE(view.completed());
  BatchSummary summary = view.Summary();
  ASSERT_EQ(summary.jobs.size(), 4u);
  EXPECT_EQ(summary.jobs[0].outcome, JobOutcome::kDeleted);
  EXPECT_EQ(summary.jobs[1].outcome, JobOutcome::kFailed);
  EXPECT_EQ(summary.jobs[2].outcome, JobOutcome::kSucceeded);
  EXPECT_EQ(summary.jobs[3].outcome, JobOutcome::kSucceeded);
  std::string text = summary.Text();
  EXPECT_EQ(text.rfind("Converted 2 of 3 files.\nbad clip.avi: The converter on this computer cannot encode",
                       0),
            0u)
      << text;
  EXPECT_EQ(Entries(dir), (std::vector<std::string>{"three.avi", "two.avi"}));
  EXPECT_EQ(test::ProbeWithFfprobe(dir + "/two.avi").video.codec, "mpeg4");
  EXPECT_EQ(view.Removed(), std::vector<int>{0});
  // Engine and encoder of the long job, beside those of a short one.
  EXPECT_GE(enginesWhileLongRan, 3);
  EXPECT_EQ(test::ProcessesMentioning(dir), 0);
  EXPECT_EQ(ChildProcesses(), 0);
}

TEST(BatchSideBySide, EachRowAdvancesOnItsOwnADeleteStopsOnlyItsEngineCancelStopsAll) {
  for (bool deleteUnfinished : {true, false}) {
    SCOPED_TRACE(deleteUnfinished ? "delete unfinished" : "keep unfinished");
    std::string dir = test::MakeTempDir("out");
    RecordingBatchView view;
    std::mutex mutex;
    std::map<int, std::vector<int>> before;  // reports by row, before the delete
    std::vector<int> secondAfter;            // the second job's, after it (then row 0)
    std::atomic<bool> deleted{false};
    view.onProgress = [&](int row, int percent) {
      std::lock_guard<std::mutex> lock(mutex);
      if (!deleted) before[row].push_back(percent);
      else if (row == 0) secondAfter.push_back(percent);
    };
    BatchRunner runner(view);
    runner.SetConversionsAtOnce(2);
    runner.SetDeleteUnfinished(deleteUnfinished);
    runner.AddJob(Job(LongClip(), dir + "/first.mp4", kSlowArgs, 30));
    runner.AddJob(Job(LongClip(), dir + "/second.mp4", kSlowArgs, 30));
    runner.AddJob(Job(SmallClip(), dir + "/third.avi", kSmallArgs));
    std::string error;
    ASSERT_TRUE(runner.Start(&error)) << error;
    RunBatchLoop(runner, {.cancelRequested = [&] {
                            bool bothAdvanced;
                            {
                              std::lock_guard<std::mutex> lock(mutex);
                              if (deleted) return secondAfter.size() >= 2 && !view.Finished().empty();
                              bothAdvanced = before[0].size() >= 2 && before[1].size() >= 2;
                            }
                            if (bothAdvanced) {
                              deleted = true;
                              runner.DeleteJob(0);
                            }
                            return false;
                          }});
    EXPECT_FALSE(view.completed());
    {
      std::lock_guard<std::mutex> lock(mutex);
      ASSERT_TRUE(deleted);
      EXPECT_TRUE(before[2].empty());  // the third waited for a free engine
      for (int row : {0, 1}) EXPECT_TRUE(std::is_sorted(before[row].begin(), before[row].end()));
      // The second went on after the first was deleted.
      ASSERT_GE(secondAfter.size(), 2u);
      EXPECT_GE(secondAfter.front(), before[1].back());
      EXPECT_GT(secondAfter.back(), before[1].back());
    }
    // The deleted file is gone; the unfinished one is gone or kept under its
    // name; the third, converted in the freed place, stays.
    EXPECT_EQ(Entries(dir), deleteUnfinished ? std::vector<std::string>{"third.avi"}
                                             : (std::vector<std::string>{"second.mp4", "third.avi"}));
    EXPECT_EQ(runner.Jobs().size(), deleteUnfinished ? 1u : 2u);
    EXPECT_EQ(test::ProcessesMentioning(dir), 0);
    EXPECT_EQ(ChildProcesses(), 0);
  }
}

TEST(BatchSideBySide, ExistingFileQuestionsComeInListOrderAndEachAnswerHoldsForItsJob) {
  std::string dir = test::MakeTempDir("out");
  for (const char* name : {"a.avi", "b.avi", "c.avi"}) test::WriteFile(dir + "/" + name, "old");
  RecordingBatchView view;
  view.answers = {true, false, true};  // replace a, keep b, replace c
  BatchRunner runner(view);
  runner.SetConversionsAtOnce(3);
  for (const char* name : {"a.avi", "b.avi", "c.avi"})
    runner.AddJob(Job(SmallClip(), dir + "/" + name, kSmallArgs));
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  RunBatchLoop(runner);
  std::vector<std::string> expected;
  for (const char* name : {"a.avi", "b.avi", "c.avi"})
    expected.push_back("The file '" + dir + "/" + name +
                       "' is exists. \nClick Yes to continue or No to skip? ");
  EXPECT_EQ(view.Questions(), expected);
  EXPECT_EQ(test::ProbeWithFfprobe(dir + "/a.avi").video.codec, "mpeg4");
  EXPECT_EQ(test::ReadFile(dir + "/b.avi"), "old");
  EXPECT_EQ(test::ProbeWithFfprobe(dir + "/c.avi").video.codec, "mpeg4");
  EXPECT_EQ(view.Summary().jobs[1].outcome, JobOutcome::kSkipped);
}

}  // namespace
}  // namespace mivora
