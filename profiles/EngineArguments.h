#pragma once
// The engine option text of a profile, and the rewriting that finishes an
// item's option text (profile options + edit options) when converting starts.
//
// The finishing steps look only at real options: the text inside a double-
// quoted filter segment, and a drawtext watermark text (which may itself hold
// quotes), are never searched or rewritten, except that a crop segment is
// followed by its scale segment. A watermark text such as "-r 5 -s 12x34"
// therefore reaches the engine unchanged.

#include <string>
#include <string_view>

#include "profiles/OutputFrame.h"

namespace mivora {

class Profile;

// The group whose profiles write disc frames, fixed by their standards.
inline constexpr std::string_view kDiscGroupName = "DVD VCD SVCD";

// The disc target a profile's comment selects ("ntsc-dvd", "ntsc-svcd",
// "ntsc-vcd"); empty for none.
std::string_view DiscTargetOf(std::string_view profileComment);

// The frame a profile's options name, as the engine adapter reads them.
FrameFormat FrameFormatOf(const Profile& profile);

// Engine codec name for a codec display name; unknown names become "copy".
// "H.264" and "H.265" ask the GPU encoder probe every time.
std::string MapCodecName(std::string_view displayName);

// The four finishing steps: MPEG-2 frame rate, scale after crop, drop a copied
// video codec option, aspect ratio for disc targets. `aspectRatio` is the
// VideoAspectRatio of the item's profile.
std::string FinishEngineArguments(std::string_view arguments, std::string_view aspectRatio);

// Volume percentages beyond this are clamped so that the engine value
// (percent * 256 / 100) stays a 32-bit number.
inline constexpr int kMaxVolumePercent = 8388607;

}  // namespace mivora
