#include "tools/colour/ColourRule.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace mivora::colour {

bool IsHdrTransfer(int transfer) {
  return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

bool NamesNothing(int code) {
  // The primaries' and the matrices' numbers agree for these two.
  static_assert(int{AVCOL_PRI_UNSPECIFIED} == int{AVCOL_SPC_UNSPECIFIED} &&
                int{AVCOL_PRI_RESERVED} == int{AVCOL_SPC_RESERVED});
  return code == AVCOL_PRI_UNSPECIFIED || code == AVCOL_PRI_RESERVED;
}

std::string ToneMapChain(bool primariesUnnamed, bool matrixUnnamed) {
  std::string assumed;
  if (primariesUnnamed) assumed += "color_primaries=bt2020";
  if (matrixUnnamed) assumed += std::string(assumed.empty() ? "" : ":") + "colorspace=bt2020nc";
  return (assumed.empty() ? "" : "setparams=" + assumed + ",") + kToneMapToSdr;
}

ScreenColour ScreenColourOf(int range, int matrix, int lines) {
  if (range == AVCOL_RANGE_JPEG) return ScreenColour::kFullRange;
  switch (matrix) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_SMPTE240M: return ScreenColour::kTvBt709;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return ScreenColour::kTvBt2020;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_FCC: return ScreenColour::kTvBt601;
    default: return lines >= 720 ? ScreenColour::kTvBt709 : ScreenColour::kTvBt601;
  }
}

}  // namespace mivora::colour
