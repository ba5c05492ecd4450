#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "windowmodels/PlayerTransport.h"

namespace mivora {
namespace {

// A player that only records what it was asked; its status text and end are
// set by the test.
class ScriptedPlayer : public TransportPlayer {
 public:
  bool IsPlaying() const override { return playing; }
  void Play(const std::string& path) override {
    played.push_back(path);
    playing = true;
  }
  void Pause() override { ++pauses; }
  void Stop() override {
    ++stops;
    playing = false;
  }
  void Seek(int percent) override { seeks.push_back(percent); }
  std::string Status() const override { return status; }

  bool playing = false;
  std::vector<std::string> played;
  int pauses = 0, stops = 0;
  std::vector<int> seeks;
  std::string status;
};

TEST(PlayerStatusTest, PiecesAndSliderPercent) {
  struct Case {
    const char* text;
    const char* clock;
    int percent;  // -1: slider stays
  } cases[] = {
      {"0:01:05/0:10:00 (65) [600] <320x240>", "0:01:05", 10},
      {"0:00:00/0:00:02 (0) [2]", "0:00:00", 0},
      {"0:00:02/0:00:02 (2) [2]", "0:00:02", 100},
      {"no slash (5) [0]", "", -1},
      {"/0:00:02 (1) [2]", "", 50},
      {"0:00:01/ missing brackets", "0:00:01", -1},
      {"", "", -1},
      {"1:00:00/x (12.5) [50]", "1:00:00", 25},
  };
  for (const Case& c : cases) {
    PlayerStatus status = ParsePlayerStatus(c.text);
    EXPECT_EQ(status.clockText, c.clock) << c.text;
    EXPECT_EQ(SliderPercent(status), c.percent) << c.text;
  }
}

TEST(PlayerTransportTest, PlayPauseResumeStopAndEnd) {
  ScriptedPlayer player;
  PlayerTransport transport(player, "/clips/a.mp4", /*resetSliderOnStop=*/true);
  EXPECT_FALSE(transport.View().sliderEnabled);

  transport.OnPlayPause();  // play
  ASSERT_EQ(player.played, std::vector<std::string>{"/clips/a.mp4"});
  EXPECT_TRUE(transport.View().buttonShowsPause);
  EXPECT_TRUE(transport.View().timerRunning);
  EXPECT_TRUE(transport.View().sliderEnabled);

  transport.OnPlayPause();  // pause
  EXPECT_EQ(player.pauses, 1);
  EXPECT_FALSE(transport.View().buttonShowsPause);
  EXPECT_FALSE(transport.View().timerRunning);
  EXPECT_TRUE(transport.Paused());

  transport.OnPlayPause();  // resume
  EXPECT_EQ(player.pauses, 2);
  EXPECT_TRUE(transport.View().buttonShowsPause);
  EXPECT_TRUE(transport.View().timerRunning);

  player.status = "0:01:05/0:10:00 (65) [600]";
  transport.OnTimer();
  EXPECT_EQ(transport.View().timeLabel, "0:01:05");
  EXPECT_EQ(transport.View().slider, 10);

  transport.OnStop();
  EXPECT_EQ(player.stops, 1);
  EXPECT_EQ(transport.View().timeLabel, "0:00:00");
  EXPECT_EQ(transport.View().slider, 0);
  EXPECT_FALSE(transport.View().buttonShowsPause);
  EXPECT_FALSE(transport.View().timerRunning);

  transport.OnPlayPause();  // plays again from the start
  EXPECT_EQ(player.played.size(), 2u);
  player.playing = false;  // the player reached the end by itself
  player.status = "0:00:02/0:00:02 (2) [2]";
  transport.OnTimer();
  EXPECT_EQ(transport.View().timeLabel, "0:00:00");
  EXPECT_EQ(transport.View().slider, 0);
  EXPECT_FALSE(transport.View().timerRunning);
  EXPECT_FALSE(transport.View().buttonShowsPause);
}

TEST(PlayerTransportTest, EditorKeepsSliderOnStop) {
  ScriptedPlayer player;
  PlayerTransport transport(player, "/clips/a.mp4", /*resetSliderOnStop=*/false);
  transport.OnPlayPause();
  player.status = "0:00:01/0:00:02 (1) [2]";
  transport.OnTimer();
  transport.OnStop();
  EXPECT_EQ(transport.View().slider, 50);
  EXPECT_EQ(transport.View().timeLabel, "0:00:00");
}

TEST(PlayerTransportTest, SeeksOnlyWhileDraggingAPlayingPlayer) {
  ScriptedPlayer player;
  PlayerTransport transport(player, "/clips/a.mp4", true);
  transport.OnSliderPressed();
  transport.OnSliderMoved(40);  // stopped: no seek
  transport.OnSliderReleased();
  EXPECT_TRUE(player.seeks.empty());

  transport.OnPlayPause();
  transport.OnSliderMoved(30);  // not dragging (a click or the timer moving it)
  transport.OnSliderPressed();
  transport.OnSliderMoved(55);
  transport.OnSliderMoved(60);
  player.status = "0:00:01/0:00:02 (1) [2]";
  transport.OnTimer();  // the timer leaves a dragged thumb alone
  EXPECT_EQ(transport.View().slider, 0);
  transport.OnSliderReleased();
  EXPECT_EQ(player.seeks, (std::vector<int>{55, 60}));
}

TEST(PlayerTransportTest, EmptyPathStartsNothingAndTheNextTickShowsStopped) {
  ScriptedPlayer player;
  PlayerTransport transport(player, "", true);
  transport.OnPlayPause();
  EXPECT_TRUE(player.played.empty());
  EXPECT_TRUE(transport.View().buttonShowsPause);
  transport.OnTimer();
  EXPECT_FALSE(transport.View().buttonShowsPause);
  EXPECT_FALSE(transport.View().timerRunning);
  EXPECT_EQ(transport.View().timeLabel, "0:00:00");
}

}  // namespace
}  // namespace mivora
