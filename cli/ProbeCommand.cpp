// mivora-cli probe FILE...: the facts the program learns about each source,
// a block per file in the order given: "file=PATH", then one "name=value"
// line per field in their fixed order, blocks parted by an empty line.
// The files are probed in parallel (no more at once than cores). When the
// engine cannot run at all it says why on standard error instead.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "cli/CliCommands.h"
#include "pipeline/EnginePath.h"
#include "pipeline/MediaInfo.h"
#include "pipeline/MediaProbe.h"

namespace mivora::cli {
namespace {

struct Probed {
  MediaInfo info;
  ProbeOutcome outcome;
};

std::vector<Probed> ProbeAll(const Args& files) {
  std::vector<Probed> results(files.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i; (i = next.fetch_add(1)) < files.size();)
      results[i].outcome = ProbeMedia(files[i], &results[i].info);
  };
  size_t cores = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> helpers;
  for (size_t i = 1; i < std::min(cores, files.size()); ++i) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  return results;
}

void Print(std::string_view name, std::string_view value) {
  std::printf("%.*s=%.*s\n", static_cast<int>(name.size()), name.data(), static_cast<int>(value.size()),
              value.data());
}

}  // namespace

int RunProbe(const Args& args) {
  if (args.empty()) {
    std::fprintf(stderr, "usage: mivora-cli probe FILE...\n");
    return 2;
  }
  std::string engineProblem = EngineProblem();
  if (!engineProblem.empty()) {
    std::fprintf(stderr, "mivora-cli probe: %s\n", engineProblem.c_str());
    return 1;
  }
  std::vector<Probed> results = ProbeAll(args);
  bool allFound = true;
  for (size_t i = 0; i < args.size(); ++i) {
    if (!results[i].outcome.engineError.empty()) {
      std::fprintf(stderr, "mivora-cli probe: %s\n", results[i].outcome.engineError.c_str());
      return 1;
    }
    if (i > 0) std::printf("\n");
    Print("file", args[i]);
    for (const auto& [name, value] : MediaInfoFields(results[i].info)) Print(name, value);
    allFound = allFound && results[i].outcome.found;
  }
  return allFound ? 0 : 1;
}

}  // namespace mivora::cli
