#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/Folders.h"
#include "common/Log.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  EXPECT_EQ(start, text.size()) << "the file must end with a line break";
  return lines;
}

TEST(Log, LineFormatAndModuleName) {
  ResetLogForNewRun();
  ASSERT_TRUE(Log("src/pipeline/ConvertHelper", 7, "Enter: %s", "ConvertHelper::ConvertStart"));
  ASSERT_TRUE(Log("C:\\dev\\Trancor", 12345, "%d%%", 5));
  auto lines = Lines(test::ReadFile(LogFilePath()));
  ASSERT_EQ(lines.size(), 2u);
  std::regex format(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\t(.*))");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(lines[0], match, format)) << lines[0];
  EXPECT_EQ(match[1].str(), "ConvertHelper, 0007, Enter: ConvertHelper::ConvertStart");
  ASSERT_TRUE(std::regex_match(lines[1], match, format)) << lines[1];
  EXPECT_EQ(match[1].str(), "Trancor, 12345, 5%");
}

TEST(Log, MacroPassesThisSourceUnitAndLine) {
  ResetLogForNewRun();
  int line = __LINE__ + 1;
  MLOG("hello");
  std::string text = test::ReadFile(LogFilePath());
  char expected[64];
  std::snprintf(expected, sizeof expected, "\tLogTest, %04d, hello\n", line);
  EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST(Log, FirstWriteOfARunTruncatesLaterOnesAppend) {
  ResetLogForNewRun();
  Log("A", 1, "first run, line one");
  Log("A", 2, "first run, line two");
  ResetLogForNewRun();  // a second program run
  Log("B", 1, "second run");
  Log("B", 2, "second run again");
  std::string text = test::ReadFile(LogFilePath());
  EXPECT_EQ(text.find("first run"), std::string::npos);
  EXPECT_EQ(Lines(text).size(), 2u);
}

TEST(Log, LongMessageIsCutAt4095Bytes) {
  ResetLogForNewRun();
  std::string huge(10000, 'x');
  Log("A", 1, "%s", huge.c_str());
  auto lines = Lines(test::ReadFile(LogFilePath()));
  ASSERT_EQ(lines.size(), 1u);
  size_t messageStart = lines[0].find("0001, ") + 6;
  EXPECT_EQ(lines[0].size() - messageStart, 4095u);
}

TEST(Log, InvalidUtf8IsRepairedNotWrittenRaw) {
  ResetLogForNewRun();
  Log("A", 1, "name: %s", "bad\xff\xfe.avi");
  std::string text = test::ReadFile(LogFilePath());
  EXPECT_NE(text.find("bad\xEF\xBF\xBD\xEF\xBF\xBD.avi"), std::string::npos);
}

TEST(Log, ConcurrentWritersNeverMixWithinALine) {
  ResetLogForNewRun();
  Log("Main", 0, "start");
  constexpr int kThreads = 4, kLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      std::string payload(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) Log("Worker", t, "%s", payload.c_str());
    });
  for (auto& thread : threads) thread.join();
  auto lines = Lines(test::ReadFile(LogFilePath()));
  ASSERT_EQ(lines.size(), 1u + kThreads * kLines);
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    std::string payload = line.substr(line.size() - 200);
    EXPECT_EQ(payload.find_first_not_of(payload[0]), std::string::npos) << line;
  }
}

TEST(Log, UnwritableFolderReturnsFalse) {
  std::string saved = std::getenv("XDG_CONFIG_HOME");
  // A regular file where the folder should be: nothing can be created below it.
  std::string blocker = test::MakeTempDir("blocked") + "/file";
  test::WriteFile(blocker, "x");
  setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
  ResetLogForNewRun();
  EXPECT_FALSE(Log("A", 1, "lost"));
  setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

}  // namespace
}  // namespace mivora
