#pragma once
// What the adapter needs to know about a source before it converts it: the
// tracks to convert, the colour transfer of the video track among them and
// the shape of its picture. The program's probe reads them anyway and hands
// them over (SourceFactsWord.h, "-sourcefacts"); without them the adapter
// reads the source itself, with the same rule (FactsOfOpenedSource), through
// FFmpeg's libraries loaded only then (pipeline/AvLibraries.h).

#include <cstdint>
#include <optional>
#include <string>

#include "pipeline/TrackChoice.h"
#include "profiles/OutputFrame.h"
#include "tools/colour/ColourRule.h"
#include "tools/trancor/HdrMetadata.h"

struct AVFormatContext;

namespace mivora::trancor {

enum class Transfer { kUnknown, kStandard, kPq, kHlg };

struct SourceFacts {
  bool readable = false;  // libavformat opened the file and found a video stream
  Transfer transfer = Transfer::kUnknown;
  int bitsPerSample = 0;  // of the video stream's pixel format; 0 when unknown
  // The file does not say its primaries or its matrix (an HDR source is then
  // taken as BT.2020, the only primaries PQ and HLG are used with).
  bool primariesUnknown = false, matrixUnknown = false;
  // How a screen turns the video track's codes into colours (its range and
  // matrix, or the matrix its size implies when it names none); none when
  // not known.
  std::optional<colour::ScreenColour> screenColour;
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

// The file facts were read from, as it was then: facts of a file that has
// changed since (another file renamed over it, rewritten, touched) do not hold.
struct SourceFileStamp {
  uint64_t device = 0, inode = 0;
  int64_t size = -1, modifiedNs = -1;
  bool operator==(const SourceFileStamp&) const = default;
};

// The stamp of `path` now; nullopt when it cannot be read.
std::optional<SourceFileStamp> StampOf(const std::string& path);

// The picture as ffmpeg hands it to the filters: turned by the display
// matrix (a quarter turn exchanges the sides and inverts the pixels' shape).
// No area when the size is unknown.
PictureShape DisplayedPicture(const SourceFacts& facts);

// The facts of a source opened through AvLibraries() whose streams' facts
// were found (avformat_find_stream_info succeeded).
SourceFacts FactsOfOpenedSource(const AVFormatContext& format);

// `path` is a plain file path. An unreadable file gives facts with nothing
// known; ffmpeg then reports the real error when it converts. Only regular
// files are read (a FIFO or a device could block for ever); `stopped`, when
// given, is asked while reading and ends it early when it answers true.
// `hdr`, when given, receives an HDR source's metadata (HdrMetadataOf).
SourceFacts ReadSourceFacts(const std::string& path, bool (*stopped)() = nullptr, HdrMetadata* hdr = nullptr);

}  // namespace mivora::trancor
