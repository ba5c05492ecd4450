#include "net/UpgradeCheck.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

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

UpgradeResult Finish(UpgradeResult result, const char* what) {
  MLOG("Leave: RunUpgradeCheck, %s", what);
  return result;
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
  if (servers.versionHost.empty()) {
    result.outcome = UpgradeOutcome::kNoServer;
    return Finish(result, "no version server in this build");
  }

  char reply[kReplyBufferBytes] = {};
  HttpGetRequest query;
  query.buffer = reply;
  query.bufferSize = sizeof reply;
  query.totalTimeout = limits.versionQuery;
  query.connectTimeout = limits.versionQuery;
  query.cancel = cancel;
  bool answered = HttpGet(servers.VersionQueryUrl(), query);
  if (Cancelled(cancel)) {
    result.outcome = UpgradeOutcome::kCancelled;
    return Finish(result, "cancelled");
  }
  // An error page is no answer: it must not read as "up to date".
  if (!answered || !Succeeded(query.statusCode)) {
    result.outcome = UpgradeOutcome::kCannotConnect;
    return Finish(result, "no reply");
  }

  result.version = ParseVersionReply(std::string_view(reply, std::strlen(reply)));
  MLOG("RunUpgradeCheck, server version: %s, number %d, build %d", result.version.text.c_str(),
       result.version.number, result.version.build);
  if (!IsNewerThanOwn(result.version)) {
    result.outcome = UpgradeOutcome::kUpToDate;
    return Finish(result, "up to date");
  }
  result.question = NewVersionQuestion(result.version);

  std::string archive = TempFileName("zip");
  HttpGetRequest download;
  download.savePath = archive;
  download.totalTimeout = limits.download;
  download.connectTimeout = limits.download;
  download.cancel = cancel;
  bool fetched = !archive.empty() && !servers.siteHost.empty() &&
                 HttpGet(servers.ArchiveUrl(), download) && Succeeded(download.statusCode);
  if (Cancelled(cancel)) {
    RemoveArchive(archive);
    result.outcome = UpgradeOutcome::kCancelled;
    return Finish(result, "cancelled");
  }
  if (!fetched || LooksLikeWebPage(archive)) {
    RemoveArchive(archive);
    result.outcome = UpgradeOutcome::kOfferDownloadPage;
    return Finish(result, "no archive; offering the download page");
  }

  std::string folder = MakeTempFolder("mivora-newver-");
  bool unpacked = !folder.empty() && UnpackArchive(archive, folder);
  RemoveArchive(archive);
  if (Cancelled(cancel)) {
    RemoveTree(folder);
    result.outcome = UpgradeOutcome::kCancelled;
    return Finish(result, "cancelled");
  }
  std::string page = folder + "/newver.html";
  if (!unpacked || !FileExists(page)) {
    RemoveTree(folder);
    result.outcome = UpgradeOutcome::kNothingToShow;
    return Finish(result, unpacked ? "the archive has no newver.html" : "the archive did not unpack");
  }
  result.outcome = UpgradeOutcome::kShowWhatsNew;
  result.whatsNewFolder = folder;
  result.whatsNewPage = page;
  return Finish(result, "what's new unpacked");
}

}  // namespace mivora
