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
#include "sources/AddFiles.h"

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

// What the command line asks for.
struct ConvertRequest {
  std::string profileText, folder;
  TerminalAnswers answers;
  bool keepPartial = false, shutdown = false, verbose = false;
  int conversionsAtOnce = BatchRunner::DefaultConversionsAtOnce();
  EditSettings edits;
  std::vector<std::string> files;
};

// A flag or a value option at args[*i]; moves *i past it. False when `a` is none.
bool TakeOption(const Args& args, size_t* i, ConvertRequest* request, int* exitCode) {
  const std::string& a = args[*i];
  const bool hasValue = *i + 1 < args.size();
  if ((a == "--profile" || a == "-p") && hasValue) request->profileText = args[++*i];
  else if ((a == "-o" || a == "--output") && hasValue) request->folder = args[++*i];
  else if (a == "--overwrite") request->answers.existing = TerminalAnswers::kOverwrite;
  else if (a == "--skip-existing") request->answers.existing = TerminalAnswers::kSkip;
  else if (a == "--yes") request->answers.yesToAll = true;
  else if (a == "--keep-partial") request->keepPartial = true;
  else if (a == "--shutdown") request->shutdown = true;
  else if (a == "--verbose" || a == "-v") request->verbose = true;
  else if (a == "--jobs" && hasValue) {
    if (!ParseJobCount(args[++*i], &request->conversionsAtOnce)) {
      std::fprintf(stderr, "mivora-cli convert: --jobs takes a number from 1 to %d\n",
                   BatchRunner::kMaxConversionsAtOnce);
      *exitCode = 2;
    }
  } else {
    return false;
  }
  ++*i;
  return true;
}

// Reads the arguments; 0 when the command can go on, else its exit status.
int ParseRequest(const Args& args, ConvertRequest* request) {
  std::string error;
  for (size_t i = 0; i < args.size();) {
    bool matched = false;
    if (!ParseEditOption(args, &i, &request->edits, &matched, &error)) {
      std::fprintf(stderr, "mivora-cli convert: %s\n", error.c_str());
      return 2;
    }
    if (matched) continue;
    int exitCode = 0;
    if (TakeOption(args, &i, request, &exitCode)) {
      if (exitCode != 0) return exitCode;
      continue;
    }
    const std::string& a = args[i];
    if (a == "--") {
      request->files.insert(request->files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (!a.empty() && a[0] == '-' && !FileExists(a)) {
      std::fprintf(stderr, "mivora-cli convert: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    }
    request->files.push_back(a);
    ++i;
  }
  if (request->profileText.empty() || request->folder.empty() || request->files.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  return 0;
}

// Whole paths, as a drop on the window gives them: the free-space check and
// the messages need to know where a file really is.
void MakeWhole(std::string* path) {
  std::error_code failed;
  std::filesystem::path absolute = std::filesystem::absolute(*path, failed);
  if (!failed) *path = absolute.lexically_normal().string();
}

// Adds the files as a drop does and gives them the edits asked for; 0 when
// there is something to convert, else the exit status.
int ListFiles(const ConvertRequest& request, SourceList* list) {
  TargetProfile target;
  std::string error;
  if (!ResolveProfile(request.profileText, &target, &error)) {
    std::fprintf(stderr, "mivora-cli convert: %s\n", error.c_str());
    return 1;
  }
  AddFilesResult added = AddFiles(*list, request.files, target, AddRoute::kDrop);
  for (size_t i = 0; i < added.skipped.size(); ++i)
    std::fprintf(stderr, "skipped %s (%s)\n", added.skipped[i].c_str(), added.skipReasons[i].c_str());
  if (added.profileFailed) {
    std::fprintf(stderr, "mivora-cli convert: %s\n", added.error.c_str());
    return 1;
  }
  if (!added.engineError.empty()) {
    // The engine's own words go to the log (and, asked for, to the terminal).
    MLOG("RunConvert, the engine cannot run: %s", added.engineError.c_str());
    if (request.verbose) std::fprintf(stderr, "%s\n", added.engineError.c_str());
    std::fprintf(stderr, "mivora-cli convert: %s\n", FailureMessage(FailureKind::kEngineCannotStart).c_str());
    return 1;
  }
  if (list->Count() == 0) {
    std::fprintf(stderr, "mivora-cli convert: no files to convert\n");
    return 1;
  }
  if (HasEdits(request.edits)) {
    EditSettings edits = request.edits;
    CompleteEdits(&edits);
    for (size_t i = 0; i < list->Count(); ++i)
      list->Update(i, [&](SourceItem& item) { item.editSettings = std::make_unique<EditSettings>(edits); });
  }
  return 0;
}

// Runs the batch with a progress line per file; the exit status.
int RunJobs(const ConvertRequest& request, const std::vector<ConversionJob>& jobs) {
  std::vector<std::string> sources;
  for (const ConversionJob& job : jobs) sources.push_back(job.sourcePath);
  CatchInterrupts();
  TerminalBatchView view(sources, request.answers, g_interrupted);
  view.SetVerbose(request.verbose);
  BatchRunner runner(view);
  for (const ConversionJob& job : jobs) runner.AddJob(job);
  runner.SetDeleteUnfinished(!request.keepPartial);
  runner.SetAutoShutdown(request.shutdown);
  runner.SetConversionsAtOnce(request.conversionsAtOnce);
  std::string error;
  if (!runner.Start(&error)) {
    std::fprintf(stderr, "mivora-cli convert: cannot start the batch: %s\n", error.c_str());
    return 1;
  }
  RunBatchLoop(runner, {.cancelRequested = [] { return g_interrupted.load(); }});
  if (g_interrupted && !view.completed()) {
    std::fprintf(stderr, "\nCancelled.%s\n", request.keepPartial ? "" : " Unfinished files were removed.");
    return 130;
  }
  return view.completed() && view.allSucceeded() ? 0 : 1;
}

}  // namespace

int RunConvert(const Args& args) {
  ConvertRequest request;
  if (int exitCode = ParseRequest(args, &request); exitCode != 0) return exitCode;
  MakeWhole(&request.folder);
  for (std::string& file : request.files) MakeWhole(&file);
  SourceList list;
  if (int exitCode = ListFiles(request, &list); exitCode != 0) return exitCode;
  JobListResult jobs = BuildJobList(list, request.folder);
  if (!jobs.ok) {
    std::fprintf(stderr, "mivora-cli convert: %s\n", jobs.error.c_str());
    return 1;
  }
  return RunJobs(request, jobs.jobs);
}

}  // namespace mivora::cli
