#pragma once
// Whether a converted file holds as much as it should: an output far shorter
// than the part of the source it was made from (a damaged or cut-off source,
// a track that ended early, a single still taken for the picture) is a
// failed conversion, not a success.

#include <cstdint>
#include <string>

namespace mivora {

// The share of the expected length an output must hold.
inline constexpr double kShortestOutputShare = 0.9;

// "" when an output of `outputSeconds` is long enough for a job expected to
// last `expectedSeconds` (the trimmed length, else the source's), or when
// either is unknown (expected <= 0, output < 0); else why not, in words for
// the person who converts.
std::string ShortOutputReason(int32_t expectedSeconds, double outputSeconds);

}  // namespace mivora
