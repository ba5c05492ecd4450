#pragma once
// Which outputs keep a PQ or HLG source's high dynamic range.
//
// A profile keeps HDR when it encodes 10 or more bits per sample with a
// codec whose files carry HDR (H.265, AV1, VP9): such a file holds the
// source's transfer, primaries, matrix and mastering metadata unchanged, and
// an HDR screen shows it as the source. Every other output is tone-mapped to
// BT.709 SDR, as 8 bits cannot hold PQ or HLG without banding and the formats
// of the older profiles have no way to say what they hold. Header-only: the
// engine adapter decides from its command line, the editor from an item's
// engine arguments, and both must agree.

#include <string_view>

namespace mivora {

// `encoder`: an engine codec name or ffmpeg's encoder name; `pixelFormat`:
// ffmpeg's pixel format name (empty when the command names none).
inline bool OutputKeepsHdr(std::string_view encoder, std::string_view pixelFormat) {
  constexpr std::string_view kHdrEncoders[] = {"libx265", "libsvtav1", "libaom-av1", "libvpx-vp9"};
  bool carriesHdr = false;
  for (std::string_view name : kHdrEncoders) carriesHdr = carriesHdr || encoder == name;
  bool deep = pixelFormat.find("p10") != std::string_view::npos || pixelFormat.find("p12") != std::string_view::npos;
  return carriesHdr && deep;
}

// The same rule for an engine argument text ("-vcodec NAME ... -pix_fmt FORMAT").
inline bool ArgumentsKeepHdr(std::string_view arguments) {
  auto valueOf = [arguments](std::string_view option) -> std::string_view {
    size_t at = arguments.find(option);
    if (at == std::string_view::npos) return {};
    size_t start = at + option.size();
    size_t end = arguments.find(' ', start);
    return arguments.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  };
  return OutputKeepsHdr(valueOf("-vcodec "), valueOf("-pix_fmt "));
}

}  // namespace mivora
