#pragma once
// The facts probed from a source file. Every field is text exactly as the
// engine reported it (labels removed), empty when the probe did not find it.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "profiles/OutputFrame.h"

namespace mivora {

// The video group: the input's duration and overall bit rate, and the facts
// of the video track the conversion uses (TrackChoice.h).
struct MediaVideoFacts {
  std::string duration;       // hh:mm:ss
  // The duration with its fraction of a second as printed ("00:00:10.50");
  // empty when none was printed. Not one of the ten listed fields.
  std::string exactDuration;
  std::string videoCodec;     // codec word(s), may end in a blank ("h264 ")
  std::string bitrate;        // overall kb/s, digits
  std::string width;          // pixels, digits
  std::string height;         // pixels, digits
  std::string displayAspect;  // "4:3"
  std::string frameRate;      // "29.97"; empty for a whole-number rate
  // The display matrix's turn from the stream's side data, counter-clockwise
  // degrees as the engine prints them ("-90.00" for a portrait phone clip);
  // empty when the stream has none. Not one of the ten listed fields.
  std::string rotation;
};

// The audio group: the facts of the audio track the conversion uses.
struct MediaAudioFacts {
  std::string audioCodec;    // "aac"
  std::string sampleRate;    // Hz, digits
  std::string audioBitrate;  // kb/s, digits
};

struct MediaInfo {
  MediaVideoFacts video;
  MediaAudioFacts audio;
  // What the engine is handed about the source so that it need not read it
  // again (tools/trancor/SourceFactsWord.h); empty when the probe could not
  // give it (the engine then reads the source itself).
  std::string engineFacts;
};

// How the picture is turned for display, clockwise: 0, 90, 180 or 270 (the
// engine turns its output the same way).
int ClockwiseRotation(const MediaVideoFacts& video);

// The size of the frame as shown, in pixels: the probed width and height,
// exchanged for a quarter turn; 0 x 0 when the probe found no size.
struct DisplayedSize {
  int width = 0;
  int height = 0;
};
DisplayedSize DisplayedFrameSize(const MediaVideoFacts& video);
// The frame as shown with the shape of its pixels (from the probed display
// aspect; square when none was given), turned like DisplayedFrameSize.
PictureShape DisplayedPictureShape(const MediaVideoFacts& video);

// Seconds of the exact duration (else of the whole-second one); 0 when unknown.
double ExactDurationSeconds(const MediaVideoFacts& video);

// The ten fields as (name, value) pairs in their fixed order: duration,
// videoCodec, bitrate, width, height, displayAspect, frameRate, audioCodec,
// sampleRate, audioBitrate.
std::vector<std::pair<std::string_view, std::string_view>> MediaInfoFields(const MediaInfo& info);

}  // namespace mivora
