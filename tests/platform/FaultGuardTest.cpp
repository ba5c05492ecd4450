#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>

#include "platform/FaultGuard.h"

namespace mivora {
namespace {

// The faults are deliberate; keep the sanitizers from reporting them first.
__attribute__((noinline, no_sanitize("undefined"))) int Divide(int a, int b) {
  volatile int numerator = a, denominator = b;
  volatile int quotient = numerator / denominator;
  return quotient;
}
__attribute__((noinline, no_sanitize("address", "undefined"))) void WriteThroughNull() {
  volatile int* volatile target = nullptr;
  *target = 42;
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline, no_sanitize("address", "undefined"))) int Recurse(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return Recurse(depth + 1) + frame[0];
}
#pragma GCC diagnostic pop

struct GuardedResult {
  bool faulted = false;
  std::string sinkReport;
  std::string errorText;
};

// Runs `body` on a fresh thread that installed the translator.
template <typename Body>
GuardedResult RunOnGuardedThread(Body body) {
  GuardedResult result;
  std::thread worker([&] {
    InstallFaultTranslator([&](const std::string& report) { result.sinkReport = report; });
    try {
      RunGuarded(body);
    } catch (const FaultError& error) {
      result.faulted = true;
      result.errorText = error.what();
    }
    UninstallFaultTranslator();
  });
  worker.join();
  return result;
}

const std::regex kReportFormat(
    "Exception code: ([0-9A-F]{8}) ([A-Z_]+) \n"
    "Fault address:  ([0-9A-F]{8,16}) ([0-9A-F]{2}):([0-9A-F]{8,16}) (.*) \n");

TEST(FaultGuard, DivisionByZeroEndsTheRunWithItsReport) {
  GuardedResult result = RunOnGuardedThread([] { Divide(1, 0); });
  ASSERT_TRUE(result.faulted);
  EXPECT_EQ(result.sinkReport, result.errorText);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(result.sinkReport, match, kReportFormat)) << result.sinkReport;
  EXPECT_EQ(match[1].str(), "C0000094");
  EXPECT_EQ(match[2].str(), "INT_DIVIDE_BY_ZERO");
  // The instruction lies in this test program's code section.
  EXPECT_NE(match[4].str(), "00");
  EXPECT_NE(match[6].str().find("platform_tests"), std::string::npos) << match[6].str();
}

TEST(FaultGuard, NullWriteIsAnAccessViolation) {
  GuardedResult result = RunOnGuardedThread([] { WriteThroughNull(); });
  ASSERT_TRUE(result.faulted);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(result.sinkReport, match, kReportFormat)) << result.sinkReport;
  EXPECT_EQ(match[1].str(), "C0000005");
  EXPECT_EQ(match[2].str(), "ACCESS_VIOLATION");
}

TEST(FaultGuard, StackOverflowIsReportedAsSuch) {
  GuardedResult result = RunOnGuardedThread([] { Recurse(0); });
  ASSERT_TRUE(result.faulted);
  EXPECT_EQ(result.sinkReport.rfind("Exception code: C00000FD STACK_OVERFLOW \n", 0), 0u)
      << result.sinkReport;
}

TEST(FaultGuard, ProcessAndOtherThreadsGoOn) {
  std::atomic<bool> stop{false};
  std::atomic<long> ticks{0};
  std::thread bystander([&] {
    while (!stop) ticks++;
  });
  for (int i = 0; i < 20; ++i) {
    GuardedResult result = RunOnGuardedThread([i] {
      if (i % 2) WriteThroughNull();
      else Divide(i, 0);
    });
    EXPECT_TRUE(result.faulted);
  }
  long before = ticks.load();
  while (ticks.load() == before) std::this_thread::yield();
  stop = true;
  bystander.join();
}

TEST(FaultGuard, NormalWorkAndExceptionsPassThrough) {
  GuardedResult ok = RunOnGuardedThread([] { Divide(6, 3); });
  EXPECT_FALSE(ok.faulted);
  EXPECT_TRUE(ok.sinkReport.empty());
  bool caught = false;
  std::thread worker([&] {
    InstallFaultTranslator(nullptr);
    try {
      RunGuarded([] { throw std::runtime_error("plain"); });
    } catch (const std::runtime_error& error) {
      caught = std::string(error.what()) == "plain";
    }
    UninstallFaultTranslator();
  });
  worker.join();
  EXPECT_TRUE(caught);
}

// A scope inside another reports to its own sink, hands the outer sink back
// when it ends, and the outermost leaves the thread as it found it.
TEST(FaultGuard, ScopedTranslatorsNestAndLeaveNothingBehind) {
  std::string outerReport, innerReport;
  bool innerFaulted = false, outerFaulted = false, stackLeft = true;
  auto faults = [] {
    try {
      RunGuarded([] { Divide(1, 0); });
    } catch (const FaultError&) {
      return true;
    }
    return false;
  };
  std::thread worker([&] {
    {
      ScopedFaultTranslator outer([&](const std::string& report) { outerReport = report; });
      {
        ScopedFaultTranslator inner([&](const std::string& report) { innerReport = report; });
        innerFaulted = faults();
      }
      EXPECT_FALSE(innerReport.empty());
      innerReport.clear();
      outerFaulted = faults();
    }
    stack_t stack{};
    stackLeft = sigaltstack(nullptr, &stack) == 0 && !(stack.ss_flags & SS_DISABLE);
  });
  worker.join();
  EXPECT_TRUE(innerFaulted);
  EXPECT_TRUE(outerFaulted);
  EXPECT_FALSE(outerReport.empty()) << "the outer scope's sink was not handed back";
  EXPECT_TRUE(innerReport.empty());
  EXPECT_FALSE(stackLeft) << "the outermost scope left its alternate stack";
}

TEST(FaultGuard, TwoThreadsFaultingAtOnceKeepTheirOwnReports) {
  GuardedResult a, b;
  std::thread ta([&] { a = RunOnGuardedThread([] { Divide(1, 0); }); });
  std::thread tb([&] { b = RunOnGuardedThread([] { WriteThroughNull(); }); });
  ta.join();
  tb.join();
  EXPECT_NE(a.sinkReport.find("INT_DIVIDE_BY_ZERO"), std::string::npos);
  EXPECT_NE(b.sinkReport.find("ACCESS_VIOLATION"), std::string::npos);
  EXPECT_EQ(a.sinkReport.find("ACCESS_VIOLATION"), std::string::npos);
}

TEST(FaultReport, AddressOutsideAnyModule) {
  EXPECT_EQ(BuildFaultReport(0xC0000005, "ACCESS_VIOLATION", 0x10),
            "Exception code: C0000005 ACCESS_VIOLATION \nFault address:  00000010 00:00000000  \n");
}

TEST(FaultReport, CodeTable) {
  EXPECT_STREQ(FaultCodeName(0xC0000005), "ACCESS_VIOLATION");
  EXPECT_STREQ(FaultCodeName(0xC00000FD), "STACK_OVERFLOW");
  EXPECT_STREQ(FaultCodeName(0x80000002), "DATATYPE_MISALIGNMENT");
  EXPECT_STREQ(FaultCodeName(0x12345678), "");
}

}  // namespace
}  // namespace mivora
