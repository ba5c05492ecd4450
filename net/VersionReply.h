#pragma once
// The program's own version and the version server's reply.

#include <string>
#include <string_view>

namespace mivora {

inline constexpr const char* kOwnVersionText = "1.30 Build 202";
inline constexpr int kOwnVersionNumber = 130;  // version 1.30 times 100
inline constexpr int kOwnBuildNumber = 202;

struct VersionInfo {
  std::string text;  // shown to the user
  int number = kOwnVersionNumber;
  int build = kOwnBuildNumber;
};

// Reads "<v>text</v>", "<i>number</i>" and "<b>build</b>" from a reply; each
// from the first opening tag to the first closing tag after it (tags are
// case-sensitive, the rest of the text is ignored). Only the first
// kVersionReplyBytes bytes of a reply count. A missing tag keeps the
// program's own value, so a reply without tags reads as the own version.
VersionInfo ParseVersionReply(std::string_view reply);
inline constexpr size_t kVersionReplyBytes = 1023;

// True when either the version number or the build number is above the
// program's own (the two are not compared as one version).
bool IsNewerThanOwn(const VersionInfo& version);

// "Found new version: V build B,do you want download now?"
std::string NewVersionQuestion(const VersionInfo& version);

}  // namespace mivora
