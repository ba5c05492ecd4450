#pragma once
// The upgrade check without a window: ask the version server, compare, fetch
// the update archive and unpack its what's-new page. A window runs it off its
// own thread and then acts on the outcome (a message, a question, the page).
//
// What it trusts: the servers are reached over plain HTTP, so anyone on the
// way can change a reply or the archive. Nothing from them is ever run: the
// reply only picks the message, and the archive's files are unpacked into a
// fresh private folder (nothing may land outside it) and shown as a page
// without scripts.

#include <atomic>
#include <chrono>
#include <string>

#include "net/VersionReply.h"

namespace mivora {

// Messages of the check, as the user sees them.
inline constexpr const char* kCannotConnectText =
    "Can not connect to the server,please check your internet settings.";
inline constexpr const char* kUpToDateText = "Your software is up to date";
inline constexpr const char* kNoUpgradeServerText =
    "This build of Mivora has no upgrade server, so it cannot look for a newer version.";

// The two servers: one answers the version query, the other serves the
// update archive, the download page and the support page. A host may carry a
// ":port". Empty hosts: the build has no upgrade check.
struct UpgradeServers {
  std::string versionHost;
  std::string siteHost;

  std::string VersionQueryUrl() const { return "http://" + versionHost + "/cgi-bin/getversion?get&p=mvr"; }
  std::string ArchiveUrl() const { return "http://" + siteHost + "/newver_mvr.zip"; }
  std::string DownloadPageUrl() const { return "http://" + siteHost + "/download.html"; }
  std::string SupportPageUrl() const { return "http://" + siteHost + "/contact.html"; }
};

// The servers this build was configured with.
UpgradeServers BuiltInUpgradeServers();

struct UpgradeLimits {
  std::chrono::milliseconds versionQuery{20000};
  std::chrono::milliseconds download{120000};
};

enum class UpgradeOutcome {
  kNoServer,          // the build names no version server
  kCannotConnect,     // no (usable) reply to the version query
  kUpToDate,
  kOfferDownloadPage, // newer version, but no archive came: ask `question`, then open the download page
  kShowWhatsNew,      // newer version: show `whatsNewPage`, then RemoveTree(`whatsNewFolder`)
  kNothingToShow,     // newer version, but the archive did not unpack (logged only)
  kCancelled,
};

struct UpgradeResult {
  UpgradeOutcome outcome = UpgradeOutcome::kCannotConnect;
  VersionInfo version;
  std::string question;        // NewVersionQuestion(version) when newer
  std::string whatsNewFolder;  // the fresh folder the archive was unpacked into
  std::string whatsNewPage;    // its "newver.html"
};

// Runs the whole check on the calling thread; blocks for at most about the
// sum of the limits. `cancel` may be set from another thread at any time.
UpgradeResult RunUpgradeCheck(const UpgradeServers& servers, const UpgradeLimits& limits,
                              const std::atomic<bool>* cancel = nullptr);

// True when the first 199 bytes of the file contain "html" and the file does
// not start like a ZIP archive: the server sent a web page instead.
bool LooksLikeWebPage(const std::string& path);

// "file://" address of a local file.
std::string FileAddress(const std::string& path);

}  // namespace mivora
