#include "net/OpenLink.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <memory>

#include "net/DesktopLinkOpener.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

using namespace std::chrono_literals;

class RecordingOpener : public LinkOpener {
 public:
  int OpenAddress(const std::string& address, LinkOutcome) override {
    calls.push_back({"open", address});
    return result;
  }
  int RunHelpCommand(const std::vector<std::string>& argv, LinkOutcome) override {
    calls.push_back(argv);
    calls.back().insert(calls.back().begin(), "help");
    return result;
  }
  std::vector<std::vector<std::string>> calls;
  int result = kOpenSucceeded;
};

TEST(OpenLinkTest, HelpCommandLinesRunAsArgumentVectorsOthersOpenAsAddresses) {
  RecordingOpener opener;
  SetLinkOpener(&opener);
  struct {
    std::string address;
    std::vector<std::string> call;
  } cases[] = {
      {"http://www.example.com/contact.html", {"open", "http://www.example.com/contact.html"}},
      {"HH.EXE help.chm", {"help", "HH.EXE", "help.chm"}},
      {"  hH.exe \"my help.chm\"::/topic.htm", {"help", "hH.exe", "my help.chm::/topic.htm"}},
      {"hh.exe a; rm -rf ~", {"help", "hh.exe", "a;", "rm", "-rf", "~"}},
      {"file:///opt/mivora/Help.html", {"open", "file:///opt/mivora/Help.html"}},
      {"hh.ex", {"open", "hh.ex"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    opener.calls.clear();
    EXPECT_EQ(OpenLink(c.address), kOpenSucceeded);
    ASSERT_EQ(opener.calls.size(), 1u);
    EXPECT_EQ(opener.calls[0], c.call);
  }
  SetLinkOpener(nullptr);
}

TEST(OpenLinkTest, FailuresGetTheNearestReasonAndNeverReadAsSuccess) {
  EXPECT_EQ(LinkFailureReason(kLinkSharingViolation), "A sharing violation occurred. ");
  EXPECT_EQ(LinkFailureReason(LinkFailureForErrno(EACCES)), "The operating system denied\naccess to the specified file.");
  EXPECT_EQ(LinkFailureReason(LinkFailureForErrno(EPROTO)), "Unknown Error (-71) occurred.");
  EXPECT_EQ(LinkFailureReason(1), "Unknown Error (1) occurred.");
  for (int errorNumber = 1; errorNumber < 134; ++errorNumber)
    EXPECT_LE(LinkFailureForErrno(errorNumber), kOpenFailedLimit) << errorNumber;
  for (int status = 1; status < 256; ++status) EXPECT_LE(LinkFailureForOpenerStatus(status), kOpenFailedLimit) << status;
  EXPECT_EQ(LinkFailureForOpenerStatus(0), kOpenSucceeded);
}

// A stand-in for the desktop's opener: a script that records its arguments.
std::string FakeOpener(const std::string& folder, const std::string& body) {
  std::string path = folder + "/opener";
  test::WriteFile(path, "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + folder + "/args\"\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

// Opens through `opener` and waits for the final result: the failure to
// start, or what the outcome handler gets.
int OpenAndWait(DesktopLinkOpener& opener, const std::string& address,
                const std::vector<std::string>* helpCommand = nullptr) {
  auto final = std::make_shared<std::promise<int>>();
  std::future<int> result = final->get_future();
  LinkOutcome outcome = [final](int code) { final->set_value(code); };
  int started = helpCommand ? opener.RunHelpCommand(*helpCommand, outcome) : opener.OpenAddress(address, outcome);
  if (started <= kOpenFailedLimit) return started;
  EXPECT_EQ(result.wait_for(10s), std::future_status::ready);
  return result.get();
}

TEST(DesktopLinkOpenerTest, RunsTheOpenerWithoutAShellAndReadsItsStatus) {
  std::string folder = test::MakeTempDir("opener");
  struct {
    const char* body;
    int code;
  } cases[] = {{"exit 0", kOpenSucceeded}, {"exit 2", kLinkFileNotFound}, {"exit 3", kLinkNoAssociation}};
  for (const auto& c : cases) {
    DesktopLinkOpener opener(FakeOpener(folder, c.body));
    EXPECT_EQ(OpenAndWait(opener, "http://example.com/a b;$(touch x)"), c.code) << c.body;
    EXPECT_EQ(test::ReadFile(folder + "/args"), "http://example.com/a b;$(touch x)|");
  }
  DesktopLinkOpener opener(FakeOpener(folder, "exit 0"));
  const std::vector<std::string> help = {"hh.exe", "my help.chm"};
  EXPECT_EQ(OpenAndWait(opener, "", &help), kOpenSucceeded);
  EXPECT_EQ(test::ReadFile(folder + "/args"), "my help.chm|");
  EXPECT_FALSE(test::ReadFile(folder + "/x").size()) << "no shell ran the address";
}

TEST(DesktopLinkOpenerTest, AMissingOrUnrunnableOpenerGivesItsReason) {
  std::string folder = test::MakeTempDir("opener");
  EXPECT_EQ(DesktopLinkOpener(folder + "/missing").OpenAddress("http://a", nullptr), kLinkFileNotFound);
  EXPECT_EQ(DesktopLinkOpener("mivora-no-such-opener").OpenAddress("http://a", nullptr), kLinkFileNotFound);
  test::WriteFile(folder + "/plain", "not a program");
  ::chmod((folder + "/plain").c_str(), 0644);
  EXPECT_EQ(DesktopLinkOpener(folder + "/plain").OpenAddress("http://a", nullptr), kLinkAccessDenied);
}

TEST(DesktopLinkOpenerTest, OpeningReturnsAtOnceAndALingeringOpenerCountsAsOpened) {
  std::string folder = test::MakeTempDir("opener");
  DesktopLinkOpener opener(FakeOpener(folder, "exec sleep 2"), 700ms);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(opener.OpenAddress("http://a", nullptr), kOpenSucceeded);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms) << "no wait for the opener";
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(OpenAndWait(opener, "http://a"), kOpenSucceeded);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms) << "the verdict comes after 700 ms";
}

}  // namespace
}  // namespace mivora
