#pragma once
// Converting a generated clip with a profile file through the real engine
// runner and engine adapter, and checking the result against the profile.

#include <ostream>
#include <string>
#include <vector>

#include "profiles/ProfileCatalog.h"

namespace mivora::test {

// The shipped profiles of the program folder, with test names made of their
// paths (letters and digits only).
struct ShippedProfile {
  std::string testName;
  ProfileEntry entry;
};
std::vector<ShippedProfile> ShippedProfilesForTests();
inline void PrintTo(const ShippedProfile& profile, std::ostream* out) { *out << profile.entry.relativePath; }

// A clip of `seconds` at 320x240, 25 frames per second, stereo 44.1 kHz, in
// `pixelFormat` (a deep-colour or full-chroma source, e.g. yuv422p10le), made
// once per format and length.
const std::string& PixelFormatClip(const std::string& pixelFormat, int seconds);

// Converts `source` with the profile file at `profilePath` the way a
// conversion start does (the profile's arguments, a blank and no edit
// arguments, finished) and checks what ffprobe reads back: the codecs, frame
// size, frame rate, sample rate and channels the profile asks for, and video
// as 8-bit 4:2:0 (Main-profile MPEG-2, full-range Motion JPEG; 10-bit 4:2:0
// for the "10-bit" codecs). Adds a test failure naming `what` when anything
// differs.
void ConvertAndCheck(const std::string& profilePath, const std::string& source, const std::string& what);

// Seconds of source clip a profile's conversion test takes: 4K frames take
// a 2-core machine seconds each, so their profiles convert a shorter clip.
int ClipSecondsFor(const std::string& profilePath, int seconds);

}  // namespace mivora::test
