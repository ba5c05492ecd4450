#pragma once
// The source list as saved in the per-user folder while the program runs, so
// that a list lost to a crash, a kill or a power cut can be offered back at
// the next start.
//
// The file is text, one field a line ("key value"), values escaped so that a
// line never holds a line break: "\\" for a backslash, "\n" and "\r". It
// starts with "MIVORA-LIST 1", then "clean 0|1" (1: the program ended
// normally), then per item "item", its fields and "end", and last "count N"
// (the number of items, so a file cut between items is seen). A file of a newer
// version, or broken anywhere, is refused as a whole.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editing/EditSettings.h"
#include "pipeline/SourceItem.h"

namespace mivora {

inline constexpr int kSavedListVersion = 1;
// What a reader accepts at most.
inline constexpr size_t kSavedListMaxItems = 100000;
inline constexpr size_t kSavedListMaxBytes = 64u << 20;

// What is kept of one item: enough to rebuild it by probing its file again.
struct SavedSourceEntry {
  std::string sourcePath;
  std::string profilePath;
  int32_t profileId = 0;
  std::string targetExtension;
  std::string engineArgs;
  int32_t videoBitrateBps = 0;
  std::string estimatedSize;
  std::array<int32_t, kParameterCount> listIndices{};
  std::unique_ptr<EditSettings> editSettings;  // none: the item had no edits

  SavedSourceEntry() = default;
  SavedSourceEntry(const SavedSourceEntry& other);
  SavedSourceEntry& operator=(const SavedSourceEntry& other);
  SavedSourceEntry(SavedSourceEntry&&) noexcept = default;
  SavedSourceEntry& operator=(SavedSourceEntry&&) noexcept = default;
  bool operator==(const SavedSourceEntry& other) const;

  static SavedSourceEntry Of(const SourceItem& item);
};

struct SavedSourceList {
  bool cleanExit = false;
  std::vector<SavedSourceEntry> entries;
};

std::string WriteSavedSourceList(const SavedSourceList& list);

struct SavedListReading {
  std::optional<SavedSourceList> list;  // empty: refused
  std::string why;                      // why it was refused
};
SavedListReading ReadSavedSourceList(std::string_view text);

// Writes the list beside `path` (under a name of its own, so two writers
// never share one) and renames it over `path`, so a reader finds the old
// list or the new one, never a part. False on any failure (the old file then
// stays).
bool SaveSourceListFile(const std::string& path, const SavedSourceList& list);

// The saved list's file as found: read only when it is a plain file (not a
// link, a pipe, a device or a folder) within kSavedListMaxBytes, opened
// without waiting.
struct SavedListFile {
  enum class State { kAbsent, kRead, kRefused };
  State state = State::kAbsent;
  std::string text;  // kRead: the whole file
  std::string why;   // kRefused: why it was not read
};
SavedListFile ReadSourceListFile(const std::string& path);

// Moves a refused list out of the way, as it is (a link stays a link), to
// "PATH.refused" (or "PATH.refused.2" ... when that is taken), so that
// nothing overwrites it. Its new name; "" when it could not be moved.
std::string SetAsideSourceListFile(const std::string& path);

// Who may read and write the saved list: one program at a time, whatever
// session it runs in. An exclusive lock on "PATH.lock" beside the list,
// dropped by the kernel when the process ends in any way.
class SavedListLock {
 public:
  SavedListLock() = default;
  ~SavedListLock() { Release(); }
  SavedListLock(const SavedListLock&) = delete;
  SavedListLock& operator=(const SavedListLock&) = delete;
  // True when this object holds the lock of the list at `listPath` (now or
  // already); false when another process holds it or it cannot be made.
  bool Take(const std::string& listPath);
  bool Held() const { return fd_ >= 0; }
  void Release();

 private:
  int fd_ = -1;
};

// An item rebuilt from its entry before its file is probed again: its saved
// profile, choices, edits and estimated size. False (with `error`) when its
// profile cannot be read.
bool ItemOfSavedEntry(const SavedSourceEntry& entry, SourceItem* item, std::string* error);

}  // namespace mivora
