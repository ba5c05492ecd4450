#include "net/DesktopLinkOpener.h"

#include <future>
#include <memory>
#include <thread>

#include "common/Log.h"
#include "platform/ChildProcess.h"

namespace mivora {

DesktopLinkOpener::DesktopLinkOpener(std::string opener, std::chrono::milliseconds exitWait)
    : opener_(std::move(opener)), exitWait_(exitWait) {}

int DesktopLinkOpener::OpenAddress(const std::string& address) { return Run({opener_, address}); }

int DesktopLinkOpener::RunHelpCommand(const std::vector<std::string>& argv) {
  std::vector<std::string> command = argv;
  if (command.empty()) command.emplace_back();
  command[0] = opener_;  // the help viewer of this system
  return Run(command);
}

int DesktopLinkOpener::Run(const std::vector<std::string>& argv) const {
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
  auto status = std::make_shared<std::promise<int>>();
  std::future<int> exited = status->get_future();
  std::thread([child, status] { status->set_value(child->Wait()); }).detach();
  if (exited.wait_for(exitWait_) != std::future_status::ready) {
    MLOG("DesktopLinkOpener, %s still runs; taken as opened", argv[0].c_str());
    return kOpenSucceeded;
  }
  int code = exited.get();
  if (code != 0) MLOG("DesktopLinkOpener, %s ended with %d", argv[0].c_str(), code);
  return LinkFailureForOpenerStatus(code);
}

}  // namespace mivora
