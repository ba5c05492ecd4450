#pragma once
// A profile named on the command line: a profile file's path, an identifier
// from `mivora-cli profiles`, a path inside the Profiles folder
// ("General Video/AVI - Audio Video Interleaved.xml") or a profile's name
// ("AVI - Audio Video Interleaved").

#include <string>

#include "pipeline/TaskBuilder.h"

namespace mivora::cli {

// Finds the profile and its menu identifier (0 for a file outside the
// profile folders). False with `error` when there is no such profile.
bool ResolveProfile(const std::string& text, TargetProfile* target, std::string* error);

}  // namespace mivora::cli
