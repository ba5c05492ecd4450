// The source facts the program's probe hands to the engine: the word keeps
// everything the engine would read itself (tracks, colour, the picture's
// shape, HDR mastering metadata), it gives the very ffmpeg command that
// reading the source gives, the engine follows it instead of opening the
// source, and it reads the source again once the file has changed.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <map>

#include "pipeline/InProcessProbe.h"
#include "tests/support/RealSourceMedia.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "tools/trancor/EngineCommand.h"
#include "tools/trancor/FfmpegArguments.h"
#include "tools/trancor/SourceFacts.h"
#include "tools/trancor/SourceFactsWord.h"

namespace mivora::trancor {
namespace {

const std::string kTrancor = std::string(MIVORA_PROGRAM_DIR) + "/trancor";

std::string ProbedWord(const std::string& path) {
  std::string text, word;
  EXPECT_EQ(DescribeSourceInProcess(path, {}, &text, nullptr, &word), DescribeOutcome::kDescribed) << path;
  return word;
}

// What the engine reads of the source itself, as a word (HDR metadata included).
std::string ReadWord(const std::string& path) {
  ProbedSource read;
  read.facts = ReadSourceFacts(path, nullptr, &read.hdr);
  read.file = StampOf(path).value_or(SourceFileStamp{});
  return WriteSourceFactsWord(read);
}

struct Source {
  const char* name;
  void (*make)(const std::string&);
  Transfer transfer;
  int rotation;
  double pixelAspect;  // of the coded pixels
  bool mastering;
};

const Source kSources[] = {
    {"rotated phone.mp4", [](const std::string& p) { test::GenerateShapedClip(p, {.degrees = 90}); },
     Transfer::kUnknown, 90, 1.0, false},
    {"anamorphic sd.mp4",
     [](const std::string& p) { test::GenerateShapedClip(p, {.width = 720, .height = 576, .sarNum = 64, .sarDen = 45}); },
     Transfer::kUnknown, 0, 64.0 / 45, false},
    {"pq mastered.mkv", [](const std::string& p) { test::GenerateMasteredHdrClip(p, test::HdrTransfer::kPq); },
     Transfer::kPq, 0, 1.0, true},
    {"hlg mastered.mkv", [](const std::string& p) { test::GenerateMasteredHdrClip(p, test::HdrTransfer::kHlg); },
     Transfer::kHlg, 0, 1.0, true},
    {"hlg unnamed.mkv", [](const std::string& p) { test::GenerateHdrClip(p, test::HdrTransfer::kHlg, 1, false); },
     Transfer::kHlg, 0, 1.0, false},
    {"untagged.avi", [](const std::string& p) { test::GenerateClip(p, {.seconds = 1, .width = 160, .height = 120}); },
     Transfer::kUnknown, 0, 1.0, false},
};

// Each source made once, by name.
const std::string& PathOf(const Source& source) {
  static std::map<std::string, std::string> made;
  static const std::string folder = test::MakeTempDir("facts");
  auto [it, fresh] = made.emplace(source.name, folder + "/" + source.name);
  if (fresh) source.make(it->second);
  return it->second;
}

TEST(GivenSourceFacts, TheWordKeepsWhatTheEngineWouldRead) {
  for (const Source& source : kSources) {
    SCOPED_TRACE(source.name);
    const std::string& path = PathOf(source);
    const std::string word = ProbedWord(path);
    std::optional<ProbedSource> given = ReadSourceFactsWord(word);
    ASSERT_TRUE(given) << word;
    EXPECT_EQ(WriteSourceFactsWord(*given), word);
    EXPECT_EQ(word, ReadWord(path)) << "the probe and the engine read the source differently";
    const SourceFacts& facts = given->facts;
    EXPECT_TRUE(facts.readable);
    EXPECT_EQ(facts.transfer, source.transfer);
    EXPECT_EQ(facts.rotation, source.rotation);
    const bool aspectKnown = facts.sampleAspectNum > 0 && facts.sampleAspectDen > 0;  // else square
    EXPECT_DOUBLE_EQ(aspectKnown ? static_cast<double>(facts.sampleAspectNum) / facts.sampleAspectDen : 1.0,
                     source.pixelAspect);
    EXPECT_EQ(given->hdr.hasMastering, source.mastering);
    EXPECT_EQ(given->hdr.hasContentLight, source.mastering);
    if (source.mastering) {
      EXPECT_DOUBLE_EQ(given->hdr.maxLuminance, test::kMastering.maxLuminance);
      EXPECT_EQ(given->hdr.maxContentLight, static_cast<unsigned>(test::kMastering.maxContentLight));
    }
  }
}

TEST(GivenSourceFacts, GiveTheFfmpegCommandThatReadingTheSourceGives) {
  const std::vector<std::vector<std::string>> profiles = {
      {"-vcodec", "libx264", "-s", "640x360", "-acodec", "aac"},                 // fitted into a box, SDR
      {"-vcodec", "libx265", "-pix_fmt", "yuv420p10le", "-acodec", "aac"},       // keeps HDR
      {"-target", "pal-dvd", "-fixedframe"},                                     // a standard's frame
  };
  for (const Source& source : kSources) {
    const std::string& path = PathOf(source);
    const std::string word = ProbedWord(path);
    for (const std::vector<std::string>& profile : profiles) {
      SCOPED_TRACE(std::string(source.name) + " with " + profile[1]);
      std::vector<std::string> args = {"-i", path, "-sourcefacts", word};
      args.insert(args.end(), profile.begin(), profile.end());
      args.push_back("/out/clip.mkv");
      const ParsedCommand parsed = ParseEngineCommand(args);
      ASSERT_TRUE(parsed.ok) << parsed.error;
      ASSERT_TRUE(parsed.command.sourceFacts);
      const ProbedSource& given = *parsed.command.sourceFacts;
      HdrMetadata hdr;
      const SourceFacts read = ReadSourceFacts(path, nullptr, &hdr);
      const FfmpegCommand fromWord = BuildConversionCommand(parsed.command, path, given.facts, given.hdr);
      EXPECT_EQ(fromWord.argv, BuildConversionCommand(parsed.command, path, read, hdr).argv);
      // The mastering display reaches an output that keeps HDR.
      const bool written = std::any_of(fromWord.argv.begin(), fromWord.argv.end(), [](const std::string& a) {
                             return a.find("master-display=") != std::string::npos;
                           });
      EXPECT_EQ(written, source.mastering && KeepsHdr(parsed.command));
    }
  }
}

TEST(GivenSourceFacts, AreFollowedUntilTheFileChanges) {
  const std::string folder = test::MakeTempDir("facts");
  const std::string clip = folder + "/two audio.mkv";
  test::GenerateTwoAudioTrackClip(clip);  // stream 1 silent, stream 2 a loud default
  std::optional<ProbedSource> facts = ReadSourceFactsWord(ProbedWord(clip));
  ASSERT_TRUE(facts);
  ASSERT_EQ(facts->facts.tracks.audio.stream, 2);
  // Facts that name the silent track: a silent output shows that the engine
  // took them instead of reading the source (which chooses the loud one).
  facts->facts.tracks.audio = {1, 0};
  const std::string word = WriteSourceFactsWord(*facts);
  auto convert = [&](const std::vector<std::string>& given) {
    const std::string out = folder + "/out.mp4";
    std::vector<std::string> argv = {kTrancor, "-i", clip};
    argv.insert(argv.end(), given.begin(), given.end());
    argv.insert(argv.end(), {"-vcodec", "mpeg4", "-acodec", "aac", out});
    EXPECT_EQ(test::RunCommand(argv).exitCode, 0);
    return test::MeanVolumeDb(out);
  };
  EXPECT_LT(convert({"-sourcefacts", word}), -80) << "the given facts were not followed";
  EXPECT_GT(convert({}), -40) << "without facts the source's own default track is converted";
  // The file changes after the probe: its facts no longer hold.
  const struct timespec later[2] = {{std::time(nullptr) + 10, 0}, {std::time(nullptr) + 10, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, clip.c_str(), later, 0), 0);
  EXPECT_GT(convert({"-sourcefacts", word}), -40) << "facts of a changed file were followed";
}

TEST(GivenSourceFacts, OnlyAWholeFactsWordIsAccepted) {
  ProbedSource source;
  source.facts.tracks = {{0, 0}, {2, 1}};
  source.facts.transfer = Transfer::kPq;
  source.facts.bitsPerSample = 10;
  source.facts.matrixUnknown = true;
  source.facts.screenColour = colour::ScreenColour::kTvBt2020;
  source.facts.width = 3840, source.facts.height = 2160;
  source.facts.sampleAspectNum = 1, source.facts.sampleAspectDen = 1;
  source.facts.rotation = 270;
  source.file = {2049, 77, 123456, 1700000000123456789};
  source.hdr.hasContentLight = true;
  source.hdr.maxContentLight = 1000, source.hdr.maxFrameAverageLight = 400;
  const std::string word = WriteSourceFactsWord(source);
  EXPECT_EQ(word,
            "v=0:0,a=2:1,t=pq,bits=10,nopri=0,nomat=1,yuv=3,frame=3840x2160,sar=1:1,rot=270,"
            "file=2049:77:123456:1700000000123456789,cll=1000:400");
  const std::string fixed = word.substr(0, word.find(",cll"));
  const std::string md = ",md=0.17:0.797:0.131:0.046:0.708:0.292:0.3127:0.329:1000:0.05";
  std::string unknownColour = fixed;
  unknownColour.replace(unknownColour.find(",yuv=3"), 6, ",yuv=none");
  const std::vector<std::string> goodWords = {word, fixed, fixed + md, fixed + md + ",cll=1:2", unknownColour};
  for (const std::string& good : goodWords) {
    std::optional<ProbedSource> read = ReadSourceFactsWord(good);
    ASSERT_TRUE(read) << good;
    EXPECT_EQ(WriteSourceFactsWord(*read), good);
  }
  const std::vector<std::string> badWords = {
      "", word + ",", word.substr(1), "v=0:0", word + " ", fixed + ",cll=1:2" + md,  // out of order
      "v=0:-1" + word.substr(5), "v=x:0" + word.substr(5), fixed + ",cll=1:2,cll=1:2", fixed + ",md=1:2",
      "v=0:0,a=2:1,t=dolby" + word.substr(word.find(",bits")), word.substr(0, word.find(",rot")) + ",rot=45" +
          word.substr(word.find(",file")),
      word.substr(0, word.find(",yuv")) + ",yuv=4" + word.substr(word.find(",frame")),
      fixed + ",md=nan:0.797:0.131:0.046:0.708:0.292:0.3127:0.329:1000:0.05", fixed + ",extra=1"};
  for (const std::string& bad : badWords) EXPECT_FALSE(ReadSourceFactsWord(bad)) << bad;
  EXPECT_FALSE(ParseEngineCommand({"-i", "a.mp4", "-sourcefacts", "v=0:0", "b.mp4"}).ok);
}

}  // namespace
}  // namespace mivora::trancor
