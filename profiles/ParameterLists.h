#pragma once
// Reading the value lists of a profile file through its XML tree (rather than
// the line reader): the items of a list and the selected bit rate.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "profiles/Profile.h"
#include "profiles/XmlDocument.h"

namespace mivora {

// The list element `listName` of the root: its value cut at commas, empty
// pieces skipped, and its index (0 when missing or empty). An empty list when
// the element is missing.
ParameterList ReadParameterList(const XmlDocument& document, std::string_view listName);

// The item of the bit-rate list `listName` at its index, as a number of
// kbit/s (its leading digits); 0 when the file does not parse, the list or
// its index is missing, or the index lies outside the list.
int32_t ReadSelectedBitrate(std::string_view profilePath, std::string_view listName);

// Items of a comma-separated list value, empty pieces skipped.
std::vector<std::string> SplitListValue(std::string_view value);

}  // namespace mivora
