#pragma once
// The ordered source list. Files may be added on a worker thread while the
// user-interface thread deletes, moves or clears rows, so every operation
// takes the list's lock and no caller ever holds a reference into it.

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pipeline/SourceItem.h"

namespace mivora {

class SourceList {
 public:
  // Appends unless an item with the same path is already listed; false then.
  bool Append(SourceItem item);
  bool Contains(const std::string& sourcePath) const;
  // The position of the item with that path, if listed.
  std::optional<size_t> IndexOf(const std::string& sourcePath) const;
  size_t Count() const;
  std::optional<SourceItem> At(size_t index) const;  // a copy
  std::vector<SourceItem> Items() const;             // copies, in order
  // Runs `change` on item `index` under the lock; false when out of range.
  bool Update(size_t index, const std::function<void(SourceItem&)>& change);
  bool Remove(size_t index);
  void Clear();
  // Moves item `from` to position `to`; false when either is out of range.
  bool Move(size_t from, size_t to);

 private:
  mutable std::mutex mutex_;
  std::vector<SourceItem> items_;  // guarded by mutex_
};

}  // namespace mivora
