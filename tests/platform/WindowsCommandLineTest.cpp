#include <gtest/gtest.h>

#include "platform/WindowsCommandLine.h"

namespace mivora {
namespace {

using Args = std::vector<std::string>;

TEST(WindowsCommandLine, SplitsArgumentsByTheRuntimeRules) {
  struct Case {
    const char* text;
    Args expected;
  };
  const Case cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"-b 1000k  -r 25 ", {"-b", "1000k", "-r", "25"}},
      {"\"a b\" c", {"a b", "c"}},
      {"\"crop=1:2:3:4\",\"scale=5:6\"", {"crop=1:2:3:4,scale=5:6"}},
      {"-vf \"crop=600:400:20:40\",\"scale=640:480\" -s x", {"-vf", "crop=600:400:20:40,scale=640:480", "-s", "x"}},
      {"a\"b c\"d", {"ab cd"}},
      {"\"\"", {""}},
      {"\"\" x", {"", "x"}},
      {"a\\b", {"a\\b"}},
      {"a\\\\b", {"a\\\\b"}},
      {"a\\\"b", {"a\"b"}},
      {"a\\\\\"b c\"", {"a\\b c"}},
      {"a\\\\\\\"b", {"a\\\"b"}},
      {"\"a\"\"b\"", {"a\"b"}},
      {"\"unclosed quote", {"unclosed quote"}},
      {"\"x\\\\\"", {"x\\"}},
      {"tab\there", {"tab", "here"}},
      {"caf\xC3\xA9 '#$'", {"caf\xC3\xA9", "'#$'"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SplitWindowsArguments(c.text), c.expected) << "text: " << c.text;
}

TEST(WindowsCommandLine, ProgramNameKeepsItsBackslashes) {
  EXPECT_EQ(SplitWindowsCommandLine("\"C:\\dir x\\trancor.exe\" -i \"a b\""),
            (Args{"C:\\dir x\\trancor.exe", "-i", "a b"}));
  EXPECT_EQ(SplitWindowsCommandLine("  prog\\x -y"), (Args{"prog\\x", "-y"}));
  EXPECT_EQ(SplitWindowsCommandLine(""), Args{});
  EXPECT_EQ(SplitWindowsCommandLine("\"no end"), Args{"no end"});
}

TEST(WindowsCommandLine, QuotingRoundTripsAnyText) {
  const char* texts[] = {"",          "plain",       "with blank",   "quote\"inside",
                         "end\\",     "end\\\\",     "\\\"",         "-leading dash",
                         "it's $x #", "tab\tand\nnl", "\"\"",         "caf\xC3\xA9/\xE6\x97\xA5.avi"};
  for (const char* text : texts) {
    std::string quoted = QuoteWindowsArgument(text);
    EXPECT_EQ(SplitWindowsArguments(quoted), Args{text}) << "quoted: " << quoted;
    EXPECT_EQ(SplitWindowsArguments(quoted + " next " + quoted), (Args{text, "next", text}));
  }
  // Ordinary paths just get the two quotes.
  EXPECT_EQ(QuoteWindowsArgument("/home/u/My Videos/a.avi"), "\"/home/u/My Videos/a.avi\"");
}

}  // namespace
}  // namespace mivora
