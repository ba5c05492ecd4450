#include "tools/trancor/SourceFacts.h"

#include <sys/stat.h>

#include <cmath>

#include "pipeline/AvLibraries.h"
#include "tools/colour/ColourRule.h"

namespace mivora::trancor {

namespace {

int AskStopped(void* opaque) {
  auto stopped = reinterpret_cast<bool (*)()>(opaque);
  return stopped && stopped() ? 1 : 0;
}

// The display matrix's turn, clockwise, to the nearest quarter.
int ClockwiseRotation(const AvLibrary& av, const AVStream& stream) {
  const uint8_t* matrix = av.streamSideData(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
  if (!matrix) return 0;
  const double counterClockwise = av.displayRotation(reinterpret_cast<const int32_t*>(matrix));
  if (std::isnan(counterClockwise)) return 0;
  const long quarters = std::lround(-counterClockwise / 90.0) % 4;
  return static_cast<int>((quarters + 4) % 4) * 90;
}

Transfer TransferOf(int code) {
  if (colour::IsHdrTransfer(code)) return code == AVCOL_TRC_SMPTE2084 ? Transfer::kPq : Transfer::kHlg;
  return code == AVCOL_TRC_UNSPECIFIED ? Transfer::kUnknown : Transfer::kStandard;
}

}  // namespace

std::optional<SourceFileStamp> StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return SourceFileStamp{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                         static_cast<int64_t>(info.st_size),
                         static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

PictureShape DisplayedPicture(const SourceFacts& facts) {
  PictureShape shape{facts.width, facts.height, facts.sampleAspectNum, facts.sampleAspectDen};
  if (shape.sampleAspectNum <= 0 || shape.sampleAspectDen <= 0) shape.sampleAspectNum = shape.sampleAspectDen = 1;
  if (facts.rotation == 90 || facts.rotation == 270) {
    std::swap(shape.width, shape.height);
    std::swap(shape.sampleAspectNum, shape.sampleAspectDen);
  }
  return shape;
}

SourceFacts FactsOfOpenedSource(const AVFormatContext& format) {
  const AvLibrary& av = AvLibraries();
  SourceFacts facts;
  facts.tracks = ChooseTracks(TracksOf(format));
  facts.tracksKnown = true;
  const int index = facts.tracks.video.stream;
  if (index < 0) return facts;
  AVStream& stream = *format.streams[index];
  const AVCodecParameters& video = *stream.codecpar;
  facts.readable = true;
  facts.transfer = TransferOf(video.color_trc);
  facts.primariesUnknown = colour::NamesNothing(video.color_primaries);
  facts.matrixUnknown = colour::NamesNothing(video.color_space);
  facts.screenColour = colour::ScreenColourOf(video.color_range, video.color_space, video.height);
  facts.width = video.width;
  facts.height = video.height;
  // As ffmpeg takes it: the container's, else the stream's.
  const AVRational aspect = av.guessSampleAspect(const_cast<AVFormatContext*>(&format), &stream, nullptr);
  facts.sampleAspectNum = aspect.num;
  facts.sampleAspectDen = aspect.den;
  facts.rotation = ClockwiseRotation(av, stream);
  const AVPixFmtDescriptor* pixels = av.describePixelFormat(static_cast<AVPixelFormat>(video.format));
  if (pixels) facts.bitsPerSample = pixels->comp[0].depth;
  return facts;
}

SourceFacts ReadSourceFacts(const std::string& path, bool (*stopped)(), HdrMetadata* hdr) {
  SourceFacts facts;
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return facts;
  // Loaded only now, when the program did not hand the facts over.
  const AvLibrary& av = AvLibraries();
  if (!av.loaded) return facts;
  AVFormatContext* format = av.allocContext();
  if (!format) return facts;
  format->interrupt_callback.callback = &AskStopped;
  format->interrupt_callback.opaque = reinterpret_cast<void*>(stopped);
  // "file:" keeps a name with a colon from being read as a protocol.
  if (av.openInput(&format, ("file:" + path).c_str(), nullptr, nullptr) != 0) return facts;
  if (av.findStreamInfo(format, nullptr) >= 0) {
    facts = FactsOfOpenedSource(*format);
    if (hdr && facts.HighDynamicRange()) *hdr = HdrMetadataOf(format, facts.tracks.video.stream);
  }
  av.closeInput(&format);
  return facts;
}

}  // namespace mivora::trancor
