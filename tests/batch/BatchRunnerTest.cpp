#include <dirent.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/Folders.h"
#include "common/Log.h"
#include "pipeline/BatchLoop.h"
#include "pipeline/BatchRunner.h"
#include "pipeline/ConvertHelper.h"
#include "tests/batch/RecordingBatchView.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

using test::RecordingBatchView;

constexpr const char* kSmallArgs = "-vcodec mpeg4 -acodec mp2 -s 96x64 ";
// Slow enough to be stopped while it runs: upscaling into H.264.
constexpr const char* kSlowArgs = "-vcodec libx264 -acodec mp2 -s 1280x720 ";

const std::string& SmallClip() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("clips") + "/small clip.avi";
    test::GenerateClip(p, {.seconds = 1, .width = 160, .height = 120});
    return p;
  }();
  return path;
}

const std::string& LongClip() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("clips") + "/long clip.avi";
    test::GenerateClip(p, {.seconds = 30, .width = 320, .height = 240});
    return p;
  }();
  return path;
}

ConversionJob Job(const std::string& source, const std::string& output, const char* args,
                  int seconds = 1) {
  return {source, output, "10 KB", "avi", args, seconds};
}

void RunToEnd(BatchRunner& runner, const BatchLoopHooks& hooks = {}) {
  std::string error;
  ASSERT_TRUE(runner.Start(&error)) << error;
  RunBatchLoop(runner, hooks);
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Resident memory of this process in KiB.
long ResidentKiB() {
  std::string status = test::ReadFile("/proc/self/status");
  size_t at = status.find("VmRSS:");
  return at == std::string::npos ? 0 : std::atol(status.c_str() + at + 6);
}

int EntriesIn(const char* folder) {
  int n = 0;
  if (DIR* dir = opendir(folder)) {
    while (readdir(dir)) ++n;
    closedir(dir);
  }
  return n;
}


TEST(BatchRunner, ConvertsEveryJobWithProgressAndLog) {
  ResetLogForNewRun();
  std::string out = test::MakeTempDir("out") + "/new folder";
  RecordingBatchView view;
  BatchRunner runner(view);
  for (int i = 0; i < 3; ++i)
    runner.AddJob(Job(SmallClip(), out + "/clip" + std::to_string(i) + ".avi", kSmallArgs));
  RunToEnd(runner);
  ASSERT_TRUE(view.completed());
  BatchSummary summary = view.Summary();
  EXPECT_TRUE(summary.AllSucceeded()) << summary.Text();
  EXPECT_EQ(summary.Text(), "Converted successfully!");
  for (int i = 0; i < 3; ++i) {
    test::ProbeFacts facts = test::ProbeWithFfprobe(out + "/clip" + std::to_string(i) + ".avi");
    EXPECT_EQ(facts.video.codec, "mpeg4");
    EXPECT_EQ(facts.video.width, 86);  // the 4:3 clip fitted into the 96x64 box
    EXPECT_EQ(facts.video.height, 64);
  }
  EXPECT_FALSE(view.Percents().empty());
  EXPECT_TRUE(view.Questions().empty());
  std::string log = test::ReadFile(LogFilePath());
  EXPECT_EQ(Count(log, "Enter: CDlgConverting::ThreadProc_Convert"), 1);
  EXPECT_EQ(Count(log, "Leave: CDlgConverting::ThreadProc_Convert"), 1);
  EXPECT_EQ(Count(log, "ThreadProc_Convert, Current File: " + SmallClip()), 3);
  EXPECT_EQ(Count(log, "ThreadProc_Convert, Error: No"), 3);
  EXPECT_EQ(Count(log, "ThreadProc_Convert, trancor.exe ExitCode: 0"), 3);
  EXPECT_EQ(Count(log, "DebugInfo: Video Total Duration: 1, Current Duration: "), 3);
  EXPECT_NE(log.find("\tDlgConverting, "), std::string::npos);
}

TEST(BatchRunner, ExistingOutputIsSkippedOrOverwrittenAsAnswered) {
  std::string out = test::MakeTempDir("out") + "/exists.avi";
  test::WriteFile(out, "the user's own file");
  {
    RecordingBatchView view;
    view.answers = {false};
    BatchRunner runner(view);
    runner.AddJob(Job(SmallClip(), out, kSmallArgs));
    RunToEnd(runner);
    ASSERT_EQ(view.Questions().size(), 1u);
    EXPECT_EQ(view.Questions()[0],
              "The file '" + out + "' is exists. \nClick Yes to continue or No to skip? ");
    EXPECT_EQ(test::ReadFile(out), "the user's own file");
    EXPECT_EQ(view.Summary().jobs[0].outcome, JobOutcome::kSkipped);
    EXPECT_FALSE(view.Summary().AllSucceeded());
  }
  RecordingBatchView view;
  view.answers = {true};
  BatchRunner runner(view);
  runner.AddJob(Job(SmallClip(), out, kSmallArgs));
  RunToEnd(runner);
  EXPECT_TRUE(view.Summary().AllSucceeded()) << view.Summary().Text();
  EXPECT_EQ(test::ProbeWithFfprobe(out).video.codec, "mpeg4");
}

TEST(BatchRunner, AFailedJobLeavesTheFileItWasToReplace) {
  std::string dir = test::MakeTempDir("out");
  std::string out = dir + "/exists.avi";
  test::WriteFile(out, "the user's own file");
  RecordingBatchView view;
  view.answers = {true};  // replace it
  BatchRunner runner(view);
  runner.AddJob(Job(SmallClip(), out, "-vcodec msmpeg4v1 -acodec mp2 "));
  RunToEnd(runner);
  EXPECT_EQ(view.Summary().jobs.at(0).outcome, JobOutcome::kFailed);
  EXPECT_EQ(test::ReadFile(out), "the user's own file");
  EXPECT_EQ(EntriesIn(dir.c_str()), 3);
}

TEST(BatchRunner, AFailingJobIsNamedAndTheOthersConvert) {
  std::string dir = test::MakeTempDir("out");
  std::string source = dir + "/self.avi";
  test::WriteFile(source, test::ReadFile(SmallClip()));
  RecordingBatchView view;
  BatchRunner runner(view);
  runner.AddJob(Job(SmallClip(), dir + "/one.avi", kSmallArgs));
  runner.AddJob(Job(SmallClip(), dir + "/bad.avi", "-vcodec msmpeg4v1 -acodec mp2 "));
  runner.AddJob(Job(source, source, kSmallArgs));  // would overwrite its own source
  runner.AddJob(Job(dir + "/missing source.avi", dir + "/missing.avi", kSmallArgs));
  runner.AddJob(Job(SmallClip(), dir + "/three.avi", kSmallArgs));
  RunToEnd(runner);
  BatchSummary summary = view.Summary();
  ASSERT_EQ(summary.jobs.size(), 5u);
  EXPECT_EQ(summary.jobs[0].outcome, JobOutcome::kSucceeded);
  EXPECT_EQ(summary.jobs[1].outcome, JobOutcome::kFailed);
  EXPECT_NE(summary.jobs[1].exitCode, 0);
  EXPECT_FALSE(summary.jobs[1].engineLines.empty());
  EXPECT_EQ(summary.jobs[2].outcome, JobOutcome::kFailed);
  EXPECT_EQ(test::ReadFile(source), test::ReadFile(SmallClip()));  // the source is untouched
  EXPECT_EQ(summary.jobs[3].outcome, JobOutcome::kFailed);
  EXPECT_EQ(summary.jobs[4].outcome, JobOutcome::kSucceeded);
  std::string text = summary.Text();
  EXPECT_EQ(text.rfind("Converted 2 of 5 files.", 0), 0u) << text;
  // Each failure in a person's words, the engine's lines left to the log.
  EXPECT_EQ(summary.jobs[1].failure, FailureKind::kCodecUnavailable);
  EXPECT_NE(text.find("small clip.avi: " + FailureMessage(FailureKind::kCodecUnavailable)), std::string::npos)
      << text;
  EXPECT_EQ(summary.jobs[3].failure, FailureKind::kSourceMissing);
  EXPECT_NE(text.find("missing source.avi: " + FailureMessage(FailureKind::kSourceMissing)),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("trancor:"), std::string::npos) << text;
  EXPECT_NE(text.find("self.avi: The output file would replace its own source"), std::string::npos);
  EXPECT_FALSE(FileExists(dir + "/bad.avi"));
  EXPECT_FALSE(FileExists(dir + "/missing.avi"));
  EXPECT_EQ(EntriesIn(dir.c_str()), 5);  // one.avi, self.avi, three.avi
}

// A source deleted (or locked) after it was added is told before the engine
// starts; the file next to it converts.
TEST(BatchRunner, ASourceGoneOrLockedSinceItWasAddedFailsBeforeTheEngineStarts) {
  ResetLogForNewRun();
  std::string sources = test::MakeTempDir("sources");
  std::string gone = sources + "/todelete.avi", locked = sources + "/locked.avi";
  test::WriteFile(gone, test::ReadFile(SmallClip()));
  test::WriteFile(locked, test::ReadFile(SmallClip()));
  std::string out = test::MakeTempDir("out");
  RecordingBatchView view;
  BatchRunner runner(view);
  runner.AddJob(Job(gone, out + "/todelete.avi", kSmallArgs));
  runner.AddJob(Job(locked, out + "/locked.avi", kSmallArgs));
  runner.AddJob(Job(SmallClip(), out + "/fine.avi", kSmallArgs));
  std::remove(gone.c_str());
  bool canLock = geteuid() != 0;  // root reads whatever the mode says
  if (canLock) chmod(locked.c_str(), 0);
  RunToEnd(runner);
  BatchSummary summary = view.Summary();
  EXPECT_EQ(summary.jobs[0].failure, FailureKind::kSourceMissing);
  EXPECT_EQ(summary.jobs[0].reason, FailureMessage(FailureKind::kSourceMissing));
  if (canLock) EXPECT_EQ(summary.jobs[1].failure, FailureKind::kSourceUnreadable);
  EXPECT_EQ(summary.jobs[2].outcome, JobOutcome::kSucceeded);
  std::string log = test::ReadFile(LogFilePath());
  // The engine ran only for the files that are there.
  EXPECT_EQ(Count(log, "ConvertHelper::ConvertStart, CmdLine: "), canLock ? 1 : 2) << log;
  EXPECT_NE(log.find("not started: " + FailureMessage(FailureKind::kSourceMissing)), std::string::npos);
  chmod(locked.c_str(), 0600);
}

TEST(BatchRunner, DeletingTheRunningJobStopsItAndGoesOnWithTheNext) {
  std::string dir = test::MakeTempDir("out");
  RecordingBatchView view;
  BatchRunner runner(view);
  runner.AddJob(Job(LongClip(), dir + "/long.mp4", kSlowArgs, 30));
  runner.AddJob(Job(SmallClip(), dir + "/small.avi", kSmallArgs));
  bool deleted = false;
  RunToEnd(runner, {.cancelRequested = [&] {
                 if (!deleted && !view.Percents().empty()) {
                   deleted = true;
                   runner.DeleteJob(0);
                   runner.DeleteJob(0);  // a second click within 500 ms is ignored
                 }
                 return false;
               }});
  ASSERT_TRUE(deleted);
  EXPECT_EQ(view.Removed(), std::vector<int>{0});
  EXPECT_FALSE(FileExists(dir + "/long.mp4"));
  EXPECT_EQ(EntriesIn(dir.c_str()), 3);  // ".", ".." and small.avi: nothing half-written
  EXPECT_EQ(test::ProbeWithFfprobe(dir + "/small.avi").video.codec, "mpeg4");
  BatchSummary summary = view.Summary();
  EXPECT_EQ(summary.jobs[0].outcome, JobOutcome::kDeleted);
  EXPECT_EQ(summary.jobs[1].outcome, JobOutcome::kSucceeded);
  EXPECT_TRUE(summary.AllSucceeded());
  EXPECT_EQ(test::ProcessesMentioning(dir), 0);
}

// Whether the log shows an engine command line for `source`.
bool EngineRanOn(const std::string& log, const std::string& source) {
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);)
    if (line.find("ConvertStart, CmdLine: ") != std::string::npos &&
        line.find(source) != std::string::npos)
      return true;
  return false;
}

