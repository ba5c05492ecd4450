#pragma once
// What a pick-only drop-down list holds, without any window: its items, the
// selected position (or none), its own text (shown when no item is selected)
// and whether it is enabled. The desktop program mirrors one of these into
// each of its drop-down lists; the profile logic reads and fills only this.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mivora {

class ListControl {
 public:
  static constexpr int32_t kNoSelection = -1;

  // Removes every item and the selection; the own text stays.
  void Clear() {
    items_.clear();
    selected_ = kNoSelection;
  }
  void AddItem(std::string text) { items_.push_back(std::move(text)); }

  const std::vector<std::string>& Items() const { return items_; }
  size_t Count() const { return items_.size(); }

  // Selects the item at `position`; a position outside the items leaves no
  // selection. True when an item is selected afterwards.
  bool Select(int32_t position) {
    bool inside = position >= 0 && static_cast<size_t>(position) < items_.size();
    selected_ = inside ? position : kNoSelection;
    return inside;
  }
  int32_t Selected() const { return selected_; }
  bool HasSelection() const { return selected_ != kNoSelection; }
  // The selected item's text, or the own text when nothing is selected.
  const std::string& ShownText() const { return HasSelection() ? items_[selected_] : text_; }

  const std::string& Text() const { return text_; }
  void SetText(std::string text) { text_ = std::move(text); }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }

 private:
  std::vector<std::string> items_;
  int32_t selected_ = kNoSelection;
  std::string text_;
  bool enabled_ = true;
};

}  // namespace mivora
