#include "pipeline/ProbeParser.h"

#include <string>
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

}  // namespace

bool ParseProbeOutput(std::string_view output, MediaVideoFacts* video, MediaAudioFacts* audio) {
  bool durationSeen = false;
  bool inVideoStream = false;  // side data belongs to the stream listed last
  LineClassifier classifier;
  size_t start = 0;
  // Only complete lines: the text after the last "\n" is not examined.
  for (size_t end = output.find('\n'); end != std::string_view::npos;
       start = end + 1, end = output.find('\n', start)) {
    std::string_view line = output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    switch (classifier.Classify(line)) {
      case LineKind::kDuration:
        durationSeen = true;
        ParseDurationLine(line, video);
        break;
      case LineKind::kVideo:
        inVideoStream = true;
        video->rotation.clear();  // a later video stream brings its own turn, or none
        ParseVideoLine(line, video);
        break;
      case LineKind::kAudio:
        inVideoStream = false;
        ParseAudioLine(line, audio);
        break;
      case LineKind::kDisplayMatrix:
        if (inVideoStream) ParseDisplayMatrixLine(line, video);
        break;
      case LineKind::kOther:
        break;
    }
  }
  RemoveLabels(video, audio);
  return durationSeen;
}

}  // namespace mivora