// A stop made between the batch choosing a job and the engine starting on it
// holds: a deleted row does not convert, and Cancel does not wait for the
// whole job.
TEST(BatchRunner, AStopJustBeforeTheEngineStartsHolds) {
  for (bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancel" : "delete");
    ResetLogForNewRun();
    std::string dir = test::MakeTempDir("out");
    std::atomic<bool> inGap{false};
    ConvertHelper::SetRunStartHookForTests([&] {
      if (!inGap.exchange(true)) std::this_thread::sleep_for(std::chrono::milliseconds(600));
    });
    RecordingBatchView view;
    BatchRunner runner(view);
    runner.SetConversionsAtOnce(1);
    runner.AddJob(Job(LongClip(), dir + "/long.mp4", kSlowArgs, 30));
    runner.AddJob(Job(SmallClip(), dir + "/small.avi", kSmallArgs));
    bool stopped = false;
    auto began = std::chrono::steady_clock::now();
    RunToEnd(runner, {.cancelRequested = [&] {
                   if (!inGap || (stopped && !cancel)) return false;
                   stopped = true;
                   if (!cancel) runner.DeleteJob(0);
                   return cancel;
                 }});
    ConvertHelper::SetRunStartHookForTests({});
    ASSERT_TRUE(stopped);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(20));
    EXPECT_FALSE(EngineRanOn(test::ReadFile(LogFilePath()), LongClip()));
    EXPECT_FALSE(FileExists(dir + "/long.mp4"));
    EXPECT_EQ(FileExists(dir + "/small.avi"), !cancel);
    EXPECT_EQ(test::ProcessesMentioning(dir), 0);
  }
}

