#pragma once
// Console reporter that also remembers each benchmark's time per iteration
// and, at the end, prints every measurement as a ratio to its reference.
//
// Names are "<group>/<case>/<variant>"; every variant is compared with the
// reference variant ("swscale" or "memcpy") of the same group and case. With
// repetitions, each benchmark's fastest repetition is used.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace mivora::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override;
  // Prints the ratio table in the order of `names` (those measured); returns
  // the number of ratios printed.
  int PrintRatios(const std::vector<std::string>& names) const;

 private:
  std::map<std::string, double> nanoseconds_;
};

}  // namespace mivora::bench
