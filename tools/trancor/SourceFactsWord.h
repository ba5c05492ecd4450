#pragma once
// The source's facts as the program hands them to the engine adapter on its
// command line ("-sourcefacts WORD"): everything the adapter would otherwise
// open the source for (its tracks, colour, picture shape and an HDR source's
// mastering metadata), and the file they were read from. One word without
// blanks, of comma-separated KEY=VALUE fields in a fixed order:
//
//   v=0:0,a=1:0,t=pq,bits=10,nopri=0,nomat=0,yuv=3,frame=3840x2160,sar=1:1,rot=90,
//   file=DEV:INODE:SIZE:MTIME_NS[,md=GX:GY:BX:BY:RX:RY:WX:WY:MAXL:MINL][,cll=MAXCLL:MAXFALL]
//
// t is unknown, sdr, pq or hlg; yuv is how a screen shows the codes
// (colour::ScreenColour: 0 full range, 1 BT.601, 2 BT.709, 3 BT.2020; none
// when not known); md and cll are there only when the source
// carries them. Numbers with a fraction are written exactly as they read back.

#include <optional>
#include <string>
#include <string_view>

#include "tools/trancor/HdrMetadata.h"
#include "tools/trancor/SourceFacts.h"

namespace mivora::trancor {

struct ProbedSource {
  SourceFacts facts;  // tracksKnown is always true
  HdrMetadata hdr;
  SourceFileStamp file;
};

std::string WriteSourceFactsWord(const ProbedSource& source);
// nullopt for a text that is not exactly such a word.
std::optional<ProbedSource> ReadSourceFactsWord(std::string_view word);

// The word for a source opened through pipeline/AvLibraries.h whose
// streams' facts were found; `file` its stamp, taken before it was opened.
// An HDR source's first frame may be decoded for its metadata.
std::string SourceFactsWordOf(AVFormatContext* format, const SourceFileStamp& file);

}  // namespace mivora::trancor
