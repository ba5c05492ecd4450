#pragma once
// Cuts console text into records: a record ends at a carriage return or a
// line feed. Text arrives in pieces of any size; a record is handed out only
// when it is complete, so a progress report is never split in two.

#include <string>
#include <string_view>
#include <vector>

namespace mivora::trancor {

class RecordSplitter {
 public:
  // Appends `bytes` and returns the records completed by them (empty
  // records, as between "\r\n", are skipped).
  std::vector<std::string> Feed(std::string_view bytes);
  // The unfinished rest at the end of the text (empty when none).
  std::string Flush();

 private:
  std::string pending_;
};

}  // namespace mivora::trancor
