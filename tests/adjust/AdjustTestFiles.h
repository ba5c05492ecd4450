#pragma once
// Profile files for the adjustment tests: copies of shipped profiles in a
// private folder, and reading single attributes back through the document.

#include <filesystem>
#include <string>

#include "profiles/XmlDocument.h"
#include "tests/support/TestEnvironment.h"

namespace mivora::test {

inline const std::string kAviProfile = "General Video/AVI - Audio Video Interleaved.xml";
inline const std::string kMp3Profile = "Audio/MP3 - MPEG Layer-3 Audio.xml";

// A private copy of the shipped profile at `relativePath`.
inline std::string CopyShippedProfile(const std::string& relativePath) {
  std::string target = MakeTempDir("profile") + "/" + std::filesystem::path(relativePath).filename().string();
  std::filesystem::copy_file(std::string(MIVORA_SOURCE_PROFILES) + "/" + relativePath, target);
  return target;
}

// An attribute of an element of the root, read through the document ("<none>"
// when the element or the attribute is missing).
inline std::string AttributeOf(const std::string& path, const std::string& element,
                               const std::string& attribute) {
  XmlDocument document;
  if (!document.Load(path)) return "<unreadable>";
  XmlNode node = document.Root().SelectChild(element, false);
  for (const auto& [name, value] : node.Attributes())
    if (name == attribute) return value;
  return "<none>";
}

}  // namespace mivora::test
