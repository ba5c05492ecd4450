#include "windowmodels/SavedSourceList.h"

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
#include "pipeline/TaskBuilder.h"

namespace mivora {

namespace {

constexpr std::string_view kMagic = "MIVORA-LIST";

// The edit fields by name; a saved file names each one it sets.
struct IntField {
  const char* name;
  int32_t EditSettings::*field;
};
constexpr IntField kIntFields[] = {
    {"trimEnabled", &EditSettings::trimEnabled},       {"trimStart", &EditSettings::trimStart},
    {"trimEnd", &EditSettings::trimEnd},               {"cropEnabled", &EditSettings::cropEnabled},
    {"cropLeft", &EditSettings::cropLeft},             {"cropTop", &EditSettings::cropTop},
    {"cropRight", &EditSettings::cropRight},           {"cropBottom", &EditSettings::cropBottom},
    {"effectsEnabled", &EditSettings::effectsEnabled}, {"brightness", &EditSettings::brightness},
    {"contrast", &EditSettings::contrast},             {"saturation", &EditSettings::saturation},
    {"flipVertical", &EditSettings::flipVertical},     {"flipHorizontal", &EditSettings::flipHorizontal},
    {"effect", &EditSettings::effect},                 {"textEnabled", &EditSettings::textEnabled},
    {"fontSize", &EditSettings::fontSize},             {"textAlpha", &EditSettings::textAlpha},
    {"textLeft", &EditSettings::textLeft},             {"textTop", &EditSettings::textTop},
    {"pictureEnabled", &EditSettings::pictureEnabled}, {"pictureLeft", &EditSettings::pictureLeft},
    {"pictureTop", &EditSettings::pictureTop},         {"pictureWidth", &EditSettings::pictureWidth},
    {"pictureHeight", &EditSettings::pictureHeight},   {"stereoEnabled", &EditSettings::stereoEnabled},
    {"stereoMode", &EditSettings::stereoMode},         {"stereoDepth", &EditSettings::stereoDepth},
};
struct TextField {
  const char* name;
  std::string EditSettings::*field;
};
constexpr TextField kTextFields[] = {
    {"fontFace", &EditSettings::fontFace},
    {"watermarkText", &EditSettings::watermarkText},
    {"fontFile", &EditSettings::fontFile},
    {"picturePath", &EditSettings::picturePath},
};

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
  for (const IntField& f : kIntFields)
    if (a->*f.field != b->*f.field) return false;
  for (const TextField& f : kTextFields)
    if (a->*f.field != b->*f.field) return false;
  return a->textColor == b->textColor;
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
      for (const IntField& f : kIntFields) out += std::string("edit.") + f.name + " " + std::to_string(edits->*f.field) + "\n";
      for (const TextField& f : kTextFields) out += std::string("edit.") + f.name + " " + Escape(edits->*f.field) + "\n";
      out += "edit.textColor " + std::to_string(edits->textColor) + "\n";
    }
    out += "end\n";
  }
  // The last line: a file cut between two items is seen as cut.
  out += "count " + std::to_string(list.entries.size()) + "\n";
  return out;
}

