#pragma once
// Turning a font face name from the font dialog into a font file for the
// engine's text filter.

#include <string>
#include <string_view>

namespace mivora {

// The file of the installed font that best matches `face` (fontconfig's
// match, which maps "Arial" to a metric-compatible font where one is
// installed). Falls back to the system's default sans-serif font, then to any
// font file found; never empty.
std::string FindFontFile(std::string_view face);

}  // namespace mivora
