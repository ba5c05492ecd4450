#include "profiles/ParameterLists.h"

namespace mivora {

std::vector<std::string> SplitListValue(std::string_view value) {
  std::vector<std::string> items;
  while (true) {
    size_t comma = value.find(',');
    std::string_view piece = value.substr(0, comma);
    if (!piece.empty()) items.emplace_back(piece);
    if (comma == std::string_view::npos) return items;
    value.remove_prefix(comma + 1);
  }
}

ParameterList ReadParameterList(const XmlDocument& document, std::string_view listName) {
  ParameterList list;
  XmlNode element = document.Root().SelectChild(listName, false);
  list.items = SplitListValue(element.GetAttribute("value", ""));
  list.index = element.GetIntAttribute("index", 0);
  return list;
}

int32_t ReadSelectedBitrate(std::string_view profilePath, std::string_view listName) {
  XmlDocument document;
  if (!document.Load(profilePath)) return 0;
  for (const XmlNode& element : document.Root().ChildElements()) {
    if (element.Name() != listName) continue;
    std::vector<std::string> items;
    for (const auto& [name, value] : element.Attributes()) {
      if (name == "value") {
        items = SplitListValue(value);
      } else if (name == "index") {
        int32_t position = LeadingInteger(value);
        if (position < 0 || static_cast<size_t>(position) >= items.size()) return 0;
        // The item's leading digits; a sign or blank is not part of a bit rate.
        const std::string& item = items[position];
        if (item.empty() || item[0] < '0' || item[0] > '9') return 0;
        return LeadingInteger(item);
      }
    }
  }
  return 0;
}

}  // namespace mivora
