#include "net/OpenLink.h"

#include <cctype>
#include <cerrno>
#include <cstdio>

#include "common/Log.h"
#include "net/DesktopLinkOpener.h"
#include "platform/WindowsCommandLine.h"

namespace mivora {
namespace {

LinkOpener* g_opener = nullptr;  // user-interface thread only; null: the desktop's

}  // namespace

LinkOpener& CurrentLinkOpener() {
  static DesktopLinkOpener desktop;
  return g_opener ? *g_opener : desktop;
}

void SetLinkOpener(LinkOpener* opener) { g_opener = opener; }

bool IsHelpCommandLine(std::string_view address) {
  size_t start = address.find_first_not_of(" \t");
  if (start == std::string_view::npos) return false;
  std::string_view rest = address.substr(start);
  constexpr std::string_view kViewer = "hh.exe";
  if (rest.size() < kViewer.size()) return false;
  for (size_t i = 0; i < kViewer.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(rest[i])) != kViewer[i]) return false;
  return true;
}

int OpenLink(std::string_view address, LinkOutcome outcome) {
  MLOG("Enter: OpenLink, %.*s", static_cast<int>(address.size()), address.data());
  int result = IsHelpCommandLine(address)
                   ? CurrentLinkOpener().RunHelpCommand(SplitWindowsCommandLine(address), std::move(outcome))
                   : CurrentLinkOpener().OpenAddress(std::string(address), std::move(outcome));
  MLOG("Leave: OpenLink, %d", result);
  return result;
}

std::string LinkFailureReason(int code) {
  switch (code) {
    case kLinkOutOfResources: return "The operating system is out\nof memory or resources.";
    case kLinkFileNotFound: return "The specified file was not found.";
    case kLinkPathNotFound: return "The specified path was not found.";
    case kLinkAccessDenied: return "The operating system denied\naccess to the specified file.";
    case kLinkNotEnoughMemory: return "There was not enough memory to complete the operation.";
    case kLinkBadProgram: return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case kLinkSharingViolation: return "A sharing violation occurred. ";
    case kLinkAssociationIncomplete: return "The filename association is\nincomplete or invalid.";
    case kLinkTimedOut:
      return "The DDE transaction could not\nbe completed because the request timed out.";
    case kLinkTransferFailed: return "The DDE transaction failed.";
    case kLinkBusy:
      return "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
             "processed.";
    case kLinkNoAssociation: return "There is no application associated\nwith the given filename extension.";
    case kLinkLibraryNotFound: return "The specified dynamic-link library was not found.";
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "Unknown Error (%d) occurred.", code);
      return text;
    }
  }
}

int LinkFailureForErrno(int errorNumber) {
  switch (errorNumber) {
    case ENOENT: return kLinkFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return kLinkPathNotFound;
    case EACCES:
    case EPERM: return kLinkAccessDenied;
    case ENOMEM:
    case E2BIG: return kLinkNotEnoughMemory;
    case EAGAIN:
    case EMFILE:
    case ENFILE: return kLinkOutOfResources;
    case ENOEXEC:
    case ELIBBAD: return kLinkBadProgram;
    case ETXTBSY:
    case EBUSY: return kLinkSharingViolation;
    case ETIMEDOUT: return kLinkTimedOut;
    case ELIBACC: return kLinkLibraryNotFound;
    default: return -errorNumber;  // shown as an unknown error with the number
  }
}

int LinkFailureForOpenerStatus(int status) {
  switch (status) {
    case 0: return kOpenSucceeded;
    case 1: return kLinkAssociationIncomplete;
    case 2: return kLinkFileNotFound;
    case 3: return kLinkNoAssociation;
    case 4: return kLinkAssociationIncomplete;
    default: return -status;
  }
}

}  // namespace mivora
