#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Folders.h"
#include "pipeline/JobFailure.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

// The records of a captured engine report, split as the engine sends them
// (progress records end in "\r", the others in "\n").
std::vector<std::string> Records(const std::string& name) {
  std::string text = test::ReadFile(std::string(MIVORA_TEST_DATA_DIR) + "/engine_failures/" + name);
  std::vector<std::string> records;
  std::string record;
  for (char c : text) {
    if (c != '\n' && c != '\r') {
      record += c;
      continue;
    }
    if (!record.empty()) records.push_back(record);
    record.clear();
  }
  if (!record.empty()) records.push_back(record);
  return records;
}

// Real reports of the engine (trancor and Debian's ffmpeg), each with the
// output it was writing and its exit code.
TEST(JobFailure, ClassifiesRealEngineReports) {
  const struct {
    const char* file;
    const char* output;
    int exitCode;
    bool pictureWanted;
    FailureKind expected;
  } rows[] = {
      {"nosound.txt", "out/x.mp3", 1, false, FailureKind::kNoSound},
      {"gone.txt", "out/x.avi", 1, true, FailureKind::kSourceMissing},
      {"unreadable.txt", "/tmp/x.avi", 1, true, FailureKind::kSourceUnreadable},
      {"damaged.txt", "out/x.avi", 1, true, FailureKind::kSourceDamaged},
      {"full.txt", "full/x.avi", 1, true, FailureKind::kOutputFull},
      {"not_writable.txt", "ro/x.avi", 1, true, FailureKind::kOutputNotWritable},
      {"folder_gone.txt", "/tmp/cap/nosuchdir/sub/x.avi", 1, true, FailureKind::kOutputFolderMissing},
      {"codec_container.txt", "out/x.mp4", 1, true, FailureKind::kCodecNotInContainer},
      {"codec_unavailable.txt", "out/x.avi", 3, true, FailureKind::kCodecUnavailable},
      {"no_ffmpeg.txt", "out/x.avi", 127, true, FailureKind::kEngineCannotStart},
      {"encoder_refused.txt", "out/x.avi", 1, true, FailureKind::kEngineError},
  };
  for (const auto& row : rows) {
    EngineReport report{Records(row.file), row.output, row.exitCode, row.pictureWanted};
    ASSERT_FALSE(report.lines.empty()) << row.file;
    EXPECT_EQ(ClassifyEngineFailure(report), row.expected) << row.file;
  }
}

TEST(JobFailure, TellsTheOutputFromTheSourceByName) {
  const struct {
    std::string line;
    FailureKind expected;
  } rows[] = {
      {"file:/videos/a.mp4: No such file or directory", FailureKind::kSourceMissing},
      {"file:/out/.a.partial-1-1.avi: No such file or directory", FailureKind::kOutputFolderMissing},
      {"file:/videos/a.mp4: Permission denied", FailureKind::kSourceUnreadable},
      {"file:/out/.a.partial-1-1.avi: Permission denied", FailureKind::kOutputNotWritable},
      // A source that merely shares the output's folder is still the source.
      {"file:/out/a.mp4: No such file or directory", FailureKind::kSourceMissing},
  };
  for (const auto& row : rows) {
    EngineReport report{{"Input #0 ...", row.line}, "/out/.a.partial-1-1.avi", 1, true};
    EXPECT_EQ(ClassifyEngineFailure(report), row.expected) << row.line;
  }
  // A run without a word about why is the engine's own failure.
  EXPECT_EQ(ClassifyEngineFailure({{}, "/out/a.avi", 1, true}), FailureKind::kEngineError);
  EXPECT_EQ(ClassifyEngineFailure({{}, "/out/a.avi", 127, true}), FailureKind::kEngineCannotStart);
  // "does not contain any stream" is the missing track the profile wanted.
  EngineReport empty{{"Output file #0 does not contain any stream"}, "/o/a.avi", 1, true};
  EXPECT_EQ(ClassifyEngineFailure(empty), FailureKind::kNoPicture);
}

TEST(JobFailure, EveryMessageSaysWhatToDoWithoutTheEnginesWords) {
  for (int k = static_cast<int>(FailureKind::kSourceMissing); k <= static_cast<int>(FailureKind::kEngineError); ++k) {
    std::string text = FailureMessage(static_cast<FailureKind>(k), "avi", 1);
    EXPECT_GT(text.size(), 40u) << k;
    EXPECT_EQ(text.find("exit code"), std::string::npos) << text;
    EXPECT_EQ(text.find("ffmpeg @"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '.') << text;
    EXPECT_FALSE(PreviewProblemMessage(static_cast<FailureKind>(k)).empty()) << k;
  }
  EXPECT_EQ(FailureMessage(FailureKind::kNone), "");
  EXPECT_NE(FailureMessage(FailureKind::kCodecNotInContainer, "mp4").find("A .mp4 file cannot hold"),
            std::string::npos);
}

TEST(JobFailure, ChecksTheSourceAndTheOutputFolderBeforeTheStart) {
  std::string dir = test::MakeTempDir("failure");
  std::string file = dir + "/a.mp4";
  test::WriteFile(file, "x");
  EXPECT_EQ(CheckSource(file), FailureKind::kNone);
  EXPECT_EQ(CheckSource(dir + "/gone.mp4"), FailureKind::kSourceMissing);
  EXPECT_EQ(CheckSource(dir), FailureKind::kSourceMissing);
  // A FIFO is opened without waiting for a writer.
  ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0600), 0);
  EXPECT_EQ(CheckSource(dir + "/pipe"), FailureKind::kNone);
  if (geteuid() != 0) {  // permissions bind everyone but root
    chmod(file.c_str(), 0);
    EXPECT_EQ(CheckSource(file), FailureKind::kSourceUnreadable);
    chmod(file.c_str(), 0600);
  }
  EXPECT_EQ(PrepareOutputFolder(dir + "/new/deeper/out.avi"), FailureKind::kNone);
  EXPECT_TRUE(IsDirectory(dir + "/new/deeper"));
  // A folder under a file can never be made.
  EXPECT_EQ(PrepareOutputFolder(file + "/sub/out.avi"), FailureKind::kOutputFolderMissing);
}

}  // namespace
}  // namespace mivora
