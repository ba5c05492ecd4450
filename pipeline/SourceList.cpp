#include "pipeline/SourceList.h"

#include <algorithm>

namespace mivora {

bool SourceList::Append(SourceItem item) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const SourceItem& existing : items_)
    if (existing.sourcePath == item.sourcePath) return false;
  items_.push_back(std::move(item));
  return true;
}

bool SourceList::Contains(const std::string& sourcePath) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(items_.begin(), items_.end(),
                     [&](const SourceItem& item) { return item.sourcePath == sourcePath; });
}

std::optional<size_t> SourceList::IndexOf(const std::string& sourcePath) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].sourcePath == sourcePath) return i;
  }
  return std::nullopt;
}

size_t SourceList::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return items_.size();
}

std::optional<SourceItem> SourceList::At(size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= items_.size()) return std::nullopt;
  return items_[index];
}

std::vector<SourceItem> SourceList::Items() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return items_;
}

bool SourceList::Update(size_t index, const std::function<void(SourceItem&)>& change) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= items_.size()) return false;
  change(items_[index]);
  return true;
}

bool SourceList::Remove(size_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= items_.size()) return false;
  items_.erase(items_.begin() + static_cast<long>(index));
  return true;
}

void SourceList::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  items_.clear();
}

bool SourceList::Move(size_t from, size_t to) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (from >= items_.size() || to >= items_.size()) return false;
  SourceItem item = std::move(items_[from]);
  items_.erase(items_.begin() + static_cast<long>(from));
  items_.insert(items_.begin() + static_cast<long>(to), std::move(item));
  return true;
}

}  // namespace mivora
