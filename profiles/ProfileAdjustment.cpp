#include "profiles/ProfileAdjustment.h"

#include <algorithm>

#include "common/Log.h"
#include "profiles/ParameterLists.h"

namespace mivora {
namespace {

void WriteElement(XmlDocument& document, std::string_view elementName, std::string_view value,
                  int32_t index) {
  XmlNode root = document.Root();
  XmlNode element = root.SelectChild(elementName, true);
  // "value" before "index": the line reader and the bit-rate reader need that order.
  element.SetAttribute("value", value);
  element.SetIntAttribute("index", index);
  root.AppendText(kElementLayoutText);
}

// Writes one bit-rate list's choice into its scalar and list element.
void WriteBitrate(XmlDocument& document, std::string_view scalarName, std::string_view listName,
                  const ListControl& control) {
  if (!control.HasSelection()) return;
  int32_t position = control.Selected();
  WriteElement(document, scalarName, BitrateValueFromItem(control.ShownText()), position);
  XmlNode root = document.Root();
  XmlNode list = root.SelectChild(listName, true);
  list.SetIntAttribute("index", position);
  root.AppendText(kElementLayoutText);
}

}  // namespace

int32_t FillListControl(const XmlDocument& document, std::string_view listName, ListControl& control) {
  control.Clear();
  ParameterList list = ReadParameterList(document, listName);
  for (std::string& item : list.items) control.AddItem(std::move(item));
  if (control.Count() > 0) control.Select(list.index);
  control.SetEnabled(control.Count() > 0);
  return static_cast<int32_t>(control.Count());
}

void WriteScalarFromControl(XmlDocument& document, std::string_view elementName,
                            const ListControl& control) {
  WriteElement(document, elementName, control.ShownText(), control.Selected());
}

void WriteListFromControl(XmlDocument& document, std::string_view elementName,
                          const ListControl& control) {
  std::string value;
  for (size_t i = 0; i < control.Count(); ++i) {
    if (i > 0) value += ',';
    value += control.Items()[i];
  }
  WriteElement(document, elementName, value, control.Selected());
}

void FillBitrateControl(const XmlDocument& document, std::string_view listName, ListControl& control) {
  control.Clear();
  ParameterList list = ReadParameterList(document, listName);
  for (const std::string& item : list.items) control.AddItem(item + std::string(kBitrateUnit));
  control.Select(list.index);
}

std::string BitrateValueFromItem(std::string_view itemText) {
  std::string_view value = itemText.substr(0, itemText.size() - std::min<size_t>(4, itemText.size()));
  size_t first = value.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  size_t last = value.find_last_not_of(" \t");
  return std::string(value.substr(first, last - first + 1));
}

bool RefillBitrateLists(const std::string& profilePath, ListControl& audio, ListControl& video) {
  XmlDocument document;
  if (!document.Load(profilePath)) return false;
  FillBitrateControl(document, "AudioBitrateList", audio);
  FillBitrateControl(document, "VideoBitrateList", video);
  return true;
}

bool WriteBitrateChoice(const std::string& profilePath, const ListControl& audio,
                        const ListControl& video) {
  XmlDocument document;
  if (!document.Load(profilePath)) {
    MLOG("WriteBitrateChoice, cannot open %s: %s", profilePath.c_str(), document.Error().c_str());
    return false;
  }
  WriteBitrate(document, "AudioBitrate", "AudioBitrateList", audio);
  WriteBitrate(document, "VideoBitrate", "VideoBitrateList", video);
  if (!document.Save()) {
    MLOG("WriteBitrateChoice, cannot save %s: %s", profilePath.c_str(), document.Error().c_str());
    return false;
  }
  return true;
}

}  // namespace mivora