// Reports the engine sent before its row was deleted never reach the row that
// moves into its place.
TEST(BatchRunner, ADeletedJobsLateReportsStayWithIt) {
  std::string dir = test::MakeTempDir("out");
  RecordingBatchView view;
  BatchRunner runner(view);
  runner.SetConversionsAtOnce(1);
  runner.AddJob(Job(LongClip(), dir + "/long.mp4", kSlowArgs, 30));
  // Counted as 10 s long, the one-second clip never gets past 20 %; the long
  // job's media time of 3 s or more would show as 40 % or more. (Its output,
  // far shorter than that, then fails.)
  runner.AddJob(Job(SmallClip(), dir + "/small.avi", kSmallArgs, 10));
  std::atomic<bool> deleted{false};
  std::mutex mutex;
  std::vector<int> afterDelete;
  view.onProgress = [&](int, int percent) {
    if (!deleted) return;
    std::lock_guard<std::mutex> lock(mutex);
    afterDelete.push_back(percent);
  };
  RunToEnd(runner, {.cancelRequested = [&] {
                 std::vector<int> seen = view.Percents();
                 if (!deleted && !seen.empty() && seen.back() >= 14) {
                   // Reports queue up unread, as they do while the window is busy.
                   std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                   deleted = true;
                   runner.DeleteJob(0);
                 }
                 return false;
               }});
  ASSERT_TRUE(deleted);
  std::vector<JobResult> finished = view.Finished();
  ASSERT_EQ(finished.size(), 1u);
  EXPECT_EQ(finished[0].outputPath, dir + "/small.avi");
  EXPECT_EQ(finished[0].reason.rfind("The converted file holds only 1.0 s of the 10.0 s expected", 0), 0u)
      << finished[0].reason;
  EXPECT_FALSE(FileExists(dir + "/small.avi"));
  std::lock_guard<std::mutex> lock(mutex);
  for (int percent : afterDelete) EXPECT_LE(percent, 20);
}

