#include "RatioReporter.h"

#include <cstdio>

namespace mivora::bench {
namespace {

bool IsReference(const std::string& variant) { return variant == "swscale" || variant == "memcpy"; }

}  // namespace

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
    const std::string name = run.benchmark_name();
    const double time = run.GetAdjustedRealTime() *
                        (run.time_unit == benchmark::kMicrosecond ? 1e3
                         : run.time_unit == benchmark::kMillisecond ? 1e6 : 1.0);
    // Over repetitions the fastest run counts: the machine may be shared,
    // and interference only ever adds time.
    auto found = nanoseconds_.find(name);
    if (found == nanoseconds_.end()) {
      nanoseconds_[name] = time;
    } else if (time < found->second) {
      found->second = time;
    }
  }
}

int RatioReporter::PrintRatios(const std::vector<std::string>& names) const {
  std::printf("\nratios to the reference (fastest of the repetitions, one thread)\n");
  std::printf("%-54s %12s %12s %8s\n", "measurement", "time (us)", "ref (us)", "ratio");
  int printed = 0;
  for (const std::string& name : names) {
    if (!nanoseconds_.count(name)) continue;
    const size_t slash = name.rfind('/');
    if (slash == std::string::npos || IsReference(name.substr(slash + 1))) continue;
    const std::string stem = name.substr(0, slash);
    for (const char* reference : {"swscale", "memcpy"}) {
      const std::string key = stem + "/" + reference;
      auto found = nanoseconds_.find(key);
      if (found == nanoseconds_.end()) continue;
      const double time = nanoseconds_.at(name);
      std::printf("%-54s %12.1f %12.1f %8.2f\n", name.c_str(), time / 1e3, found->second / 1e3,
                  time / found->second);
      ++printed;
      break;
    }
  }
  return printed;
}

}  // namespace mivora::bench
