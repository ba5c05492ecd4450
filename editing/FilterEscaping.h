#pragma once
// How texts and paths travel inside the "-vf" filter chain of an engine
// command line, and how the engine adapter reads them back.
//
// The chain is a sequence of double-quoted segments on a command line that is
// split by the Windows rules, and the adapter splits it again at commas,
// colons and quotes. A watermark text or a path that held any of those
// characters would break the chain or change the engine's options, so such
// characters travel as "%XX" (two upper-case hex digits). Texts and paths
// without them travel unchanged. In paths ':' and '\' additionally travel as
// '#' and '$'; a literal '#' or '$' is percent-encoded so that the mapping can
// always be reversed.

#include <string>
#include <string_view>

namespace mivora {

// A watermark text for "drawtext=text='...'".
std::string EncodeFilterText(std::string_view text);
// A path for "fontfile='...'" and "movie=...": percent-encoding of the
// characters above, then ':' -> '#' and '\' -> '$'.
std::string EscapeFilterPath(std::string_view path);

// The adapter's side: the original text or path back.
std::string DecodeFilterText(std::string_view encoded);
std::string UnescapeFilterPath(std::string_view escaped);

}  // namespace mivora
