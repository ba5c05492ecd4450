#include "pipeline/ProbeParser.h"

#include <string>
#include <utility>
#include <vector>

#include "pattern/Pattern.h"

namespace mivora {
namespace {

enum class LineKind { kOther, kDuration, kVideo, kAudio, kDisplayMatrix };

size_t IndentOf(std::string_view line) {
  size_t n = 0;
  while (n < line.size() && line[n] == ' ') ++n;
  return n;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// "Stream #0:1[0x2](eng): Video: ..." -> kVideo. The stream header holds no
// blanks and ends at the first ": ".
LineKind StreamKind(std::string_view rest) {
  if (!StartsWith(rest, "Stream #")) return LineKind::kOther;
  size_t colon = rest.find(": ");
  if (colon == std::string_view::npos) return LineKind::kOther;
  if (rest.substr(0, colon).find(' ', 7) != std::string_view::npos) return LineKind::kOther;
  std::string_view kind = rest.substr(colon + 2);
  if (StartsWith(kind, "Video: ")) return LineKind::kVideo;
  if (StartsWith(kind, "Audio: ")) return LineKind::kAudio;
  return LineKind::kOther;
}

// Sorts the lines and skips every metadata block ("Metadata:" and the lines
// indented deeper than it), whose values are free text from the file. A
// stream's "Side data:" block is the engine's own; its display matrix line
// counts.
class LineClassifier {
 public:
  LineKind Classify(std::string_view line) {
    size_t indent = IndentOf(line);
    std::string_view rest = line.substr(indent);
    if (metadataIndent_ != kNone) {
      if (indent > metadataIndent_) return LineKind::kOther;
      metadataIndent_ = kNone;
    }
    if (sideDataIndent_ != kNone) {
      if (indent > sideDataIndent_)
        return StartsWith(rest, "displaymatrix: rotation of ") ? LineKind::kDisplayMatrix : LineKind::kOther;
      sideDataIndent_ = kNone;
    }
    if (rest == "Metadata:") {
      metadataIndent_ = indent;
      return LineKind::kOther;
    }
    if (rest == "Side data:" && (indent == 4 || indent == 6)) {
      sideDataIndent_ = indent;
      return LineKind::kOther;
    }
    if (indent == 2 && StartsWith(rest, "Duration: ")) return LineKind::kDuration;
    if (indent == 2 || indent == 4) return StreamKind(rest);
    return LineKind::kOther;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  size_t metadataIndent_ = kNone;
  size_t sideDataIndent_ = kNone;
};

void StoreMatch(const Pattern& pattern, std::string_view line, std::string* field) {
  std::optional<PatternMatch> match = pattern.Find(line);
  if (match) field->assign(line.substr(match->start, match->length));
}

void RemovePrefix(std::string* field, std::string_view label) {
  if (StartsWith(*field, label)) field->erase(0, label.size());
}

void RemoveSuffix(std::string* field, std::string_view label) {
  if (field->size() >= label.size() &&
      std::string_view(*field).substr(field->size() - label.size()) == label)
    field->erase(field->size() - label.size());
}

void ParseDurationLine(std::string_view line, MediaVideoFacts* video) {
  static const Pattern kDuration("Duration: \\d{2}:\\d{2}:\\d{2}");
  static const Pattern kBitrate("bitrate: \\d+ kb/s");
  static const Pattern kExactDuration("Duration: \\d{2}:\\d{2}:\\d{2}\\.\\d+");
  StoreMatch(kDuration, line, &video->duration);
  StoreMatch(kExactDuration, line, &video->exactDuration);
  StoreMatch(kBitrate, line, &video->bitrate);
}

void ParseVideoLine(std::string_view line, MediaVideoFacts* video) {
  static const Pattern kCodec("Video: [a-zA-Z\\d ]+");
  static const Pattern kSize("\\d{3,}x\\d{3,}");
  static const Pattern kAspect("DAR \\d+:\\d+");
  static const Pattern kRate("\\d+\\.\\d+ fps");
  StoreMatch(kCodec, line, &video->videoCodec);
  std::string_view size = kSize.FindText(line);
  if (!size.empty()) {
    size_t x = size.find('x');
    video->width.assign(size.substr(0, x));
    video->height.assign(size.substr(x + 1));
  }
  StoreMatch(kAspect, line, &video->displayAspect);
  StoreMatch(kRate, line, &video->frameRate);
}

// "displaymatrix: rotation of -90.00 degrees" -> "-90.00".
void ParseDisplayMatrixLine(std::string_view line, MediaVideoFacts* video) {
  static const Pattern kRotation("rotation of -?\\d+(\\.\\d+)? degrees");
  std::string_view found = kRotation.FindText(line);
  if (found.empty()) return;
  found.remove_prefix(std::string_view("rotation of ").size());
  video->rotation.assign(found.substr(0, found.find(' ')));
}

void ParseAudioLine(std::string_view line, MediaAudioFacts* audio) {
  static const Pattern kCodec("Audio: [a-zA-Z\\d]+");
  static const Pattern kSampleRate("\\d+ Hz");
  static const Pattern kBitrate("\\d{1,} kb/s");
  StoreMatch(kCodec, line, &audio->audioCodec);
  StoreMatch(kSampleRate, line, &audio->sampleRate);
  StoreMatch(kBitrate, line, &audio->audioBitrate);
}

void RemoveLabels(MediaVideoFacts* video, MediaAudioFacts* audio) {
  RemovePrefix(&video->duration, "Duration: ");
  RemovePrefix(&video->exactDuration, "Duration: ");
  RemovePrefix(&video->videoCodec, "Video: ");
  RemovePrefix(&video->bitrate, "bitrate: ");
  RemoveSuffix(&video->bitrate, " kb/s");
  RemovePrefix(&video->displayAspect, "DAR ");
  RemoveSuffix(&video->frameRate, " fps");
  RemovePrefix(&audio->audioCodec, "Audio: ");
  RemoveSuffix(&audio->sampleRate, " Hz");
  RemoveSuffix(&audio->audioBitrate, " kb/s");
}

// One stream line of the description and what belongs to it.
struct StreamEntry {
  LineKind kind = LineKind::kOther;
  int number = -1;  // N of "Stream #0:N"
  std::string_view line;
  std::string_view displayMatrix;  // from the stream's side data; empty when none
};

// "Stream #0:1[0x2](eng): Video: ..." -> 1; -1 when unreadable.
int StreamNumber(std::string_view line) {
  size_t hash = line.find("Stream #");
  if (hash == std::string_view::npos) return -1;
  size_t colon = line.find(':', hash);
  if (colon == std::string_view::npos) return -1;
  int number = 0;
  size_t digits = 0;
  for (size_t i = colon + 1; i < line.size() && line[i] >= '0' && line[i] <= '9' && digits < 6; ++i, ++digits)
    number = number * 10 + (line[i] - '0');
  return digits ? number : -1;
}

// The track facts the description shows: the kind and the dispositions the
// engine prints after a stream's facts. A single still is not shown in the
// text; the in-process probe, which knows it, passes its choice instead.
TrackFacts FactsOf(const StreamEntry& entry) {
  TrackFacts facts;
  facts.kind = entry.kind == LineKind::kVideo ? TrackKind::kVideo : TrackKind::kAudio;
  facts.isDefault = entry.line.find(" (default)") != std::string_view::npos;
  facts.coverPicture = entry.line.find(" (attached pic)") != std::string_view::npos;
  facts.singleFrame = entry.line.find(" (still image)") != std::string_view::npos;
  return facts;
}

// The entry of stream `number`; null when the description has no such line.
const StreamEntry* EntryOf(const std::vector<StreamEntry>& entries, int number, LineKind kind) {
  for (const StreamEntry& entry : entries)
    if (entry.number == number && entry.kind == kind) return &entry;
  return nullptr;
}

// The chosen video and audio lines: by the caller's choice when it names
// lines the description has, else by the rule applied to the description.
std::pair<const StreamEntry*, const StreamEntry*> ChosenEntries(const std::vector<StreamEntry>& entries,
                                                                const TrackChoice* given) {
  if (given) {
    const StreamEntry* video = EntryOf(entries, given->video.stream, LineKind::kVideo);
    const StreamEntry* audio = EntryOf(entries, given->audio.stream, LineKind::kAudio);
    if ((video || !given->video.Found()) && (audio || !given->audio.Found())) return {video, audio};
  }
  std::vector<TrackFacts> tracks;
  for (const StreamEntry& entry : entries) tracks.push_back(FactsOf(entry));
  const TrackChoice choice = ChooseTracks(tracks);
  return {choice.video.Found() ? &entries[choice.video.stream] : nullptr,
          choice.audio.Found() ? &entries[choice.audio.stream] : nullptr};
}

}  // namespace

bool ParseProbeOutput(std::string_view output, MediaVideoFacts* video, MediaAudioFacts* audio,
                      const TrackChoice* choice) {
  bool durationSeen = false;
  std::vector<StreamEntry> entries;
  LineClassifier classifier;
  size_t start = 0;
  // Only complete lines: the text after the last "\n" is not examined.
  for (size_t end = output.find('\n'); end != std::string_view::npos;
       start = end + 1, end = output.find('\n', start)) {
    std::string_view line = output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    switch (LineKind kind = classifier.Classify(line)) {
      case LineKind::kDuration:
        durationSeen = true;
        ParseDurationLine(line, video);
        break;
      case LineKind::kVideo:
      case LineKind::kAudio:
        entries.push_back({kind, StreamNumber(line), line, {}});
        break;
      case LineKind::kDisplayMatrix:
        // Side data belongs to the stream listed last.
        if (!entries.empty() && entries.back().kind == LineKind::kVideo) entries.back().displayMatrix = line;
        break;
      case LineKind::kOther:
        break;
    }
  }
  auto [videoEntry, audioEntry] = ChosenEntries(entries, choice);
  if (videoEntry) {
    video->rotation.clear();  // the chosen stream brings its own turn, or none
    ParseVideoLine(videoEntry->line, video);
    if (!videoEntry->displayMatrix.empty()) ParseDisplayMatrixLine(videoEntry->displayMatrix, video);
  }
  if (audioEntry) ParseAudioLine(audioEntry->line, audio);
  RemoveLabels(video, audio);
  return durationSeen;
}

}  // namespace mivora
