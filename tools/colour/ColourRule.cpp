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
    default: return UnnamedMatrixOf(lines);
  }
}

ScreenColour UnnamedMatrixOf(int lines) { return lines >= 720 ? ScreenColour::kTvBt709 : ScreenColour::kTvBt601; }

std::string MatrixConversion(ScreenColour from, ScreenColour to) {
  auto sdr = [](ScreenColour c) { return c == ScreenColour::kTvBt601 || c == ScreenColour::kTvBt709; };
  if (from == to || !sdr(from) || !sdr(to)) return "";
  return to == ScreenColour::kTvBt709 ? "colormatrix=src=bt601:dst=bt709" : "colormatrix=src=bt709:dst=bt601";
}

std::string MatrixName(ScreenColour c) {
  switch (c) {
    case ScreenColour::kTvBt601: return "smpte170m";
    case ScreenColour::kTvBt709: return "bt709";
    case ScreenColour::kTvBt2020: return "bt2020nc";
    case ScreenColour::kFullRange: break;
  }
  return "";
}

}  // namespace mivora::colour
