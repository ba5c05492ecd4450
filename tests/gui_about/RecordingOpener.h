#pragma once
// Stands in for the desktop's opener while a window test runs: records what
// would have been opened and answers with a chosen result (a success also
// reaches the outcome handler at once).

#include <string>
#include <vector>

#include "net/OpenLink.h"

namespace mivora::test {

class RecordingOpener : public LinkOpener {
 public:
  RecordingOpener() { SetLinkOpener(this); }
  ~RecordingOpener() override { SetLinkOpener(nullptr); }
  int OpenAddress(const std::string& address, LinkOutcome outcome) override {
    opened.push_back(address);
    return Answer(outcome);
  }
  int RunHelpCommand(const std::vector<std::string>& argv, LinkOutcome outcome) override {
    opened.push_back(argv.empty() ? std::string() : argv[0]);
    return Answer(outcome);
  }
  int Answer(const LinkOutcome& outcome) const {
    if (result > kOpenFailedLimit && outcome) outcome(result);
    return result;
  }
  std::vector<std::string> opened;
  int result = kOpenSucceeded;
};

}  // namespace mivora::test
