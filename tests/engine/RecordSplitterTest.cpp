#include <gtest/gtest.h>

#include "tools/trancor/RecordSplitter.h"

namespace mivora::trancor {
namespace {

TEST(RecordSplitter, RecordsEndAtCarriageReturnOrLineFeedWhateverThePieces) {
  const std::string text =
      "Input #0\r\n  Duration: 00:00:02.00\nframe=  1 time=00:00:00.04 bitrate=1\rframe= 50 "
      "time=00:00:02.00 bitrate=2\r\nvideo:10kB\n\ntail without end";
  const std::vector<std::string> expected = {"Input #0", "  Duration: 00:00:02.00",
                                             "frame=  1 time=00:00:00.04 bitrate=1",
                                             "frame= 50 time=00:00:02.00 bitrate=2", "video:10kB"};
  // Every piece size, including one byte at a time and the whole text.
  for (size_t piece = 1; piece <= text.size(); ++piece) {
    RecordSplitter splitter;
    std::vector<std::string> records;
    for (size_t at = 0; at < text.size(); at += piece) {
      auto got = splitter.Feed(std::string_view(text).substr(at, piece));
      records.insert(records.end(), got.begin(), got.end());
    }
    EXPECT_EQ(records, expected) << "piece size " << piece;
    EXPECT_EQ(splitter.Flush(), "tail without end");
    EXPECT_EQ(splitter.Flush(), "");
  }
}

}  // namespace
}  // namespace mivora::trancor
