#include "sources/SavedSourceList.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/PrivateFiles.h"
#include "editing/EditFields.h"
#include "pipeline/TaskBuilder.h"

namespace mivora {

namespace {

constexpr std::string_view kMagic = "MIVORA-LIST";

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    if (text[i] == '\\') out += '\\';
    else if (text[i] == 'n') out += '\n';
    else if (text[i] == 'r') out += '\r';
    else return std::nullopt;
  }
  return out;
}

template <typename T>
std::optional<T> Number(std::string_view text) {
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

bool SameEdits(const EditSettings* a, const EditSettings* b) {
  if (!a || !b) return a == b;
  return SameEditFields(*a, *b);
}

}  // namespace

SavedSourceEntry::SavedSourceEntry(const SavedSourceEntry& other)
    : sourcePath(other.sourcePath),
      profilePath(other.profilePath),
      profileId(other.profileId),
      targetExtension(other.targetExtension),
      engineArgs(other.engineArgs),
      videoBitrateBps(other.videoBitrateBps),
      estimatedSize(other.estimatedSize),
      listIndices(other.listIndices),
      editSettings(other.editSettings ? std::make_unique<EditSettings>(*other.editSettings) : nullptr) {}

SavedSourceEntry& SavedSourceEntry::operator=(const SavedSourceEntry& other) {
  if (this != &other) *this = SavedSourceEntry(other);
  return *this;
}

bool SavedSourceEntry::operator==(const SavedSourceEntry& other) const {
  return sourcePath == other.sourcePath && profilePath == other.profilePath && profileId == other.profileId &&
         targetExtension == other.targetExtension && engineArgs == other.engineArgs &&
         videoBitrateBps == other.videoBitrateBps && estimatedSize == other.estimatedSize && listIndices == other.listIndices &&
         SameEdits(editSettings.get(), other.editSettings.get());
}

SavedSourceEntry SavedSourceEntry::Of(const SourceItem& item) {
  SavedSourceEntry entry;
  entry.sourcePath = item.sourcePath;
  entry.profilePath = item.profilePath;
  entry.profileId = item.profileId;
  entry.targetExtension = item.targetExtension;
  entry.engineArgs = item.engineArgs;
  entry.videoBitrateBps = item.videoBitrateBps;
  entry.estimatedSize = item.estimatedSize;
  entry.listIndices = item.listIndices;
  if (item.editSettings) entry.editSettings = std::make_unique<EditSettings>(*item.editSettings);
  return entry;
}

std::string WriteSavedSourceList(const SavedSourceList& list) {
  std::string out = std::string(kMagic) + " " + std::to_string(kSavedListVersion) + "\n";
  out += list.cleanExit ? "clean 1\n" : "clean 0\n";
  for (const SavedSourceEntry& entry : list.entries) {
    out += "item\n";
    out += "path " + Escape(entry.sourcePath) + "\n";
    out += "profile " + Escape(entry.profilePath) + "\n";
    out += "profileId " + std::to_string(entry.profileId) + "\n";
    out += "ext " + Escape(entry.targetExtension) + "\n";
    out += "args " + Escape(entry.engineArgs) + "\n";
    out += "bitrate " + std::to_string(entry.videoBitrateBps) + "\n";
    out += "size " + Escape(entry.estimatedSize) + "\n";
    out += "indices";
    for (int32_t index : entry.listIndices) out += " " + std::to_string(index);
    out += "\n";
    if (const EditSettings* edits = entry.editSettings.get()) {
      out += "edits\n";
      for (const EditField& field : EditFields())
        out += std::string("edit.") + field.name + " " + Escape(EditFieldText(*edits, field)) + "\n";
    }
    out += "end\n";
  }
  // The last line: a file cut between two items is seen as cut.
  out += "count " + std::to_string(list.entries.size()) + "\n";
  return out;
}

namespace {

// One line of a saved list, split at its first blank.
struct ListLine {
  std::string_view text;
  std::string_view key;
  std::string_view value;
  std::string where;  // " in line N", for the reasons given
};

ListLine SplitLine(std::string_view text, size_t lineNumber) {
  const size_t space = text.find(' ');
  return {text, text.substr(0, space),
          space == std::string_view::npos ? std::string_view() : text.substr(space + 1),
          " in line " + std::to_string(lineNumber)};
}

// Reads a saved list a line at a time. Each step returns why it refuses the
// file, or "" when the line is good.
class ListReader {
 public:
  std::string Read(const ListLine& line, bool lastLine);
  // Why the file ended too early; "" when it was whole.
  std::string Finish() const;
  SavedSourceList list;

