// mivora-cli convert --profile PROFILE -o FOLDER [options] [edit options] FILE...
// Adds the files as dropping them on the window does (any readable file;
// folders, missing files and duplicates skipped, each with its reason),
// builds the jobs and runs the batch with a progress line per file. Ctrl-C,
// a closed terminal (SIGHUP) and SIGTERM cancel like the Cancel button.

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <filesystem>

#include "cli/CliCommands.h"
#include "cli/EditOptions.h"
#include "cli/ProfileChoice.h"
#include "cli/TerminalBatchView.h"
#include "common/Folders.h"
#include "common/Log.h"
#include "pipeline/BatchLoop.h"
#include "pipeline/BatchRunner.h"
#include "pipeline/TaskBuilder.h"

namespace mivora::cli {
namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) { g_interrupted = true; }

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a question waiting for input ends as No
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

constexpr const char* kUsage =
    "usage: mivora-cli convert --profile PROFILE -o FOLDER [--overwrite | --skip-existing] [--yes]\n"
    "                          [--keep-partial] [--shutdown] [--jobs N] [--verbose] [edit options] FILE...\n"
    "  --jobs N   conversions at once (1-16; default one per core, at most 4)\n"
    "  --verbose  print the converter's own lines as they come (they always go to Log.txt)\n";

// The value of --jobs: a whole number 1..kMaxConversionsAtOnce.
bool ParseJobCount(const std::string& text, int* count) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  *count = std::stoi(text);
  return *count >= 1 && *count <= BatchRunner::kMaxConversionsAtOnce;
}

}  // namespace

int RunConvert(const Args& args) {
  std::string profileText, folder, error;
  TerminalAnswers answers;
  bool keepPartial = false, shutdown = false, verbose = false;
  int conversionsAtOnce = BatchRunner::DefaultConversionsAtOnce();
  EditSettings edits;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size();) {
    bool matched = false;
    if (!ParseEditOption(args, &i, &edits, &matched, &error)) {
      std::fprintf(stderr, "mivora-cli convert: %s\n", error.c_str());
      return 2;
    }
    if (matched) continue;
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    if ((a == "--profile" || a == "-p") && hasValue) profileText = args[++i];
    else if ((a == "-o" || a == "--output") && hasValue) folder = args[++i];
    else if (a == "--overwrite") answers.existing = TerminalAnswers::kOverwrite;
    else if (a == "--skip-existing") answers.existing = TerminalAnswers::kSkip;
    else if (a == "--yes") answers.yesToAll = true;
    else if (a == "--keep-partial") keepPartial = true;
    else if (a == "--shutdown") shutdown = true;
    else if (a == "--verbose" || a == "-v") verbose = true;
    else if (a == "--jobs" && hasValue) {
      if (!ParseJobCount(args[++i], &conversionsAtOnce)) {
        std::fprintf(stderr, "mivora-cli convert: --jobs takes a number from 1 to %d\n",
                     BatchRunner::kMaxConversionsAtOnce);
        return 2;
      }
    }
    else if (a == "--") {
      files.insert(files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (!a.empty() && a[0] == '-' && !FileExists(a)) {
      std::fprintf(stderr, "mivora-cli convert: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    } else files.push_back(a);
    ++i;
  }
  if (profileText.empty() || folder.empty() || files.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  // Whole paths, as a drop on the window gives them: the free-space check
  // and the messages need to know where a file really is.
  auto whole = [](std::string* path) {
    std::error_code failed;
    std::filesystem::path absolute = std::filesystem::absolute(*path, failed);
    if (!failed) *path = absolute.lexically_normal().string();
  };
  whole(&folder);
  for (std::string& file : files) whole(&file);
  TargetProfile target;
  if (!ResolveProfile(profileText, &target, &error)) {
    std::fprintf(stderr, "mivora-cli convert: %s\n", error.c_str());
    return 1;
  }

  SourceList list;
  AddFilesResult added = AddFiles(list, files, target, AddRoute::kDrop);
  for (size_t i = 0; i < added.skipped.size(); ++i)
    std::fprintf(stderr, "skipped %s (%s)\n", added.skipped[i].c_str(), added.skipReasons[i].c_str());
  if (added.profileFailed) {
    std::fprintf(stderr, "mivora-cli convert: %s\n", added.error.c_str());
    return 1;
  }
  if (!added.engineError.empty()) {
    // The engine's own words go to the log (and, asked for, to the terminal).
    MLOG("RunConvert, the engine cannot run: %s", added.engineError.c_str());
    if (verbose) std::fprintf(stderr, "%s\n", added.engineError.c_str());
    std::fprintf(stderr, "mivora-cli convert: %s\n",
                 FailureMessage(FailureKind::kEngineCannotStart).c_str());
    return 1;
  }
  if (list.Count() == 0) {
    std::fprintf(stderr, "mivora-cli convert: no files to convert\n");
    return 1;
  }
  if (HasEdits(edits)) {
    CompleteEdits(&edits);
    for (size_t i = 0; i < list.Count(); ++i)
      list.Update(i, [&](SourceItem& item) { item.editSettings = std::make_unique<EditSettings>(edits); });
  }
  JobListResult jobs = BuildJobList(list, folder);
  if (!jobs.ok) {
    std::fprintf(stderr, "mivora-cli convert: %s\n", jobs.error.c_str());
    return 1;
  }

  std::vector<std::string> sources;
  for (const ConversionJob& job : jobs.jobs) sources.push_back(job.sourcePath);
  CatchInterrupts();
  TerminalBatchView view(sources, answers, g_interrupted);
  view.SetVerbose(verbose);
  BatchRunner runner(view);
  for (const ConversionJob& job : jobs.jobs) runner.AddJob(job);
  runner.SetDeleteUnfinished(!keepPartial);
  runner.SetAutoShutdown(shutdown);
  runner.SetConversionsAtOnce(conversionsAtOnce);
  if (!runner.Start(&error)) {
    std::fprintf(stderr, "mivora-cli convert: cannot start the batch: %s\n", error.c_str());
    return 1;
  }
  RunBatchLoop(runner, {.cancelRequested = [] { return g_interrupted.load(); }});
  if (g_interrupted && !view.completed()) {
    std::fprintf(stderr, "\nCancelled.%s\n", keepPartial ? "" : " Unfinished files were removed.");
    return 130;
  }
  return view.completed() && view.allSucceeded() ? 0 : 1;
}

}  // namespace mivora::cli
