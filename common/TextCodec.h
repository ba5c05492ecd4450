#pragma once
// Text conversions. UTF-8 is the narrow text everywhere; text that arrives from
// outside (file names, engine output, metadata) may hold invalid sequences,
// which are replaced by U+FFFD so that nothing invalid is passed on.

#include <string>
#include <string_view>

namespace mivora {

// A copy of `text` in which every invalid UTF-8 sequence is replaced by U+FFFD.
std::string RepairUtf8(std::string_view text);
bool IsValidUtf8(std::string_view text);

// UTF-8 <-> UTF-16. Invalid input is repaired first.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// The names the program's callers use for the conversions between the
// narrow text and UTF-8: here the narrow text is UTF-8, so both validate and
// repair. Unlike a fixed buffer, nothing is cut and every call owns its result.
inline std::string AnsiToUtf8(std::string_view text) { return RepairUtf8(text); }
inline std::string Utf8ToAnsi(std::string_view text) { return RepairUtf8(text); }

}  // namespace mivora