TEST(BatchRunner, QueuedJobsCanBeDeletedFinishedOnesCannot) {
  std::string dir = test::MakeTempDir("out");
  RecordingBatchView view;
  BatchRunner runner(view);
  runner.AddJob(Job(SmallClip(), dir + "/a.avi", kSmallArgs));
  runner.AddJob(Job(SmallClip(), dir + "/b.avi", kSmallArgs));
  runner.DeleteJob(1);  // queued
  RunToEnd(runner);
  runner.DeleteJob(0);  // finished (and past the guard's first click): ignored
  EXPECT_EQ(view.Removed(), std::vector<int>{1});
  EXPECT_TRUE(FileExists(dir + "/a.avi"));
  EXPECT_FALSE(FileExists(dir + "/b.avi"));
}

TEST(BatchRunner, CancelRemovesOrKeepsTheUnfinishedFile) {
  for (bool deleteUnfinished : {true, false}) {
    std::string dir = test::MakeTempDir("out");
    RecordingBatchView view;
    BatchRunner runner(view);
    runner.SetDeleteUnfinished(deleteUnfinished);
    runner.SetAutoShutdown(true);
    runner.SetConversionsAtOnce(1);  // the small job waits
    runner.AddJob(Job(LongClip(), dir + "/long.mp4", kSlowArgs, 30));
    runner.AddJob(Job(SmallClip(), dir + "/small.avi", kSmallArgs));
    RunToEnd(runner, {.cancelRequested = [&] { return !view.Percents().empty(); }});
    EXPECT_FALSE(view.completed());  // a cancelled batch shows no completion notice
    // A kept unfinished file gets its name; nothing hidden stays behind.
    EXPECT_EQ(FileExists(dir + "/long.mp4"), !deleteUnfinished);
    EXPECT_EQ(EntriesIn(dir.c_str()), deleteUnfinished ? 2 : 3);
    EXPECT_FALSE(FileExists(dir + "/small.avi"));
    EXPECT_EQ(test::ProcessesMentioning(dir), 0);
    EXPECT_TRUE(runner.Cancel(true));  // after the end: touches nothing
    EXPECT_TRUE(view.Questions().empty());
  }
  EXPECT_TRUE(test::RecordedShutdowns().empty());  // never after a cancel
}

