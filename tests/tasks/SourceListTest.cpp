#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "pipeline/SourceList.h"

namespace mivora {
namespace {

SourceItem Item(const std::string& path) {
  SourceItem item;
  item.sourcePath = path;
  return item;
}

TEST(SourceList, PathsAreUniqueByExactBytes) {
  SourceList list;
  EXPECT_TRUE(list.Append(Item("/v/a.avi")));
  EXPECT_FALSE(list.Append(Item("/v/a.avi")));
  EXPECT_TRUE(list.Append(Item("/v/A.avi")));  // differs in case: a different file here
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_TRUE(list.Move(1, 0));
  EXPECT_EQ(list.At(0)->sourcePath, "/v/A.avi");
  EXPECT_FALSE(list.Move(0, 2));
  EXPECT_FALSE(list.Remove(5));
  EXPECT_FALSE(list.At(2).has_value());
}

TEST(SourceList, ItemsOwnTheirEditsAndCopiesAreDeep) {
  SourceList list;
  SourceItem item = Item("/v/a.avi");
  item.editSettings = std::make_unique<EditSettings>();
  item.editSettings->trimEnabled = 1;
  list.Append(item);
  std::optional<SourceItem> copy = list.At(0);
  copy->editSettings->trimEnabled = 0;
  EXPECT_EQ(list.At(0)->editSettings->trimEnabled, 1);
}

TEST(SourceList, StaysConsistentWhileAWorkerAddsAndTheUserEdits) {
  SourceList list;
  std::atomic<bool> done{false};
  std::thread adder([&] {
    for (int i = 0; i < 2000; ++i) list.Append(Item("/v/" + std::to_string(i) + ".avi"));
    done = true;
  });
  int removed = 0;
  while (!done) {
    size_t count = list.Count();
    if (count > 3) {
      list.Move(count - 1, 0);
      if (list.Remove(1)) ++removed;
      list.Update(0, [](SourceItem& item) { item.engineArgs = "x"; });
    }
    std::vector<SourceItem> items = list.Items();
    std::set<std::string> unique;
    for (const auto& item : items) unique.insert(item.sourcePath);
    ASSERT_EQ(unique.size(), items.size());
  }
  adder.join();
  EXPECT_EQ(list.Count() + static_cast<size_t>(removed), 2000u);
}

}  // namespace
}  // namespace mivora
