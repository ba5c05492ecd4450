#include <gtest/gtest.h>

#include "pipeline/BatchProgress.h"
#include "pipeline/ConversionJob.h"

namespace mivora {
namespace {

TEST(BatchProgress, TimeReports) {
  EXPECT_EQ(MediaTimeOfReport("frame=  10 fps=0.0 q=2.0 size=  1kB time=00:00:49.00 bitrate=1"), 49);
  EXPECT_EQ(MediaTimeOfReport("size=N/A time=01:02:03.50 bitrate=N/A"), 3723);
  EXPECT_EQ(MediaTimeOfReport("size=N/A time=N/A bitrate=N/A"), 0);
  EXPECT_EQ(MediaTimeOfReport("Input #0, avi, from 'x.avi':"), std::nullopt);
  EXPECT_EQ(MediaTimeOfReport("time="), 0);  // nothing after it
}

TEST(BatchProgress, PercentIsClampedForTheRow) {
  const struct {
    int media, total, percent;
  } rows[] = {
      {49, 100, 50}, {100, 100, 100} /* 101 clamped */, {0, 100, 1}, {5, 0, 0}, {-7, 3, 0},
      {2000000000, 1, 100},
  };
  for (const auto& row : rows) EXPECT_EQ(ProgressPercent(row.media, row.total), row.percent);
  float exact = 0;
  ProgressPercent(100, 100, &exact);
  EXPECT_FLOAT_EQ(exact, 101.0f);
}

TEST(BatchProgress, RemainingTime) {
  EXPECT_EQ(RemainingTimeText(10, 20, 100), "00:00:40");
  EXPECT_EQ(RemainingTimeText(1, 1, 7201), "02:00:00");
  EXPECT_EQ(RemainingTimeText(10, 150, 100), "00:00:-3");  // media time beyond the total
  EXPECT_EQ(RemainingTimeText(10, 0, 100), "");            // nothing known yet
}

TEST(BatchSummary, HonestAboutEveryJob) {
  BatchSummary summary;
  JobResult ok{"/in/a.avi", "/out/a.mp4", JobOutcome::kSucceeded};
  JobResult gone{"/in/b.avi", "/out/b.mp4", JobOutcome::kDeleted};
  summary.jobs = {ok, gone};
  EXPECT_TRUE(summary.AllSucceeded());
  EXPECT_EQ(summary.Text(), "Converted successfully!");

  JobResult failed{"/in/c.avi", "/out/c.mp4", JobOutcome::kFailed, 1, FailureMessage(FailureKind::kSourceDamaged),
                   {"frame=1", "Invalid data found when processing input"}, FailureKind::kSourceDamaged};
  JobResult skipped{"/in/d.avi", "/out/d.mp4", JobOutcome::kSkipped};
  summary.jobs = {ok, gone, failed, skipped};
  EXPECT_FALSE(summary.AllSucceeded());
  EXPECT_EQ(summary.Text(),
            "Converted 1 of 3 files.\n"
            "c.avi: " + FailureMessage(FailureKind::kSourceDamaged) + "\n"
            "d.avi: skipped, the output file exists.");
  // A success with a note is still a success, and the note is read.
  JobResult soundOnly{"/in/e.wav", "/out/e.mp4", JobOutcome::kSucceeded};
  soundOnly.note = SoundOnlyNote("mp4");
  summary.jobs = {ok, soundOnly};
  EXPECT_TRUE(summary.AllSucceeded());
  EXPECT_EQ(summary.Text(), "Converted successfully!\ne.wav: " + SoundOnlyNote("mp4"));
  summary.jobs = {failed, soundOnly};
  EXPECT_EQ(summary.Text(), "Converted 1 of 2 files.\nc.avi: " + FailureMessage(FailureKind::kSourceDamaged) +
                                "\ne.wav: " + SoundOnlyNote("mp4"));
  summary.jobs = {ok};
  summary.stoppedForSpace = true;
  EXPECT_EQ(summary.Text(), "Converted 1 of 1 file.\nThe batch was stopped for lack of free space.");
}

}  // namespace
}  // namespace mivora
