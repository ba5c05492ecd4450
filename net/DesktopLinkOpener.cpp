#include "net/DesktopLinkOpener.h"

#include <future>
#include <memory>
#include <thread>

#include "common/Log.h"
#include "platform/ChildProcess.h"

namespace mivora {

DesktopLinkOpener::DesktopLinkOpener(std::string opener, std::chrono::milliseconds exitWait)
    : opener_(std::move(opener)), exitWait_(exitWait) {}

int DesktopLinkOpener::OpenAddress(const std::string& address, LinkOutcome outcome) {
  return Start({opener_, address}, std::move(outcome));
}

int DesktopLinkOpener::RunHelpCommand(const std::vector<std::string>& argv, LinkOutcome outcome) {
  std::vector<std::string> command = argv;
  if (command.empty()) command.emplace_back();
  command[0] = opener_;  // the help viewer of this system
  return Start(command, std::move(outcome));
}

int DesktopLinkOpener::Start(const std::vector<std::string>& argv, LinkOutcome outcome) const {
  ChildOptions options;
  options.searchPath = true;
  // The handler it starts must outlive it: no group of its own to end.
  options.ownProcessGroup = false;
  options.stdio.error = 2;
  std::string error;
  int errorNumber = 0;
  std::shared_ptr<ChildProcess> child = ChildProcess::Start(argv, options, &error, &errorNumber);
  if (!child) {
    MLOG("DesktopLinkOpener, %s", error.c_str());
    return LinkFailureForErrno(errorNumber);
  }
  // One thread reaps the opener whenever it ends; another gives the verdict
  // once it has ended or has run for exitWait_. Neither uses this object,
  // which may be gone by then.
  auto status = std::make_shared<std::promise<int>>();
  std::shared_future<int> exited = status->get_future().share();
  std::thread([child, status] { status->set_value(child->Wait()); }).detach();
  std::thread([exited, outcome = std::move(outcome), wait = exitWait_, name = argv[0]] {
    int result = kOpenSucceeded;
    if (exited.wait_for(wait) != std::future_status::ready) {
      MLOG("DesktopLinkOpener, %s still runs; taken as opened", name.c_str());
    } else if (int code = exited.get(); code != 0) {
      MLOG("DesktopLinkOpener, %s ended with %d", name.c_str(), code);
      result = LinkFailureForOpenerStatus(code);
    }
    if (outcome) outcome(result);
  }).detach();
  return kOpenSucceeded;
}

}  // namespace mivora
