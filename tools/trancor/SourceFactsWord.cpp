#include "tools/trancor/SourceFactsWord.h"

#include <charconv>
#include <limits>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace mivora::trancor {
namespace {

constexpr std::string_view kTransferNames[] = {"unknown", "sdr", "pq", "hlg"};  // in Transfer's order

template <typename Number>
std::string Text(Number value) {
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, value);  // shortest exact form for a fraction
  return std::string(text, result.ptr);
}

template <typename... Numbers>
std::string Joined(char separator, Numbers... values) {
  std::string text;
  ((text += (text.empty() ? "" : std::string(1, separator)) + Text(values)), ...);
  return text;
}

std::string TrackText(const ChosenTrack& track) { return Joined(':', track.stream, track.ordinal); }

// The fields of a word in order; empty when a field lacks its '='.
std::vector<std::pair<std::string_view, std::string_view>> Fields(std::string_view word) {
  std::vector<std::pair<std::string_view, std::string_view>> fields;
  while (true) {
    const size_t comma = word.find(',');
    const std::string_view field = word.substr(0, comma);
    const size_t equals = field.find('=');
    if (equals == std::string_view::npos) return {};
    fields.emplace_back(field.substr(0, equals), field.substr(equals + 1));
    if (comma == std::string_view::npos) return fields;
    word.remove_prefix(comma + 1);
  }
}

// Reads `value` as numbers separated by `separator`, each whole and within
// [min, max]; false unless it holds exactly as many as given.
template <typename Number, typename... Out>
bool TakeNumbers(std::string_view value, char separator, Number min, Number max, Out*... out) {
  bool ok = true;
  bool first = true;
  auto take = [&](auto* number) {
    if (!ok) return;
    if (!first) {
      ok = !value.empty() && value.front() == separator;
      if (!ok) return;
      value.remove_prefix(1);
    }
    first = false;
    auto [next, error] = std::from_chars(value.data(), value.data() + value.size(), *number);
    ok = error == std::errc() && *number >= min && *number <= max;
    if (ok) value.remove_prefix(static_cast<size_t>(next - value.data()));
  };
  (take(out), ...);
  return ok && value.empty();
}

bool TakeTrack(std::string_view value, ChosenTrack* track) {
  return TakeNumbers(value, ':', -1, 1 << 20, &track->stream, &track->ordinal) &&
         (track->stream >= 0) == (track->ordinal >= 0);
}

bool TakeFlag(std::string_view value, bool* flag) {
  if (value != "0" && value != "1") return false;
  *flag = value == "1";
  return true;
}

bool TakeTransfer(std::string_view value, Transfer* transfer) {
  for (size_t i = 0; i < std::size(kTransferNames); ++i) {
    if (value != kTransferNames[i]) continue;
    *transfer = static_cast<Transfer>(i);
    return true;
  }
  return false;
}

bool TakeScreenColour(std::string_view value, std::optional<colour::ScreenColour>* colour) {
  int code = 0;
  if (value == "none") colour->reset();
  else if (TakeNumbers(value, ':', 0, static_cast<int>(colour::ScreenColour::kTvBt2020), &code))
    *colour = static_cast<colour::ScreenColour>(code);
  else return false;
  return true;
}

std::string ScreenColourText(const std::optional<colour::ScreenColour>& colour) {
  return colour ? Text(static_cast<int>(*colour)) : "none";
}

bool TakeMastering(std::string_view value, HdrMetadata* m) {
  m->hasMastering = TakeNumbers(value, ':', 0.0, 1e6, &m->greenX, &m->greenY, &m->blueX, &m->blueY, &m->redX,
                                &m->redY, &m->whiteX, &m->whiteY, &m->maxLuminance, &m->minLuminance);
  return m->hasMastering;
}

bool TakeContentLight(std::string_view value, HdrMetadata* m) {
  m->hasContentLight = TakeNumbers(value, ':', 0u, 1u << 16, &m->maxContentLight, &m->maxFrameAverageLight);
  return m->hasContentLight;
}

