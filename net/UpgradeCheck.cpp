#include "net/UpgradeCheck.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>

#include "common/Folders.h"
#include "common/Log.h"
#include "net/ArchiveUnpack.h"
#include "net/HttpGet.h"

namespace mivora {
namespace {

constexpr size_t kReplyBufferBytes = 1024;
constexpr size_t kWebPageProbeBytes = 199;

bool Succeeded(int statusCode) { return statusCode >= 200 && statusCode < 300; }

bool Cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

void RemoveArchive(const std::string& archive) {
  if (!archive.empty()) ::unlink(archive.c_str());
}

UpgradeResult Ended(UpgradeResult result, UpgradeOutcome outcome, const char* what) {
  result.outcome = outcome;
  MLOG("Leave: RunUpgradeCheck, %s", what);
  return result;
}

// Asks the version server and fills in its version and, when newer, the
// question; the result when the check ends here.
std::optional<UpgradeResult> AskVersion(const UpgradeServers& servers, std::chrono::milliseconds limit,
                                        const std::atomic<bool>* cancel, UpgradeResult& result) {
  char reply[kReplyBufferBytes] = {};
  HttpGetRequest query;
  query.buffer = reply;
  query.bufferSize = sizeof reply;
  query.totalTimeout = limit;
  query.connectTimeout = limit;
  query.cancel = cancel;
  bool answered = HttpGet(servers.VersionQueryUrl(), query);
  if (Cancelled(cancel)) return Ended(result, UpgradeOutcome::kCancelled, "cancelled");
  // An error page is no answer: it must not read as "up to date".
  if (!answered || !Succeeded(query.statusCode)) return Ended(result, UpgradeOutcome::kCannotConnect, "no reply");

  result.version = ParseVersionReply(std::string_view(reply, std::strlen(reply)));
  MLOG("RunUpgradeCheck, server version: %s, number %d, build %d", result.version.text.c_str(),
       result.version.number, result.version.build);
  if (!IsNewerThanOwn(result.version)) return Ended(result, UpgradeOutcome::kUpToDate, "up to date");
  result.question = NewVersionQuestion(result.version);
  return std::nullopt;
}

// Fetches the update archive into `archive`; the result when the check ends
// here (the archive then removed).
std::optional<UpgradeResult> FetchArchive(const UpgradeServers& servers, std::chrono::milliseconds limit,
                                          const std::atomic<bool>* cancel, const std::string& archive,
                                          const UpgradeResult& result) {
  HttpGetRequest download;
  download.savePath = archive;
  download.totalTimeout = limit;
  download.connectTimeout = limit;
  download.cancel = cancel;
  bool fetched = !archive.empty() && !servers.siteHost.empty() &&
                 HttpGet(servers.ArchiveUrl(), download) && Succeeded(download.statusCode);
  if (Cancelled(cancel)) {
    RemoveArchive(archive);
    return Ended(result, UpgradeOutcome::kCancelled, "cancelled");
  }
  if (!fetched || LooksLikeWebPage(archive)) {
    RemoveArchive(archive);
    return Ended(result, UpgradeOutcome::kOfferDownloadPage, "no archive; offering the download page");
  }
  return std::nullopt;
}

// Unpacks the archive (then removes it) into a fresh folder and finds its page.
UpgradeResult UnpackWhatsNew(const std::string& archive, const std::atomic<bool>* cancel, UpgradeResult result) {
  std::string folder = MakeTempFolder("mivora-newver-");
  bool unpacked = !folder.empty() && UnpackArchive(archive, folder);
  RemoveArchive(archive);
  if (Cancelled(cancel)) {
    RemoveTree(folder);
    return Ended(result, UpgradeOutcome::kCancelled, "cancelled");
  }
  std::string page = folder + "/newver.html";
  if (!unpacked || !FileExists(page)) {
    RemoveTree(folder);
    return Ended(result, UpgradeOutcome::kNothingToShow,
                 unpacked ? "the archive has no newver.html" : "the archive did not unpack");
  }
  result.whatsNewFolder = folder;
  result.whatsNewPage = page;
  return Ended(result, UpgradeOutcome::kShowWhatsNew, "what's new unpacked");
}

}  // namespace

UpgradeServers BuiltInUpgradeServers() { return {MIVORA_VERSION_HOST, MIVORA_SITE_HOST}; }

bool LooksLikeWebPage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  char head[kWebPageProbeBytes] = {};
  in.read(head, sizeof head);
  std::string_view text(head, static_cast<size_t>(in.gcount()));
  // An archive names its files in its first bytes ("newver.html" among
  // them), so one that starts like an archive is never taken for a page.
  if (text.substr(0, 4) == std::string_view("PK\x03\x04", 4)) return false;
  return text.find("html") != std::string_view::npos;
}

std::string FileAddress(const std::string& path) { return "file://" + path; }

UpgradeResult RunUpgradeCheck(const UpgradeServers& servers, const UpgradeLimits& limits,
                              const std::atomic<bool>* cancel) {
  MLOG("Enter: RunUpgradeCheck");
  UpgradeResult result;
  if (servers.versionHost.empty()) return Ended(result, UpgradeOutcome::kNoServer, "no version server in this build");
  if (std::optional<UpgradeResult> ended = AskVersion(servers, limits.versionQuery, cancel, result)) return *ended;
  const std::string archive = TempFileName("zip");
  if (std::optional<UpgradeResult> ended = FetchArchive(servers, limits.download, cancel, archive, result))
    return *ended;
  return UnpackWhatsNew(archive, cancel, std::move(result));
}

}  // namespace mivora
