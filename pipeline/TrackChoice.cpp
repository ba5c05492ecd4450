#include "pipeline/TrackChoice.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace mivora {
namespace {

// The first track of `kind` that `eligible` accepts, preferring one marked
// default.
template <typename Eligible>
ChosenTrack FirstPreferringDefault(const std::vector<TrackFacts>& tracks, TrackKind kind, Eligible eligible) {
  ChosenTrack first, firstDefault;
  int ordinal = -1;
  for (size_t i = 0; i < tracks.size(); ++i) {
    if (tracks[i].kind != kind) continue;
    ++ordinal;
    if (!eligible(tracks[i])) continue;
    const ChosenTrack here{static_cast<int>(i), ordinal};
    if (!first.Found()) first = here;
    if (tracks[i].isDefault && !firstDefault.Found()) firstDefault = here;
  }
  return firstDefault.Found() ? firstDefault : first;
}

}  // namespace

TrackChoice ChooseTracks(const std::vector<TrackFacts>& tracks) {
  TrackChoice choice;
  choice.video = FirstPreferringDefault(tracks, TrackKind::kVideo,
                                        [](const TrackFacts& t) { return !t.coverPicture && !t.singleFrame; });
  if (!choice.video.Found())
    choice.video = FirstPreferringDefault(tracks, TrackKind::kVideo, [](const TrackFacts&) { return true; });
  choice.audio = FirstPreferringDefault(tracks, TrackKind::kAudio, [](const TrackFacts&) { return true; });
  return choice;
}

std::vector<TrackFacts> TracksOf(const AVFormatContext& context) {
  std::vector<TrackFacts> tracks;
  tracks.reserve(context.nb_streams);
  for (unsigned i = 0; i < context.nb_streams; ++i) {
    const AVStream& stream = *context.streams[i];
    TrackFacts track;
    switch (stream.codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO: track.kind = TrackKind::kVideo; break;
      case AVMEDIA_TYPE_AUDIO: track.kind = TrackKind::kAudio; break;
      default: break;
    }
    track.isDefault = (stream.disposition & AV_DISPOSITION_DEFAULT) != 0;
    track.coverPicture = (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
    track.singleFrame = stream.nb_frames == 1 || (stream.disposition & AV_DISPOSITION_STILL_IMAGE) != 0;
    tracks.push_back(track);
  }
  return tracks;
}

}  // namespace mivora
