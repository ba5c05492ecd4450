#pragma once
// Why a conversion failed, in a person's words. The batch tells a few kinds
// of failure apart, from what it knows before the engine starts (the source,
// the output folder, the tracks the probe found) and from the engine's own
// report; each kind has one message that says what happened and what the
// person can do. The engine's lines themselves go to the log, never into a
// message.

#include <string>
#include <string_view>
#include <vector>

namespace mivora {

enum class FailureKind {
  kNone,
  kSourceMissing,        // the source is gone (moved, renamed, deleted)
  kSourceUnreadable,     // the source is there but may not be read
  kSourceDamaged,        // the source is not media the engine can read
  kNoSound,              // an audio profile for a source without sound
  kNoPicture,            // a video profile, and the engine found no track to convert
  kOutputFull,           // the output folder's disk is full
  kOutputNotWritable,    // the output folder may not be written to
  kOutputFolderMissing,  // the output folder is gone or cannot be made
  kCodecNotInContainer,  // the profile's format cannot hold its codec
  kCodecUnavailable,     // the engine here has no encoder for the codec
  kEngineCannotStart,    // the engine (or ffmpeg behind it) does not start
  kEngineError,          // the engine failed for a reason not listed here
};

// What an engine run left to judge it by.
struct EngineReport {
  std::vector<std::string> lines;  // the engine's records, oldest first
  std::string outputPath;          // the file the engine was writing
  int exitCode = 0;
  bool pictureWanted = true;       // the profile makes video (not sound only)
};

// The kind of failure the engine's report shows; kEngineError when it shows
// none of the known ones. Pure: reads only the report.
FailureKind ClassifyEngineFailure(const EngineReport& report);

// Why the source cannot be converted or played before anything starts:
// kSourceMissing, kSourceUnreadable or kNone.
FailureKind CheckSource(const std::string& sourcePath);

// Makes the output folder when it is missing; kOutputFolderMissing when it
// cannot be made, kOutputNotWritable when it may not be written, else kNone.
FailureKind PrepareOutputFolder(const std::string& outputPath);

// The message for a failed conversion: what happened and what to do.
// `extension` is the target format ("avi"); `exitCode` the engine's.
std::string FailureMessage(FailureKind kind, std::string_view extension = {}, int exitCode = 0);

// Why a preview does not play, for the preview window: the source's own
// kinds, kSourceDamaged (the player ended without a picture), kNoPicture
// (only the sound plays) and kEngineCannotStart (the player did not start).
std::string PreviewProblemMessage(FailureKind kind);

// The note of a job whose video profile met a file without a picture: the
// output (of format `extension`) holds the file's sound only.
std::string SoundOnlyNote(std::string_view extension);

// The short word a list row shows for a failure ("Failed").
inline constexpr const char* kFailedWord = "Failed";

}  // namespace mivora