TEST(BatchRunner, TooLittleSpaceAsksAndStopsWithoutShuttingDown) {
  std::string dir = test::MakeTempDir("out");
  RecordingBatchView view;
  view.answers = {false};
  BatchRunner runner(view);
  runner.SetAutoShutdown(true);
  ConversionJob job = Job(SmallClip(), dir + "/a.avi", kSmallArgs);
  job.estimatedSize = "99999 PB";
  runner.AddJob(job);
  RunToEnd(runner);
  ASSERT_TRUE(view.completed());
  EXPECT_EQ(view.Questions(),
            std::vector<std::string>{"There is not enough free space, do you want to continue?"});
  EXPECT_TRUE(view.Summary().stoppedForSpace);
  EXPECT_FALSE(view.Summary().AllSucceeded());
  EXPECT_FALSE(view.Summary().shuttingDown);
  EXPECT_TRUE(test::RecordedShutdowns().empty());
}

TEST(BatchRunner, ShutsDownAfterASuccessfulBatchWhenAsked) {
  RecordingBatchView view;
  BatchRunner runner(view);
  runner.SetAutoShutdown(true);
  runner.AddJob(Job(SmallClip(), test::MakeTempDir("out") + "/a.avi", kSmallArgs));
  RunToEnd(runner);
  EXPECT_TRUE(view.Summary().shuttingDown);
  EXPECT_EQ(test::RecordedShutdowns(), std::vector<int>{0});
}

TEST(BatchRunner, FiftyJobsLeaveNoDescriptorOrThreadBehind) {
  ResetLogForNewRun();
  std::string source = test::MakeTempDir("clips") + "/tiny.avi";
  test::GenerateClip(source, {.seconds = 0.2, .width = 64, .height = 48});
  std::string dir = test::MakeTempDir("out");
  // A first batch warms up what stays for the process (the log, the probe's tables).
  {
    RecordingBatchView view;
    BatchRunner runner(view);
    runner.AddJob(Job(source, dir + "/warm.avi", kSmallArgs, 0));  // probed as 0 s, as a 0.2 s clip is
    RunToEnd(runner);
  }
  int fdsBefore = EntriesIn("/proc/self/fd");
  int threadsBefore = EntriesIn("/proc/self/task");
  long memoryBefore = ResidentKiB();
  ResetLogForNewRun();
  RecordingBatchView view;
  {
    BatchRunner runner(view);
    for (int i = 0; i < 50; ++i)
      runner.AddJob(Job(source, dir + "/out" + std::to_string(i) + ".avi", kSmallArgs, 0));
    RunToEnd(runner);
  }
  EXPECT_TRUE(view.Summary().AllSucceeded()) << view.Summary().Text();
  EXPECT_EQ(EntriesIn("/proc/self/fd"), fdsBefore);
  EXPECT_EQ(EntriesIn("/proc/self/task"), threadsBefore);
  // Flat memory: 50 jobs may not cost more than a few pages each. (The address
  // sanitizer keeps freed memory in quarantine, so resident size says nothing
  // there; its leak check covers that build instead.)
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(ResidentKiB() - memoryBefore, 4096) << memoryBefore;
#else
  (void)memoryBefore;
#endif
  std::string log = test::ReadFile(LogFilePath());
  EXPECT_EQ(Count(log, "Enter: ConvertHelper::ConvertStart\n"), 50);
  EXPECT_EQ(Count(log, "Leave: ConvertHelper::ConvertStart, Convert Finish, Result: TRUE"), 50);
}

}  // namespace
}  // namespace mivora

