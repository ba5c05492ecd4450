#pragma once
// Adding files without a window (the command line): the source session's
// way in, waited for until every file has its row and its facts.

#include <string>
#include <vector>

#include "pipeline/SourceList.h"
#include "pipeline/TaskBuilder.h"

namespace mivora {

struct AddFilesResult {
  std::vector<std::string> added;
  std::vector<std::string> skipped;      // filtered out, duplicates, folders, missing, unreadable
  std::vector<std::string> skipReasons;  // one per skipped file: why, as a short phrase
  bool profileFailed = false;            // the profile cannot be read: nothing was added
  std::string error;
  std::string engineError;  // the engine cannot run (missing, no ffmpeg); files were still added
};

// Adds the files to `list` in order, as the route says, and returns once
// every added file is probed.
AddFilesResult AddFiles(SourceList& list, const std::vector<std::string>& paths, const TargetProfile& target,
                        AddRoute route);

}  // namespace mivora
