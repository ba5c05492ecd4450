#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <string>
#include <vector>

#include "common/Folders.h"
#include "common/TextCodec.h"
#include "pipeline/OutputFiles.h"
#include "tests/support/FifoRescuer.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(OutputFiles, PartialNamesAreHiddenBesideTheOutputWithItsExtension) {
  std::string longStem;
  for (int i = 0; i < 126; ++i) longStem += "\xC3\xA9";  // 252 bytes of two-byte characters
  const struct {
    std::string output, folder, start, extension;
  } rows[] = {
      {"/o/clip one.mp4", "/o", ".clip one.", ".mp4"},
      {"/o/my.holiday.mkv", "/o", ".my.holiday.", ".mkv"},
      {"/o/noext", "/o", ".noext.", ""},
      {"/clip.avi", "", ".clip.", ".avi"},
      {"rel.avi", "", ".rel.", ".avi"},
      {"/o/" + longStem + ".mkv", "/o", ".\xC3\xA9", ".mkv"},
  };
  for (const auto& row : rows) {
    std::string partial = PartialOutputPath(row.output);
    std::string name(BaseName(partial));
    EXPECT_EQ(std::string(FolderOf(partial)), row.folder) << partial;
    EXPECT_EQ(name.rfind(row.start, 0), 0u) << partial;
    EXPECT_TRUE(row.extension.empty() ? std::isdigit(static_cast<unsigned char>(name.back())) != 0
                                      : EndsWith(name, row.extension)) << partial;
    EXPECT_LE(name.size(), 255u) << partial;
    EXPECT_EQ(OwnerOfPartialName(name), ::getpid()) << partial;
    EXPECT_EQ(RepairUtf8(name), name) << "cut inside a character: " << partial;
    EXPECT_NE(partial, PartialOutputPath(row.output));  // never the same name twice
  }
}

// A later batch removes the files whose owner has ended; any other name,
// a user's hidden file above all, must not read as one.
TEST(OutputFiles, OnlyPartialNamesTellTheirOwner) {
  const struct {
    const char* name;
    pid_t owner;
  } rows[] = {
      {".clip.partial-123-4.mp4", 123},
      {".noext.partial-123-4", 123},
      {".a.partial-1.partial-77-1.mkv", 77},
      {"clip.partial-123-4.mp4", 0},  // not hidden
      {".clip.partial-123-4.mp4.bak", 0},
      {".clip.partial-0123-4.mp4", 0},
      {".clip.partial-123-.mp4", 0},
      {".clip.partial--4.mp4", 0},
      {".clip.partial-12a-4.mp4", 0},
      {".notes.partial-draft.txt", 0},
      {".clip.partial-99999999999-1.mp4", 0},
      {".partial-123-4.mp4", 0},
  };
  for (const auto& row : rows) EXPECT_EQ(OwnerOfPartialName(row.name), row.owner) << row.name;
}

TEST(OutputFiles, PublishingReplacesOnlyWhenAllowed) {
  std::string dir = test::MakeTempDir("publish");
  std::string output = dir + "/a.mp4";
  for (bool replace : {false, true}) {
    std::string partial = PartialOutputPath(output);
    test::WriteFile(output, "the user's file");
    test::WriteFile(partial, "converted");
    std::string why;
    EXPECT_EQ(PublishOutput(partial, output, replace, &why), replace) << why;
    EXPECT_EQ(test::ReadFile(output), replace ? "converted" : "the user's file");
    EXPECT_EQ(FileExists(partial), !replace);
    EXPECT_EQ(why.empty(), replace) << why;
  }
  std::string partial = PartialOutputPath(dir + "/new.mp4");
  test::WriteFile(partial, "converted");
  EXPECT_TRUE(PublishOutput(partial, dir + "/new.mp4", false, nullptr));
  EXPECT_EQ(test::ReadFile(dir + "/new.mp4"), "converted");
}

TEST(OutputFiles, OnlyWholeMediaReadsBack) {
  std::string dir = test::MakeTempDir("media");
  std::string clip = dir + "/clip.mp4";
  test::GenerateClip(clip, {.seconds = 1, .width = 64, .height = 48});
  std::string whole = test::ReadFile(clip);
  test::WriteFile(dir + "/cut.mp4", whole.substr(0, whole.size() / 2));  // as a full disk leaves it
  test::WriteFile(dir + "/text.mp4", "not a video at all");
  // Index first, then the media cut away: the header alone names every stream and the length.
  std::string indexed = dir + "/indexed.mp4";
  ASSERT_EQ(test::RunCommand({"ffmpeg", "-v", "error", "-y", "-i", clip, "-c", "copy", "-movflags", "+faststart",
                              indexed}).exitCode, 0);
  std::string index = test::ReadFile(indexed);
  size_t media = index.find("mdat");
  ASSERT_NE(media, std::string::npos);
  test::WriteFile(dir + "/index-only.mp4", index.substr(0, media + 4));
  std::string why;
  double length = 0;
  EXPECT_TRUE(IsReadableMedia(clip, &why, &length)) << why;
  EXPECT_NEAR(length, 1.0, 0.1);
  EXPECT_TRUE(IsReadableMedia(indexed, &why, &length)) << why;
  EXPECT_NEAR(length, 1.0, 0.1);
  for (const char* name : {"/cut.mp4", "/text.mp4", "/missing.mp4", "/index-only.mp4"}) {
    why.clear();
    EXPECT_FALSE(IsReadableMedia(dir + name, &why, &length)) << name;
    EXPECT_EQ(why, "The output file cannot be read back as media.") << name;
    EXPECT_EQ(length, -1) << name;
  }
}

// An output that is a pipe, or a text that names pipes (a playlist, a concat
// list, an image pattern): opening a pipe for reading waits for a writer, so
// the check must refuse it instead of hanging the batch for ever.
TEST(OutputFiles, ReadingBackNeverWaitsOnAPipe) {
  const std::string hls = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\nseg.ts\n#EXT-X-ENDLIST\n";
  const std::string concat = "ffconcat version 1.0\nfile part.ts\n";
  const struct {
    std::string output;  // the file read back
    std::string text;    // its contents ("": the output itself is the pipe)
    std::string fifo;    // the pipe
    bool refused;        // false: an image pattern has its stream without reading a picture
  } rows[] = {
      {"out.mp4", "", "out.mp4", true},
      {"out.m3u8", hls, "seg.ts", true},
      {"out.mp4", hls, "seg.ts", true},
      {"out.ffconcat", concat, "part.ts", true},
      {"img%03d.png", "", "img001.png", false},
  };
  for (const auto& row : rows) {
    const std::string dir = test::MakeTempDir("piped");
    const std::string fifo = dir + "/" + row.fifo;
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    if (!row.text.empty()) test::WriteFile(dir + "/" + row.output, row.text);
    test::FifoRescuer rescuer({fifo}, std::chrono::seconds(5));
    std::string why;
    const auto start = std::chrono::steady_clock::now();
    const bool readable = IsReadableMedia(dir + "/" + row.output, &why);
    EXPECT_FALSE(rescuer.Rescued()) << row.output << ": the read-back waited on the pipe";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << row.output;
    if (!row.refused) continue;
    EXPECT_FALSE(readable) << row.output;
    EXPECT_EQ(why, "The output file cannot be read back as media.") << row.output;
  }
}

}  // namespace
}  // namespace mivora