 private:
  std::string ReadHeader(const ListLine& line);
  std::string ReadCleanMark(const ListLine& line);
  std::string ReadBetweenItems(const ListLine& line, bool lastLine);
  std::string ReadItemLine(const ListLine& line);
  std::string ReadItemText(const ListLine& line);
  std::string ReadItemNumber(const ListLine& line);
  std::string ReadEditLine(const ListLine& line);

  std::optional<SavedSourceEntry> entry_;
  bool sawHeader_ = false, sawClean_ = false, sawPath_ = false, sawProfile_ = false, sawCount_ = false;
};

std::string ListReader::Read(const ListLine& line, bool lastLine) {
  if (!sawHeader_) return ReadHeader(line);
  if (!sawClean_) return ReadCleanMark(line);
  if (!entry_) return ReadBetweenItems(line, lastLine);
  return ReadItemLine(line);
}

std::string ListReader::Finish() const {
  if (!sawClean_) return "cut off before its exit mark";
  if (entry_) return "cut off inside an item";
  if (!sawCount_) return "cut off before its count";
  return "";
}

std::string ListReader::ReadHeader(const ListLine& line) {
  if (line.key != kMagic) return "not a saved list";
  const std::optional<int> version = Number<int>(line.value);
  if (!version || *version < 1) return "broken version" + line.where;
  if (*version > kSavedListVersion) return "written by a newer version (" + std::to_string(*version) + ")";
  sawHeader_ = true;
  return "";
}

std::string ListReader::ReadCleanMark(const ListLine& line) {
  if (line.key != "clean" || (line.value != "0" && line.value != "1")) return "no exit mark" + line.where;
  list.cleanExit = line.value == "1";
  sawClean_ = true;
  return "";
}

// Between items: the next item, or the count that closes the file.
std::string ListReader::ReadBetweenItems(const ListLine& line, bool lastLine) {
  if (line.key == "count") {
    if (Number<size_t>(line.value) != list.entries.size() || !lastLine) return "broken count" + line.where;
    sawCount_ = true;
    return "";
  }
  if (line.text != "item") return "expected an item" + line.where;
  if (list.entries.size() == kSavedListMaxItems) return "more items than any list holds";
  entry_.emplace();
  sawPath_ = sawProfile_ = false;
  return "";
}

std::string ListReader::ReadItemLine(const ListLine& line) {
  const std::string_view key = line.key;
  if (line.text == "end") {
    if (!sawPath_ || !sawProfile_) return "an item without its file or profile" + line.where;
    list.entries.push_back(std::move(*entry_));
    entry_.reset();
    return "";
  }
  if (key == "path" || key == "profile" || key == "ext" || key == "args" || key == "size") return ReadItemText(line);
  if (key == "profileId" || key == "bitrate") return ReadItemNumber(line);
  if (key == "indices") {
    std::string_view rest = line.value;
    for (int32_t& index : entry_->listIndices) {
      const size_t gap = rest.find(' ');
      const std::optional<int32_t> number = Number<int32_t>(rest.substr(0, gap));
      if (!number || *number < 0) return "broken indices" + line.where;
      index = *number;
      rest = gap == std::string_view::npos ? std::string_view() : rest.substr(gap + 1);
    }
    return rest.empty() ? "" : "broken indices" + line.where;
  }
  if (line.text == "edits") {
    if (entry_->editSettings) return "edits twice" + line.where;
    entry_->editSettings = std::make_unique<EditSettings>();
    return "";
  }
  if (key.substr(0, 5) == "edit." && entry_->editSettings) return ReadEditLine(line);
  return "unknown line" + line.where;
}

// An item's file and profile (never empty) and its other texts.
std::string ListReader::ReadItemText(const ListLine& line) {
  const std::string_view key = line.key;
  std::optional<std::string> unescaped = Unescape(line.value);
  const bool needed = key == "path" || key == "profile";
  if (!unescaped || (needed && unescaped->empty())) return "broken " + std::string(key) + line.where;
  if (key == "path") sawPath_ = true;
  if (key == "profile") sawProfile_ = true;
  (key == "path"      ? entry_->sourcePath
   : key == "profile" ? entry_->profilePath
   : key == "ext"     ? entry_->targetExtension
   : key == "args"    ? entry_->engineArgs
                      : entry_->estimatedSize) = std::move(*unescaped);
  return "";
}

std::string ListReader::ReadItemNumber(const ListLine& line) {
  const std::optional<int32_t> number = Number<int32_t>(line.value);
  if (!number) return "broken " + std::string(line.key) + line.where;
  (line.key == "profileId" ? entry_->profileId : entry_->videoBitrateBps) = *number;
  return "";
}

std::string ListReader::ReadEditLine(const ListLine& line) {
  const std::string_view name = line.key.substr(5);
  const EditField* field = FindEditField(name);
  if (!field) return "unknown field" + line.where;
  const std::optional<std::string> unescaped = Unescape(line.value);
  if (!unescaped || !SetEditField(entry_->editSettings.get(), *field, *unescaped))
    return "broken " + std::string(name) + line.where;
  return "";
}

SavedListReading Refused(std::string why) { return {std::nullopt, std::move(why)}; }

}  // namespace

