#include "cli/EditOptions.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

#include "common/Format.h"
#include "editing/FontLookup.h"

namespace mivora::cli {
namespace {

bool ToInt(const std::string& text, int32_t* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(text.c_str(), &end, 0);
  if (*end != '\0' || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

bool ToInts(const std::string& text, size_t count, std::vector<int32_t>* values) {
  values->clear();
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    int32_t v;
    if (!ToInt(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), &v))
      return false;
    values->push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return values->size() == count;
}

void EnableEffects(EditSettings* e) {
  if (!e->effectsEnabled) {
    e->effectsEnabled = 1;
    e->contrast = 100;
    e->saturation = 100;
  }
}

// The record's fields by their own names.
using FieldSetter = std::function<bool(EditSettings*, const std::string&)>;
const std::map<std::string, FieldSetter>& Fields() {
  auto integer = [](int32_t EditSettings::*field) {
    return FieldSetter([field](EditSettings* e, const std::string& v) { return ToInt(v, &(e->*field)); });
  };
  auto text = [](std::string EditSettings::*field) {
    return FieldSetter([field](EditSettings* e, const std::string& v) {
      e->*field = v;
      return true;
    });
  };
  static const std::map<std::string, FieldSetter> fields = {
      {"trimEnabled", integer(&EditSettings::trimEnabled)},
      {"trimStart", integer(&EditSettings::trimStart)},
      {"trimEnd", integer(&EditSettings::trimEnd)},
      {"cropEnabled", integer(&EditSettings::cropEnabled)},
      {"cropLeft", integer(&EditSettings::cropLeft)},
      {"cropTop", integer(&EditSettings::cropTop)},
      {"cropRight", integer(&EditSettings::cropRight)},
      {"cropBottom", integer(&EditSettings::cropBottom)},
      {"effectsEnabled", integer(&EditSettings::effectsEnabled)},
      {"brightness", integer(&EditSettings::brightness)},
      {"contrast", integer(&EditSettings::contrast)},
      {"saturation", integer(&EditSettings::saturation)},
      {"flipVertical", integer(&EditSettings::flipVertical)},
      {"flipHorizontal", integer(&EditSettings::flipHorizontal)},
      {"effect", integer(&EditSettings::effect)},
      {"textEnabled", integer(&EditSettings::textEnabled)},
      {"fontFace", text(&EditSettings::fontFace)},
      {"watermarkText", text(&EditSettings::watermarkText)},
      {"fontFile", text(&EditSettings::fontFile)},
      {"textColor",
       [](EditSettings* e, const std::string& v) {
         int32_t c;
         if (!ToInt(v, &c)) return false;
         e->textColor = static_cast<uint32_t>(c);
         return true;
       }},
      {"fontSize", integer(&EditSettings::fontSize)},
      {"textAlpha", integer(&EditSettings::textAlpha)},
      {"textLeft", integer(&EditSettings::textLeft)},
      {"textTop", integer(&EditSettings::textTop)},
      {"pictureEnabled", integer(&EditSettings::pictureEnabled)},
      {"pictureLeft", integer(&EditSettings::pictureLeft)},
      {"pictureTop", integer(&EditSettings::pictureTop)},
      {"pictureWidth", integer(&EditSettings::pictureWidth)},
      {"pictureHeight", integer(&EditSettings::pictureHeight)},
      {"picturePath", text(&EditSettings::picturePath)},
      {"stereoEnabled", integer(&EditSettings::stereoEnabled)},
      {"stereoMode", integer(&EditSettings::stereoMode)},
      {"stereoDepth", integer(&EditSettings::stereoDepth)},
  };
  return fields;
}

int Lookup(const std::string& name, std::initializer_list<const char*> names) {
  int i = 0;
  for (const char* candidate : names) {
    if (name == candidate) return i;
    ++i;
  }
  return -1;
}

bool ApplyFriendly(const std::string& option, const std::string& value, EditSettings* e) {
  std::vector<int32_t> n;
  if (option == "--trim") {
    size_t dash = value.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == value.size()) return false;
    e->trimEnabled = 1;
    e->trimStart = ParseClock(value.substr(0, dash));
    e->trimEnd = ParseClock(value.substr(dash + 1));
    return e->trimEnd > e->trimStart;
  }
  if (option == "--crop") {
    if (!ToInts(value, 4, &n)) return false;
    e->cropEnabled = 1;
    e->cropLeft = n[0], e->cropTop = n[1], e->cropRight = n[2], e->cropBottom = n[3];
    return n[2] > n[0] && n[3] > n[1];
  }
  if (option == "--brightness" || option == "--contrast" || option == "--saturation") {
    EnableEffects(e);
    int32_t* field = option == "--brightness" ? &e->brightness
                     : option == "--contrast" ? &e->contrast
                                              : &e->saturation;
    return ToInt(value, field);
  }
  if (option == "--flip") {
    if (value != "v" && value != "h" && value != "vh" && value != "hv") return false;
    EnableEffects(e);
    if (value.find('v') != std::string::npos) e->flipVertical = 1;
    if (value.find('h') != std::string::npos) e->flipHorizontal = 1;
    return true;
  }
  if (option == "--effect") {
    int effect = Lookup(value, {"none", "sharpen", "blur", "invert", "flip-color", "gray", "aged-film"});
    if (effect < 0) return false;
    EnableEffects(e);
    e->effect = effect;
    return true;
  }
  if (option == "--text") {
    e->textEnabled = 1;
    e->watermarkText = value;
    // What the font dialog starts with on a new record.
    if (e->fontSize == 0) e->fontSize = 24;
    if (e->textAlpha == 0) e->textAlpha = 255;
    return true;
  }
  if (option == "--font") {
    e->fontFace = value;
    e->fontFile.clear();
    return true;
  }
  if (option == "--text-size") return ToInt(value, &e->fontSize) && e->fontSize > 0;
  if (option == "--text-alpha") return ToInt(value, &e->textAlpha) && e->textAlpha >= 0 && e->textAlpha <= 255;
  if (option == "--text-color") {
    int32_t rgb;
    if (value.size() != 6 || !ToInt("0x" + value, &rgb)) return false;
    // Stored as 0x00BBGGRR.
    e->textColor = static_cast<uint32_t>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
    return true;
  }
  if (option == "--text-pos") {
    if (!ToInts(value, 2, &n)) return false;
    e->textLeft = n[0], e->textTop = n[1];
    return true;
  }
  if (option == "--picture") {
    e->pictureEnabled = 1;
    e->picturePath = value;
    return true;
  }
  if (option == "--picture-pos") {
    if (!ToInts(value, 2, &n)) return false;
    e->pictureLeft = n[0], e->pictureTop = n[1];
    return true;
  }
  if (option == "--3d") {
    int mode = Lookup(value, {"red-cyan", "red-green", "red-blue", "blue-yellow", "interleaved",
                              "side-by-side"});
    if (mode < 0) return false;
    e->stereoEnabled = 1;
    e->stereoMode = mode;
    return true;
  }
  if (option == "--3d-depth") return ToInt(value, &e->stereoDepth) && e->stereoDepth >= -50 && e->stereoDepth <= 50;
  return false;
}

const char* const kFriendlyOptions[] = {
    "--trim", "--crop", "--brightness", "--contrast", "--saturation", "--flip", "--effect",
    "--text", "--font", "--text-size", "--text-alpha", "--text-color", "--text-pos", "--picture",
    "--picture-pos", "--3d", "--3d-depth"};

}  // namespace

bool ParseEditOption(const std::vector<std::string>& args, size_t* index, EditSettings* edits,
                     bool* matched, std::string* error) {
  const std::string& option = args[*index];
  bool friendly = false;
  for (const char* name : kFriendlyOptions) friendly = friendly || option == name;
  *matched = friendly || option == "--edit";
  if (!*matched) return true;
  if (*index + 1 >= args.size()) {
    *error = option + " needs a value";
    return false;
  }
  const std::string& value = args[*index + 1];
  *index += 2;
  if (option == "--edit") {
    size_t eq = value.find('=');
    auto field = eq == std::string::npos ? Fields().end() : Fields().find(value.substr(0, eq));
    if (field == Fields().end() || !field->second(edits, value.substr(eq + 1))) {
      *error = "--edit " + value + ": expected FIELD=VALUE with a field of the edit record";
      return false;
    }
    return true;
  }
  if (!ApplyFriendly(option, value, edits)) {
    *error = option + " " + value + ": not a valid value";
    return false;
  }
  return true;
}

void CompleteEdits(EditSettings* edits) {
  if (edits->textEnabled && edits->fontFile.empty()) edits->fontFile = FindFontFile(edits->fontFace);
}

bool HasEdits(const EditSettings& e) {
  return e.trimEnabled || e.cropEnabled || e.effectsEnabled || e.textEnabled || e.pictureEnabled ||
         e.stereoEnabled;
}

}  // namespace mivora::cli
