#include <gtest/gtest.h>

#include "pipeline/OutputLength.h"
#include "pipeline/TrackChoice.h"

namespace mivora {
namespace {

constexpr TrackFacts kVideo{TrackKind::kVideo, false, false, false};
constexpr TrackFacts kDefaultVideo{TrackKind::kVideo, true, false, false};
constexpr TrackFacts kDefaultStill{TrackKind::kVideo, true, false, true};
constexpr TrackFacts kCover{TrackKind::kVideo, true, true, false};
constexpr TrackFacts kAudio{TrackKind::kAudio, false, false, false};
constexpr TrackFacts kDefaultAudio{TrackKind::kAudio, true, false, false};
constexpr TrackFacts kData{TrackKind::kOther, true, false, false};

TEST(TrackChoice, PicksTheMovingDefaultVideoAndTheDefaultAudio) {
  const struct {
    const char* name;
    std::vector<TrackFacts> tracks;
    ChosenTrack video, audio;
  } rows[] = {
      {"motion photo: still listed first, both default", {kDefaultStill, kDefaultVideo, kAudio}, {1, 1}, {2, 0}},
      {"motion photo: video listed first", {kDefaultVideo, kDefaultStill}, {0, 0}, {}},
      {"no default: the first moving one", {kCover, kDefaultStill, kVideo, kVideo}, {2, 2}, {}},
      {"default among moving ones", {kVideo, kDefaultVideo}, {1, 1}, {}},
      {"only a cover: it is the picture", {kAudio, kCover}, {1, 0}, {0, 0}},
      {"only stills: the first", {kDefaultStill, kDefaultStill}, {0, 0}, {}},
      {"default audio after another", {kData, kVideo, kAudio, kDefaultAudio}, {1, 0}, {3, 1}},
      {"audio only", {kAudio, kAudio}, {}, {0, 0}},
      {"nothing", {}, {}, {}},
  };
  for (const auto& row : rows) {
    TrackChoice choice = ChooseTracks(row.tracks);
    EXPECT_EQ(choice.video.stream, row.video.stream) << row.name;
    EXPECT_EQ(choice.video.ordinal, row.video.ordinal) << row.name;
    EXPECT_EQ(choice.audio.stream, row.audio.stream) << row.name;
    EXPECT_EQ(choice.audio.ordinal, row.audio.ordinal) << row.name;
  }
}

TEST(OutputLength, FarShorterThanExpectedIsAFailure) {
  const struct {
    int expected;
    double output;
    bool fails;
  } rows[] = {
      {2, 2.0, false}, {2, 1.8, false}, {2, 1.79, true}, {2, 0.47, true}, {10, 9.0, false},
      {0, 0.1, false},   // the source's length is unknown
      {-3, 0.1, false},  // a trim without an end
      {10, -1, false},   // the output's length is unknown
      {10, 0, true},
  };
  for (const auto& row : rows)
    EXPECT_EQ(!ShortOutputReason(row.expected, row.output).empty(), row.fails) << row.expected << " " << row.output;
  EXPECT_EQ(ShortOutputReason(2, 0.47).substr(0, 53), "The converted file holds only 0.5 s of the 2.0 s expe");
}

}  // namespace
}  // namespace mivora
