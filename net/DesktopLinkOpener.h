#pragma once
// The desktop's opener (xdg-open): web addresses and files go to the
// handler the user's desktop has registered for them. Help command lines run
// the same opener on their arguments, as the help is an HTML page here.

#include <chrono>
#include <string>
#include <vector>

#include "net/OpenLink.h"

namespace mivora {

class DesktopLinkOpener : public LinkOpener {
 public:
  // `opener` is looked up in PATH when it has no '/'. Its exit status, the
  // final result, is awaited on a thread of its own for at most `exitWait`:
  // some desktops keep it running as long as the browser it started, which
  // then counts as success.
  explicit DesktopLinkOpener(std::string opener = "xdg-open",
                             std::chrono::milliseconds exitWait = std::chrono::milliseconds(5000));

  int OpenAddress(const std::string& address, LinkOutcome outcome) override;
  int RunHelpCommand(const std::vector<std::string>& argv, LinkOutcome outcome) override;

 private:
  int Start(const std::vector<std::string>& argv, LinkOutcome outcome) const;

  std::string opener_;
  std::chrono::milliseconds exitWait_;
};

}  // namespace mivora
