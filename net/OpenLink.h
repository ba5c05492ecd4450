#pragma once
// Sending the user to a web page or a help file. Addresses go to the
// desktop's opener; an address that starts with "hh.exe" is a help command
// line (the help viewer and its arguments) and is run as an argument vector,
// never through a shell.
//
// Opening never waits for the opener: the call returns as soon as the opener
// has started (or could not start), and the opener's own verdict comes later,
// to an outcome handler, on a thread of the opener's.
//
// Result codes: above kOpenFailedLimit means success; a failure is one of the
// reason codes below, chosen as the nearest meaning of the system's error
// number or the opener's exit status; a failure without a near reason is the
// negated error number or status, shown as an unknown error.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mivora {

inline constexpr int kOpenFailedLimit = 32;
inline constexpr int kOpenSucceeded = 42;

// Reason codes with their own texts.
enum LinkFailure : int {
  kLinkOutOfResources = 0,
  kLinkFileNotFound = 2,
  kLinkPathNotFound = 3,
  kLinkAccessDenied = 5,
  kLinkNotEnoughMemory = 8,
  kLinkBadProgram = 11,
  kLinkSharingViolation = 26,
  kLinkAssociationIncomplete = 27,
  kLinkTimedOut = 28,
  kLinkTransferFailed = 29,
  kLinkBusy = 30,
  kLinkNoAssociation = 31,
  kLinkLibraryNotFound = 32,
};

// Receives the final result of an opening that started: called once, on any
// thread (the caller's own included), when the opener has ended or has run
// long enough to count as opened.
using LinkOutcome = std::function<void(int result)>;

// Where addresses and help command lines go. The program's one opener is
// the desktop's (DesktopLinkOpener); tests put a recording one in its place.
// Both calls return at once: a failure code when the opening could not
// start (and `outcome` is not called), else kOpenSucceeded, and `outcome`,
// when given, gets the final result later.
class LinkOpener {
 public:
  virtual ~LinkOpener() = default;
  // Opens a web address or a file with the desktop's registered handler.
  virtual int OpenAddress(const std::string& address, LinkOutcome outcome) = 0;
  // Runs a help viewer: argv[0] is the viewer, the rest its arguments.
  virtual int RunHelpCommand(const std::vector<std::string>& argv, LinkOutcome outcome) = 0;
};

// The opener in use; SetLinkOpener(nullptr) restores the desktop's.
LinkOpener& CurrentLinkOpener();
void SetLinkOpener(LinkOpener* opener);

// Opens `address` through the current opener; see LinkOpener and the result
// codes above.
int OpenLink(std::string_view address, LinkOutcome outcome = nullptr);

// True when the address, lower-cased and without leading blanks, starts with
// "hh.exe".
bool IsHelpCommandLine(std::string_view address);

// The text after "Unable to open hyperlink:\n\n" for a failure code.
std::string LinkFailureReason(int code);
inline constexpr const char* kLinkFailureHeading = "Unable to open hyperlink:\n\n";

// The failure code nearest to a system error number (errno) ...
int LinkFailureForErrno(int errorNumber);
// ... and to the exit status of the desktop's opener (xdg-open: 1 bad
// arguments, 2 missing file, 3 no handler program, 4 the handler failed).
int LinkFailureForOpenerStatus(int status);

}  // namespace mivora
