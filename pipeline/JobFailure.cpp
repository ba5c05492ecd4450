#include "pipeline/JobFailure.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/Folders.h"

namespace mivora {
namespace {

bool Has(std::string_view line, std::string_view what) { return line.find(what) != std::string_view::npos; }

bool AnyLineHas(const std::vector<std::string>& lines, std::initializer_list<std::string_view> whats) {
  for (const std::string& line : lines)
    for (std::string_view what : whats)
      if (Has(line, what)) return true;
  return false;
}

// The system's words for a file that cannot be opened, and what each means
// for the source and for the output.
struct OpenError {
  std::string_view text;
  FailureKind forSource;
  FailureKind forOutput;
};
constexpr OpenError kOpenErrors[] = {
    {"No such file or directory", FailureKind::kSourceMissing, FailureKind::kOutputFolderMissing},
    {"Permission denied", FailureKind::kSourceUnreadable, FailureKind::kOutputNotWritable},
    {"Operation not permitted", FailureKind::kSourceUnreadable, FailureKind::kOutputNotWritable},
    {"Read-only file system", FailureKind::kSourceUnreadable, FailureKind::kOutputNotWritable},
    {"Not a directory", FailureKind::kSourceMissing, FailureKind::kOutputFolderMissing},
};

// A file that would not open: the output when the line names the output's
// file, else the source.
FailureKind OpenFailure(const EngineReport& report) {
  std::string_view outputName = BaseName(report.outputPath);
  for (const std::string& line : report.lines) {
    for (const OpenError& error : kOpenErrors) {
      if (!Has(line, error.text)) continue;
      bool aboutOutput = !outputName.empty() && Has(line, outputName);
      return aboutOutput ? error.forOutput : error.forSource;
    }
  }
  return FailureKind::kNone;
}

}  // namespace

FailureKind ClassifyEngineFailure(const EngineReport& report) {
  const std::vector<std::string>& lines = report.lines;
  // The engine's own lines ("trancor: ...") and exit code come first: they
  // say the run never got to the media.
  if (report.exitCode == 127 || AnyLineHas(lines, {"trancor: ffmpeg is not installed"}))
    return FailureKind::kEngineCannotStart;
  if (AnyLineHas(lines, {"\" cannot be used: ", "Unknown encoder", "Encoder not found"}))
    return FailureKind::kCodecUnavailable;
  if (AnyLineHas(lines, {"No space left on device", "Disk quota exceeded", "File too large"}))
    return FailureKind::kOutputFull;
  if (AnyLineHas(lines, {"does not contain any stream"}))
    return report.pictureWanted ? FailureKind::kNoPicture : FailureKind::kNoSound;
  if (AnyLineHas(lines, {"Could not find tag for codec", "not currently supported in container",
                         "incorrect codec parameters"}))
    return FailureKind::kCodecNotInContainer;
  if (FailureKind open = OpenFailure(report); open != FailureKind::kNone) return open;
  if (AnyLineHas(lines, {"Invalid data found when processing input", "moov atom not found",
                         "could not find codec parameters"}))
    return FailureKind::kSourceDamaged;
  return FailureKind::kEngineError;
}

FailureKind CheckSource(const std::string& sourcePath) {
  if (!FileExists(sourcePath)) return FailureKind::kSourceMissing;
  if (IsDirectory(sourcePath)) return FailureKind::kSourceMissing;
  // Opening it is the only sure test: permissions, ACLs and the mount all count.
  int fd = ::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT ? FailureKind::kSourceMissing : FailureKind::kSourceUnreadable;
  ::close(fd);
  return FailureKind::kNone;
}

FailureKind PrepareOutputFolder(const std::string& outputPath) {
  std::string folder(FolderOf(outputPath));
  if (folder.empty()) folder = "/";
  if (!CreateFolderTree(folder) || !IsDirectory(folder)) return FailureKind::kOutputFolderMissing;
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return FailureKind::kOutputNotWritable;
  return FailureKind::kNone;
}

std::string FailureMessage(FailureKind kind, std::string_view extension, int exitCode) {
  const std::string format = extension.empty() ? "the chosen format" : "." + std::string(extension);
  switch (kind) {
    case FailureKind::kNone: return "";
    case FailureKind::kSourceMissing:
      return "The file is no longer there (moved, renamed or deleted), so it was not converted. "
             "Add it again from where it is now.";
    case FailureKind::kSourceUnreadable:
      return "You are not allowed to read this file, so it was not converted. Copy it into a "
             "folder of yours, or ask its owner for read permission, and add it again.";
    case FailureKind::kSourceDamaged:
      return "The file is damaged or is not a video or sound file Mivora can read, so it was not "
             "converted. Check that it plays; if it was copied or downloaded, get it again.";
    case FailureKind::kNoSound:
      return "The file has no sound, so the audio profile has nothing to convert. Choose a video "
             "profile for it.";
    case FailureKind::kNoPicture:
      return "The file has no picture, so the video profile cannot make a video of it. Choose an "
             "audio profile (for example MP3) to convert its sound.";
    case FailureKind::kOutputFull:
      return "The disk of the output folder is full, so the converted file could not be written. "
             "Free some space or choose another output folder, then convert it again.";
    case FailureKind::kOutputNotWritable:
      return "The output folder may not be written to, so nothing was saved. Choose a folder of "
             "yours as the output folder.";
    case FailureKind::kOutputFolderMissing:
      return "The output folder is gone or cannot be made (a removed disk, a deleted folder), so "
             "nothing was saved. Choose another output folder.";
    case FailureKind::kCodecNotInContainer:
      return "A " + format + " file cannot hold the codec this profile asks for. Choose another "
             "codec in \"Adjust profiles\", or another profile.";
    case FailureKind::kCodecUnavailable:
      return "The converter on this computer cannot encode the codec this profile asks for. "
             "Choose another codec in \"Adjust profiles\", or another profile.";
    case FailureKind::kEngineCannotStart:
      return "The converter could not be started: ffmpeg is missing or Mivora is not installed "
             "completely. Install the ffmpeg package (or Mivora again) and convert it again.";
    case FailureKind::kEngineError:
      break;
  }
  return "The converter stopped with an error (code " + std::to_string(exitCode) +
         ") it did not explain. Its own report is in Mivora's Log.txt.";
}

std::string SoundOnlyNote(std::string_view extension) {
  const std::string format = extension.empty() ? "converted" : "." + std::string(extension);
  return "The file has no picture, so the " + format + " file holds its sound only. For sound, an "
         "audio profile (for example MP3) makes a smaller file that every player takes.";
}

std::string PreviewProblemMessage(FailureKind kind) {
  switch (kind) {
    case FailureKind::kNone: return "";
    case FailureKind::kSourceMissing:
      return "This file is no longer there (moved, renamed or deleted). Add it again from where it "
             "is now.";
    case FailureKind::kSourceUnreadable:
      return "You are not allowed to read this file. Copy it into a folder of yours, or ask its "
             "owner for read permission.";
    case FailureKind::kNoPicture: return "This file has no picture; only its sound plays.";
    case FailureKind::kEngineCannotStart:
      return "The player could not be started. Install Mivora again.";
    default:
      return "This file cannot be played: it is damaged or is not a video Mivora can read. Check "
             "that it plays elsewhere; if it was copied or downloaded, get it again.";
  }
}

}  // namespace mivora
