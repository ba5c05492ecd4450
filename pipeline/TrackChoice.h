#pragma once
// Which tracks of a source are converted, probed, played and edited: one rule
// for the probe, the player and the engine adapter, so that the facts shown,
// the picture in the editor and the file written all come from the same
// tracks.
//
// Video: among the video tracks that are neither a cover picture nor a single
// still frame (a motion photo marks its still default beside its video), the
// first one marked default, else the first; when there is no such track, the
// first video track of any kind (a still image or a song's cover is then all
// the picture there is). Audio: the track marked default, else the first.

#include <vector>

struct AVFormatContext;

namespace mivora {

enum class TrackKind { kVideo, kAudio, kOther };

// What the rule needs to know of one track, in the file's order.
struct TrackFacts {
  TrackKind kind = TrackKind::kOther;
  bool isDefault = false;
  bool coverPicture = false;  // a picture attached to the file, not a moving track
  bool singleFrame = false;   // a still: one frame, or marked as a still image
};

// One chosen track: its index among all tracks (the stream number, "#0:N")
// and among the tracks of its kind (ffmpeg's "0:v:N", "0:a:N"); -1 for none.
struct ChosenTrack {
  int stream = -1;
  int ordinal = -1;
  bool Found() const { return stream >= 0; }
};

struct TrackChoice {
  ChosenTrack video;
  ChosenTrack audio;
};

TrackChoice ChooseTracks(const std::vector<TrackFacts>& tracks);

// The facts of an opened file's tracks, from libavformat's stream records
// (read only; no library function is called).
std::vector<TrackFacts> TracksOf(const AVFormatContext& context);

}  // namespace mivora