bool TakeFile(std::string_view value, SourceFileStamp* file) {
  uint64_t device = 0, inode = 0, size = 0, modified = 0;
  constexpr uint64_t kLargestSigned = std::numeric_limits<int64_t>::max();
  if (!TakeNumbers(value, ':', uint64_t{0}, std::numeric_limits<uint64_t>::max(), &device, &inode, &size,
                   &modified) ||
      size > kLargestSigned || modified > kLargestSigned)
    return false;
  *file = {device, inode, static_cast<int64_t>(size), static_cast<int64_t>(modified)};
  return true;
}

// The fixed fields, in their order, read into `source`.
bool TakeFixedFields(const std::vector<std::pair<std::string_view, std::string_view>>& fields,
                     ProbedSource* source) {
  SourceFacts& f = source->facts;
  static constexpr std::string_view kKeys[] = {"v",     "a",   "t",     "bits", "nopri", "nomat",
                                               "yuv",   "frame", "sar", "rot",  "file"};
  if (fields.size() < std::size(kKeys)) return false;
  for (size_t i = 0; i < std::size(kKeys); ++i)
    if (fields[i].first != kKeys[i]) return false;
  auto value = [&](size_t i) { return fields[i].second; };
  return TakeTrack(value(0), &f.tracks.video) && TakeTrack(value(1), &f.tracks.audio) &&
         TakeTransfer(value(2), &f.transfer) && TakeNumbers(value(3), ':', 0, 64, &f.bitsPerSample) &&
         TakeFlag(value(4), &f.primariesUnknown) && TakeFlag(value(5), &f.matrixUnknown) &&
         TakeScreenColour(value(6), &f.screenColour) && TakeNumbers(value(7), 'x', 0, 1 << 16, &f.width, &f.height) &&
         TakeNumbers(value(8), ':', 0, 1 << 30, &f.sampleAspectNum, &f.sampleAspectDen) &&
         TakeNumbers(value(9), ':', 0, 270, &f.rotation) && f.rotation % 90 == 0 &&
         TakeFile(value(10), &source->file);
}

}  // namespace

std::string WriteSourceFactsWord(const ProbedSource& source) {
  const SourceFacts& f = source.facts;
  const SourceFileStamp& file = source.file;
  std::string word = "v=" + TrackText(f.tracks.video) + ",a=" + TrackText(f.tracks.audio) +
                     ",t=" + std::string(kTransferNames[static_cast<int>(f.transfer)]) +
                     ",bits=" + Text(f.bitsPerSample) + ",nopri=" + Text(int{f.primariesUnknown}) +
                     ",nomat=" + Text(int{f.matrixUnknown}) + ",yuv=" + ScreenColourText(f.screenColour) +
                     ",frame=" + Joined('x', f.width, f.height) +
                     ",sar=" + Joined(':', f.sampleAspectNum, f.sampleAspectDen) + ",rot=" + Text(f.rotation) +
                     ",file=" + Joined(':', file.device, file.inode, file.size, file.modifiedNs);
  const HdrMetadata& m = source.hdr;
  if (m.hasMastering)
    word += ",md=" + Joined(':', m.greenX, m.greenY, m.blueX, m.blueY, m.redX, m.redY, m.whiteX, m.whiteY,
                            m.maxLuminance, m.minLuminance);
  if (m.hasContentLight) word += ",cll=" + Joined(':', m.maxContentLight, m.maxFrameAverageLight);
  return word;
}

std::optional<ProbedSource> ReadSourceFactsWord(std::string_view word) {
  const auto fields = Fields(word);
  ProbedSource source;
  if (!TakeFixedFields(fields, &source)) return std::nullopt;
  size_t next = 11;
  if (next < fields.size() && fields[next].first == "md" && !TakeMastering(fields[next++].second, &source.hdr))
    return std::nullopt;
  if (next < fields.size() && fields[next].first == "cll" &&
      !TakeContentLight(fields[next++].second, &source.hdr))
    return std::nullopt;
  if (next != fields.size()) return std::nullopt;
  source.facts.tracksKnown = true;
  source.facts.readable = source.facts.tracks.video.Found();
  return source;
}

std::string SourceFactsWordOf(AVFormatContext* format, const SourceFileStamp& file) {
  ProbedSource source{FactsOfOpenedSource(*format), {}, file};
  if (source.facts.HighDynamicRange()) source.hdr = HdrMetadataOf(format, source.facts.tracks.video.stream);
  return WriteSourceFactsWord(source);
}

}  // namespace mivora::trancor
