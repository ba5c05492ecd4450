#pragma once
// The player's loop: decodes in real time, hands every video frame over
// through the shared block with a frame announcement (waiting for the
// window's frame answer before the next one is written), plays the sound,
// keeps the status text and takes the library's requests from the block.
//
// Requests: seek (percent of the duration; the player goes to the key frame
// before it and decodes on to the exact position), pause toggle (the clock
// and the sound stop; a seek while paused shows the new position's frame),
// full screen (taken and left to the window, which paints the frames
// itself). The window size fields are not used: frames go over at the
// video's own size (scaled down only when the block cannot hold them),
// turned by the track's display rotation and, for PQ or HLG sources,
// tone-mapped as the engine's output will be (DisplayFilter); the window
// scales them. The status text gives the size as shown (turned).

#include <cstdint>
#include <cstdio>

#include "tools/playrun/PlayerCommand.h"

namespace mivora {
class FrameAnnouncer;
}

namespace mivora::playrun {

class MediaDecoder;
class AudioOutput;

struct PlayerCounts {
  int64_t decoded = 0;    // video frames decoded
  int64_t announced = 0;  // video frames written and announced
  int64_t answered = 0;   // announcements answered in time
  int64_t dropped = 0;    // late frames dropped (-framedrop 1)
};

class Player {
 public:
  // `block` is the mapped shared block; `audio` may be null (silent);
  // `trace`, when not null, gets one line per announcement
  // ("announce <number> <CLOCK_MONOTONIC ns>") and a closing line of counts.
  Player(const PlayerCommand& command, uint8_t* block, FrameAnnouncer& announcer,
         MediaDecoder& decoder, AudioOutput* audio, std::FILE* trace);
  // Plays to the end of the file; returns the exit code.
  int Run();
  const PlayerCounts& Counts() const { return counts_; }

 private:
  class Impl;
  const PlayerCommand& command_;
  uint8_t* block_;
  FrameAnnouncer& announcer_;
  MediaDecoder& decoder_;
  AudioOutput* audio_;
  std::FILE* trace_;
  PlayerCounts counts_;
};

}  // namespace mivora::playrun
