#include "settings/ConfigXml.h"

#include <tinyxml2.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "common/Folders.h"
#include "common/PrivateFiles.h"
#include "common/TextCodec.h"

namespace mivora {
namespace {

// A larger number in the file is not a choice the program offers.
constexpr int kMaxConversionsAtOnce = 16;

}  // namespace

std::string CConfigXml::DefaultPath() { return AppDataFolder("Mivora") + "/config.xml"; }

void CConfigXml::SetRecentDirs(const std::vector<std::string>* dirs) {
  recentDirs_.clear();
  if (dirs) recentDirs_ = *dirs;
}

bool CConfigXml::LoadConfig(const std::string& path) {
  tinyxml2::XMLDocument doc;
  if (doc.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS) return false;
  const tinyxml2::XMLElement* root = doc.RootElement();
  if (root == nullptr) return false;

  recentDirs_.clear();
  lastProfileId_.clear();
  conversionsAtOnce_ = 0;
  // Depth first in document order, without recursion.
  std::vector<const tinyxml2::XMLElement*> pending;
  for (auto* child = root->LastChildElement(); child; child = child->PreviousSiblingElement())
    pending.push_back(child);
  while (!pending.empty()) {
    const tinyxml2::XMLElement* element = pending.back();
    pending.pop_back();
    std::string_view name = element->Name();
    if (name == "batch") {
      int count = element->IntAttribute("conversionsAtOnce", 0);
      conversionsAtOnce_ = count > 0 && count <= kMaxConversionsAtOnce ? count : 0;
    }
    for (auto* attr = element->FirstAttribute(); attr; attr = attr->Next()) {
      if (std::string_view(attr->Name()) != "path") continue;
      if (name == "dir") recentDirs_.push_back(RepairUtf8(attr->Value()));
      else if (name == "xml" && lastProfileId_.empty()) lastProfileId_ = attr->Value();
    }
    for (auto* child = element->LastChildElement(); child; child = child->PreviousSiblingElement())
      pending.push_back(child);
  }
  return true;
}

bool CConfigXml::SaveConfig(const std::string& path) const {
  tinyxml2::XMLDocument doc;
  doc.InsertEndChild(doc.NewDeclaration("xml version=\"1.0\" encoding=\"UTF-8\""));
  tinyxml2::XMLElement* config = doc.NewElement("config");
  doc.InsertEndChild(config);
  tinyxml2::XMLElement* recent = doc.NewElement("recent");
  config->InsertEndChild(recent);
  for (const std::string& dir : recentDirs_) {
    tinyxml2::XMLElement* element = doc.NewElement("dir");
    element->SetAttribute("path", RepairUtf8(dir).c_str());
    recent->InsertEndChild(element);
  }
  if (!lastProfileId_.empty()) {
    tinyxml2::XMLElement* element = doc.NewElement("xml");
    element->SetAttribute("path", lastProfileId_.c_str());
    recent->InsertEndChild(element);
  }
  if (conversionsAtOnce_ > 0) {
    tinyxml2::XMLElement* batch = doc.NewElement("batch");
    batch->SetAttribute("conversionsAtOnce", conversionsAtOnce_);
    config->InsertEndChild(batch);
  }

  tinyxml2::XMLPrinter text;
  doc.Print(&text);
  return ReplacePrivateFile(path, std::string_view(text.CStr(), static_cast<size_t>(text.CStrSize() - 1)));
}

}  // namespace mivora