SavedListReading ReadSavedSourceList(std::string_view text) {
  if (text.size() > kSavedListMaxBytes) return Refused("larger than any saved list");
  ListReader reader;
  for (size_t lineNumber = 1; !text.empty(); ++lineNumber) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return Refused("cut off in line " + std::to_string(lineNumber));
    const ListLine line = SplitLine(text.substr(0, end), lineNumber);
    text.remove_prefix(end + 1);
    if (std::string why = reader.Read(line, text.empty()); !why.empty()) return Refused(std::move(why));
  }
  if (std::string why = reader.Finish(); !why.empty()) return Refused(std::move(why));
  return {std::move(reader.list), ""};
}
bool SaveSourceListFile(const std::string& path, const SavedSourceList& list) {
  return ReplacePrivateFile(path, WriteSavedSourceList(list));
}

SavedListFile ReadSourceListFile(const std::string& path) {
  SavedListFile found;
  auto refuse = [&](std::string why) {
    found.state = SavedListFile::State::kRefused;
    found.why = std::move(why);
    return found;
  };
  // Without waiting (a pipe would hold the start for ever) and without
  // following a link (which could lead anywhere).
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) return found;
  if (fd < 0 && errno == ELOOP) return refuse("not a plain file (a link)");
  if (fd < 0) return refuse(std::strerror(errno));
  struct stat facts {};
  const bool plain = ::fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode);
  if (!plain || facts.st_size > static_cast<off_t>(kSavedListMaxBytes)) {
    ::close(fd);
    return refuse(plain ? "larger than any saved list" : "not a plain file");
  }
  std::string text(static_cast<size_t>(facts.st_size) + 1, '\0');
  size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  // Grown while being read: read no further than any list goes.
  if (got > kSavedListMaxBytes) return refuse("larger than any saved list");
  text.resize(got);
  found.state = SavedListFile::State::kRead;
  found.text = std::move(text);
  return found;
}

std::string SetAsideSourceListFile(const std::string& path) {
  constexpr int kNames = 9;
  for (int n = 1; n <= kNames; ++n) {
    const std::string aside = path + ".refused" + (n == 1 ? "" : "." + std::to_string(n));
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) return aside;
    if (errno != EEXIST) return "";
  }
  return "";
}

bool SavedListLock::Take(const std::string& listPath) {
  if (Held()) return true;
  const std::string path = listPath + ".lock";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void SavedListLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool ItemOfSavedEntry(const SavedSourceEntry& entry, SourceItem* item, std::string* error) {
  if (!BuildItemFromProfile(TargetProfile{entry.profilePath, entry.profileId}, item, error)) return false;
  item->sourcePath = entry.sourcePath;
  // The user's choices come back as they were; the facts come from the probe.
  item->targetExtension = entry.targetExtension;
  item->engineArgs = entry.engineArgs;
  item->videoBitrateBps = entry.videoBitrateBps;
  item->listIndices = entry.listIndices;
  item->editSettings = entry.editSettings ? std::make_unique<EditSettings>(*entry.editSettings) : nullptr;
  item->estimatedSize = entry.estimatedSize;
  return true;
}

}  // namespace mivora
