#pragma once
// Byte sizes, clock texts and the small arithmetic the list and progress use.

#include <cstdint>
#include <string>
#include <string_view>

namespace mivora {

// "%d Bytes" below 1024, else two truncated decimals of the largest unit that
// fits: 1536 -> "1.50 KB", 1048575 -> "1023.99 KB".
std::string FormatByteSize(uint64_t bytes);

// "hh:mm:ss"; hours above 99 take more digits.
std::string FormatClock(uint32_t seconds);

// "h:m:s" -> seconds. Fields are read from the left: "03:25" is 3 hours and 25
// seconds, a text without ':' is plain seconds, fractions are dropped.
int32_t ParseClock(std::string_view text);

// Leading digits scaled by the unit in the last two characters
// ("KB".."PB"); "12.34 MB" -> 12 MB.
int64_t ParseByteSize(std::string_view text);

// (bits per second >> 3) * seconds.
uint64_t BitrateToBytes(uint32_t bitsPerSecond, uint32_t seconds);

// A whole decimal number within [minimum, maximum] that fills `text`
// (strtoll's form: leading blanks and a sign allowed, nothing after the
// digits). False, leaving *value alone, for anything else.
bool ParseWholeNumber(const std::string& text, long long minimum, long long maximum, long long* value);

// Nearest integer, halves away from zero.
int64_t RoundHalfAway(double value);

}  // namespace mivora
