#pragma once
// What the adapter needs to know about a source before it converts it, read
// with libavformat: the tracks to convert and the colour transfer of the
// video track among them.

#include <string>

#include "pipeline/TrackChoice.h"
#include "profiles/OutputFrame.h"

namespace mivora::trancor {

enum class Transfer { kUnknown, kStandard, kPq, kHlg };

struct SourceFacts {
  bool readable = false;  // libavformat opened the file and found a video stream
  Transfer transfer = Transfer::kUnknown;
  int bitsPerSample = 0;  // of the video stream's pixel format; 0 when unknown
  // The file does not say its primaries or its matrix (an HDR source is then
  // taken as BT.2020, the only primaries PQ and HLG are used with).
  bool primariesUnknown = false, matrixUnknown = false;
  // The video and audio tracks to convert, when the file's tracks could be read.
  bool tracksKnown = false;
  TrackChoice tracks;
  // The coded frame, the shape of its pixels (0:0 when unknown, taken as
  // square) and the display matrix's clockwise turn (0, 90, 180 or 270).
  int width = 0, height = 0;
  int sampleAspectNum = 0, sampleAspectDen = 0;
  int rotation = 0;

  bool HighDynamicRange() const { return transfer == Transfer::kPq || transfer == Transfer::kHlg; }
};

// The picture as ffmpeg hands it to the filters: turned by the display
// matrix (a quarter turn exchanges the sides and inverts the pixels' shape).
// No area when the size is unknown.
PictureShape DisplayedPicture(const SourceFacts& facts);

// `path` is a plain file path. An unreadable file gives facts with nothing
// known; ffmpeg then reports the real error when it converts. Only regular
// files are read (a FIFO or a device could block for ever); `stopped`, when
// given, is asked while reading and ends it early when it answers true.
SourceFacts ReadSourceFacts(const std::string& path, bool (*stopped)() = nullptr);

}  // namespace mivora::trancor
