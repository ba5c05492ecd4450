#pragma once
// The colour rule that the engine adapter (trancor) and the player (playrun)
// share, so that the file and the editor's panes show the same picture:
// which sources are HDR, the colours assumed where such a source names none,
// the chain that tone-maps them to BT.709 SDR, and how a screen turns a
// frame's YUV codes into colours.
//
// Codes are those of ISO/IEC 23091-2, which FFmpeg's AVCOL_* values are.

#include <string>

namespace mivora::colour {

// From a PQ or HLG source's linear light (100 nits as reference white) to
// BT.709 SDR: Hable's curve without desaturation, 8-bit 4:2:0 TV range.
inline constexpr const char* kToneMapToSdr =
    "zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
    "zscale=t=bt709:m=bt709:r=tv,format=yuv420p";

// SMPTE ST 2084 (PQ) and ARIB STD-B67 (HLG): the transfers that are tone-mapped.
bool IsHdrTransfer(int transfer);

// A primaries or matrix code that names nothing (unspecified or reserved).
bool NamesNothing(int code);

// The chain for an HDR source. The tone mapping cannot start from colours
// the file leaves unnamed; PQ and HLG come with BT.2020, so a source that
// names no primaries or no matrix is taken to hold BT.2020 (setparams first).
std::string ToneMapChain(bool primariesUnnamed, bool matrixUnnamed);

// How a screen shows a frame's codes; the numbers are the player's frame
// colour codes (platform/PlayerSharedBlock.h).
enum class ScreenColour { kFullRange = 0, kTvBt601 = 1, kTvBt709 = 2, kTvBt2020 = 3 };

// Full-range frames keep their codes; TV-range (and untold) frames are
// expanded with the matrix they name: BT.709, BT.2020 or BT.601, and for a
// frame that names none, BT.601 below 720 lines and BT.709 from 720 on.
// `lines` is the frame's height as decoded.
ScreenColour ScreenColourOf(int range, int matrix, int lines);

// The matrix a screen takes for a TV-range frame of `lines` that names none.
ScreenColour UnnamedMatrixOf(int lines);

// ffmpeg's filter that re-codes a TV-range 8-bit picture from BT.601 to
// BT.709 or back; empty when there is nothing to re-code (the same matrix,
// full range, BT.2020).
std::string MatrixConversion(ScreenColour from, ScreenColour to);

// ffmpeg's name of a TV-range matrix ("bt709", "smpte170m", "bt2020nc");
// empty for full range.
std::string MatrixName(ScreenColour c);

}  // namespace mivora::colour