namespace mivora {
namespace {

// While it lives, the engine is one that claims success: for a conversion
// it writes `output` (nothing when empty) and exits 0; probes go to the real
// engine.
class EngineThatWrites {
 public:
  explicit EngineThatWrites(const std::string& output);
  ~EngineThatWrites() { SetProgramFolder(previous_); }

 private:
  std::string previous_ = ProgramFolder();
};

EngineThatWrites::EngineThatWrites(const std::string& output) {
  std::string folder = test::MakeTempDir("fake engine");
  std::string script = folder + "/trancor";
  test::WriteFile(script,
                  "#!/bin/sh\n"
                  "case \" $* \" in *\" -hwnd \"*) ;; *) exec '" MIVORA_PROGRAM_DIR "/trancor' \"$@\";; esac\n"
                  "for last; do :; done\n" +
                      (output.empty() ? std::string() : "printf '" + output + "' > \"$last\"\n") +
                      "exit 0\n");
  chmod(script.c_str(), 0755);
  SetProgramFolder(folder);
}

// Every call of the view comes on the driving thread and never under the job
// lock (a view may call the runner back), and a snapshot pulled after a wake
// agrees with what the view was shown: the running row at the percent last
// shown, the rows behind it queued, at the end every row done with its
// outcome. The batch runs each kind of change: progress, a delete, a
// question, a failure before the engine, a success.
TEST(BatchRunner, TheViewIsCalledOnTheDrivingThreadWithoutLocksAndTheSnapshotAgrees) {
  std::string dir = test::MakeTempDir("out");
  test::WriteFile(dir + "/kept.avi", "the user's own file");
  RecordingBatchView view;
  view.answers = {false};  // keep the existing file
  BatchRunner runner(view);
  const std::thread::id driving = std::this_thread::get_id();
  std::atomic<int> calls{0}, underLock{0}, elsewhere{0};
  view.onEveryCall = [&] {
    ++calls;
    if (runner.JobsLockHeldByCallingThread()) ++underLock;
    if (std::this_thread::get_id() != driving) ++elsewhere;
  };
  runner.SetConversionsAtOnce(1);
  runner.AddJob(Job(LongClip(), dir + "/long.mp4", kSlowArgs, 30));
  runner.AddJob(Job(SmallClip(), dir + "/small.avi", kSmallArgs));
  runner.AddJob(Job(dir + "/gone.avi", dir + "/gone-out.avi", kSmallArgs));
  runner.AddJob(Job(SmallClip(), dir + "/kept.avi", kSmallArgs));
  BatchSnapshot whileRunning;
  int shownPercent = -1;
  bool deleted = false;
  RunToEnd(runner, {.cancelRequested = [&] {
                 std::vector<int> percents = view.Percents();
                 if (deleted || percents.empty() || percents.back() < 2) return false;
                 whileRunning = runner.Snapshot();
                 shownPercent = percents.back();
                 deleted = true;
                 runner.DeleteJob(0);
                 return false;
               }});
  ASSERT_TRUE(deleted);
  EXPECT_GT(calls, 10);
  EXPECT_EQ(underLock, 0) << "the view was called with the job lock held";
  EXPECT_EQ(elsewhere, 0) << "the view was called off the driving thread";

  ASSERT_EQ(whileRunning.jobs.size(), 4u);
  EXPECT_TRUE(whileRunning.running);
  EXPECT_EQ(whileRunning.jobs[0].state, BatchJobState::kRunning);
  EXPECT_EQ(whileRunning.jobs[0].percent, shownPercent);
  EXPECT_EQ(whileRunning.LowestRunningPercent(), shownPercent);
  for (int row : {1, 2, 3}) EXPECT_EQ(whileRunning.jobs[row].state, BatchJobState::kQueued) << row;

  BatchSnapshot end = runner.Snapshot();
  EXPECT_FALSE(end.running);
  EXPECT_EQ(end.LowestRunningPercent(), -1);
  ASSERT_EQ(end.jobs.size(), 3u);  // the deleted row is gone
  const JobOutcome outcomes[] = {JobOutcome::kSucceeded, JobOutcome::kFailed, JobOutcome::kSkipped};
  std::vector<JobResult> finished = view.Finished();
  ASSERT_EQ(finished.size(), 3u);
  for (int row = 0; row < 3; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(end.jobs[row].row, row);
    EXPECT_EQ(end.jobs[row].state, BatchJobState::kDone);
    EXPECT_EQ(end.jobs[row].outcome, outcomes[row]);
    EXPECT_EQ(finished[row].outcome, outcomes[row]);
  }
  EXPECT_EQ(end.jobs[0].percent, 100);
  EXPECT_EQ(view.Removed(), std::vector<int>{0});
  EXPECT_EQ(view.Questions().size(), 1u);
}

// The user goes away while the worker's question is shown: Cancel withdraws
// it and returns without waiting for an answer; the answer that comes later
// changes nothing, and the job is left not run rather than skipped.
TEST(BatchRunner, CancelWithdrawsTheShownQuestionAtOnce) {
  std::string dir = test::MakeTempDir("out");
  test::WriteFile(dir + "/a.avi", "the user's own file");
  RecordingBatchView view;
  view.answers = {true};  // the late answer: overwrite
  BatchRunner runner(view);
  runner.AddJob(Job(SmallClip(), dir + "/a.avi", kSmallArgs));
  std::chrono::steady_clock::duration cancelTook{};
  view.onQuestion = [&] {
    auto began = std::chrono::steady_clock::now();
    EXPECT_TRUE(runner.Cancel(false));
    cancelTook = std::chrono::steady_clock::now() - began;
  };
  RunToEnd(runner);
  EXPECT_EQ(view.Questions().size(), 1u);
  EXPECT_LT(cancelTook, std::chrono::seconds(1));
  EXPECT_FALSE(view.completed());
  EXPECT_EQ(runner.Snapshot().jobs.at(0).outcome, JobOutcome::kNotRun);
  EXPECT_EQ(test::ReadFile(dir + "/a.avi"), "the user's own file");
  EXPECT_EQ(test::ProcessesMentioning(dir), 0);
}

TEST(BatchRunnerOutputCheck, SuccessWithoutAnyOutputIsAFailure) {
  EngineThatWrites engine("");
  RecordingBatchView view;
  BatchRunner runner(view);
  runner.AddJob(Job(SmallClip(), test::MakeTempDir("out") + "/a.avi", kSmallArgs));
  RunToEnd(runner);
  JobResult result = view.Summary().jobs.at(0);
  EXPECT_EQ(result.outcome, JobOutcome::kFailed);
  EXPECT_EQ(result.reason, "The converter engine reported success but wrote no output.");
  EXPECT_NE(view.Summary().Text(), "Converted successfully!");
}

TEST(BatchRunnerOutputCheck, SuccessWithAnUnreadableOutputIsAFailure) {
  EngineThatWrites engine("not a video at all");
  RecordingBatchView view;
  BatchRunner runner(view);
  std::string dir = test::MakeTempDir("out");
  runner.AddJob(Job(SmallClip(), dir + "/a.avi", kSmallArgs));
  RunToEnd(runner);
  JobResult result = view.Summary().jobs.at(0);
  EXPECT_EQ(result.outcome, JobOutcome::kFailed);
  EXPECT_EQ(result.reason, "The output file cannot be read back as media.");
  EXPECT_EQ(EntriesIn(dir.c_str()), 2);  // the broken file is gone, under any name
}

}  // namespace
}  // namespace mivora
