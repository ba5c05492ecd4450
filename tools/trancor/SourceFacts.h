#pragma once
// What the adapter needs to know about a source before it converts it, read
// with libavformat: the tracks to convert and the colour transfer of the
// video track among them.

#include <string>

#include "pipeline/TrackChoice.h"

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

  bool HighDynamicRange() const { return transfer == Transfer::kPq || transfer == Transfer::kHlg; }
};

// `path` is a plain file path. An unreadable file gives facts with nothing
// known; ffmpeg then reports the real error when it converts. Only regular
// files are read (a FIFO or a device could block for ever); `stopped`, when
// given, is asked while reading and ends it early when it answers true.
SourceFacts ReadSourceFacts(const std::string& path, bool (*stopped)() = nullptr);

}  // namespace mivora::trancor