SavedListReading ReadSavedSourceList(std::string_view text) {
  SavedListReading reading;
  auto refuse = [&](std::string why) {
    reading.list.reset();
    reading.why = std::move(why);
    return reading;
  };
  if (text.size() > kSavedListMaxBytes) return refuse("larger than any saved list");
  SavedSourceList list;
  std::optional<SavedSourceEntry> entry;
  bool sawHeader = false, sawClean = false, sawPath = false, sawProfile = false, sawCount = false;
  size_t lineNumber = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return refuse("cut off in line " + std::to_string(lineNumber + 1));
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    ++lineNumber;
    const size_t space = line.find(' ');
    const std::string_view key = line.substr(0, space);
    const std::string_view value = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    const std::string where = " in line " + std::to_string(lineNumber);

    if (!sawHeader) {
      if (key != kMagic) return refuse("not a saved list");
      const std::optional<int> version = Number<int>(value);
      if (!version || *version < 1) return refuse("broken version" + where);
      if (*version > kSavedListVersion) return refuse("written by a newer version (" + std::to_string(*version) + ")");
      sawHeader = true;
    } else if (!sawClean) {
      if (key != "clean" || (value != "0" && value != "1")) return refuse("no exit mark" + where);
      list.cleanExit = value == "1";
      sawClean = true;
    } else if (!entry && key == "count") {
      if (Number<size_t>(value) != list.entries.size() || !text.empty()) return refuse("broken count" + where);
      sawCount = true;
    } else if (!entry) {
      if (line != "item") return refuse("expected an item" + where);
      if (list.entries.size() == kSavedListMaxItems) return refuse("more items than any list holds");
      entry.emplace();
      sawPath = sawProfile = false;
    } else if (line == "end") {
      if (!sawPath || !sawProfile) return refuse("an item without its file or profile" + where);
      list.entries.push_back(std::move(*entry));
      entry.reset();
    } else if (key == "path" || key == "profile") {
      std::optional<std::string> unescaped = Unescape(value);
      if (!unescaped || unescaped->empty()) return refuse("broken " + std::string(key) + where);
      (key == "path" ? entry->sourcePath : entry->profilePath) = std::move(*unescaped);
      (key == "path" ? sawPath : sawProfile) = true;
    } else if (key == "ext" || key == "args" || key == "size") {
      std::optional<std::string> unescaped = Unescape(value);
      if (!unescaped) return refuse("broken " + std::string(key) + where);
      (key == "ext" ? entry->targetExtension : key == "args" ? entry->engineArgs : entry->estimatedSize) =
          std::move(*unescaped);
    } else if (key == "profileId" || key == "bitrate") {
      const std::optional<int32_t> number = Number<int32_t>(value);
      if (!number) return refuse("broken " + std::string(key) + where);
      (key == "profileId" ? entry->profileId : entry->videoBitrateBps) = *number;
    } else if (key == "indices") {
      std::string_view rest = value;
      for (int32_t& index : entry->listIndices) {
        const size_t gap = rest.find(' ');
        const std::optional<int32_t> number = Number<int32_t>(rest.substr(0, gap));
        if (!number || *number < 0) return refuse("broken indices" + where);
        index = *number;
        rest = gap == std::string_view::npos ? std::string_view() : rest.substr(gap + 1);
      }
      if (!rest.empty()) return refuse("broken indices" + where);
    } else if (line == "edits") {
      if (entry->editSettings) return refuse("edits twice" + where);
      entry->editSettings = std::make_unique<EditSettings>();
    } else if (key.substr(0, 5) == "edit." && entry->editSettings) {
      const std::string_view name = key.substr(5);
      bool known = false;
      for (const IntField& f : kIntFields) {
        if (name != f.name) continue;
        const std::optional<int32_t> number = Number<int32_t>(value);
        if (!number) return refuse("broken " + std::string(name) + where);
        entry->editSettings.get()->*f.field = *number;
        known = true;
      }
      for (const TextField& f : kTextFields) {
        if (name != f.name) continue;
        std::optional<std::string> unescaped = Unescape(value);
        if (!unescaped) return refuse("broken " + std::string(name) + where);
        entry->editSettings.get()->*f.field = std::move(*unescaped);
        known = true;
      }
      if (name == "textColor") {
        const std::optional<uint32_t> number = Number<uint32_t>(value);
        if (!number) return refuse("broken textColor" + where);
        entry->editSettings->textColor = *number;
        known = true;
      }
      if (!known) return refuse("unknown field" + where);
    } else {
      return refuse("unknown line" + where);
    }
  }
  if (!sawClean) return refuse("cut off before its exit mark");
  if (entry) return refuse("cut off inside an item");
  if (!sawCount) return refuse("cut off before its count");
  reading.list = std::move(list);
  return reading;
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

bool RestoreSourceItem(const SavedSourceEntry& entry, SourceItem* item, std::string* error,
                       const ProbeLimits& limits) {
  if (!BuildSourceItem(entry.sourcePath, TargetProfile{entry.profilePath, entry.profileId}, item, error, nullptr,
                       limits))
    return false;
  // What the probe found stays; the user's choices come back as they were.
  item->targetExtension = entry.targetExtension;
  item->engineArgs = entry.engineArgs;
  item->videoBitrateBps = entry.videoBitrateBps;
  item->listIndices = entry.listIndices;
  item->editSettings = entry.editSettings ? std::make_unique<EditSettings>(*entry.editSettings) : nullptr;
  if (!entry.estimatedSize.empty()) item->estimatedSize = entry.estimatedSize;
  return true;
}

}  // namespace mivora
