#include "cli/EditOptions.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "common/Format.h"
#include "editing/EditFields.h"
#include "editing/FontLookup.h"
#include "editing/TextColour.h"

namespace mivora::cli {
namespace {

// Sets the named field of the record from `text`, within the field's range.
bool SetField(EditSettings* e, const char* name, std::string_view text) {
  const EditField* field = FindEditField(name);
  return field && SetEditField(e, *field, text);
}

// Sets the named fields from as many comma-separated values.
bool SetFields(EditSettings* e, std::string_view text, std::initializer_list<const char*> names) {
  size_t left = names.size();
  for (const char* name : names) {
    const size_t comma = --left == 0 ? text.size() : text.find(',');
    if (comma == std::string_view::npos || !SetField(e, name, text.substr(0, comma))) return false;
    text.remove_prefix(std::min(text.size(), comma + 1));
  }
  return true;
}

void EnableEffects(EditSettings* e) {
  if (!e->effectsEnabled) {
    e->effectsEnabled = 1;
    e->contrast = 100;
    e->saturation = 100;
  }
}

bool SetEffectField(EditSettings* e, const char* name, const std::string& value) {
  EnableEffects(e);
  return SetField(e, name, value);
}

int Lookup(const std::string& name, std::initializer_list<const char*> names) {
  int i = 0;
  for (const char* candidate : names) {
    if (name == candidate) return i;
    ++i;
  }
  return -1;
}

bool ApplyTrim(const std::string& value, EditSettings* e) {
  size_t dash = value.find('-');
  if (dash == std::string::npos || dash == 0 || dash + 1 == value.size()) return false;
  e->trimEnabled = 1;
  e->trimStart = ParseClock(value.substr(0, dash));
  e->trimEnd = ParseClock(value.substr(dash + 1));
  return e->trimEnd > e->trimStart;
}

bool ApplyCrop(const std::string& value, EditSettings* e) {
  e->cropEnabled = 1;
  return SetFields(e, value, {"cropLeft", "cropTop", "cropRight", "cropBottom"}) && e->cropRight > e->cropLeft &&
         e->cropBottom > e->cropTop;
}

bool ApplyFlip(const std::string& value, EditSettings* e) {
  if (value != "v" && value != "h" && value != "vh" && value != "hv") return false;
  EnableEffects(e);
  if (value.find('v') != std::string::npos) e->flipVertical = 1;
  if (value.find('h') != std::string::npos) e->flipHorizontal = 1;
  return true;
}

bool ApplyEffect(const std::string& value, EditSettings* e) {
  int effect = Lookup(value, {"none", "sharpen", "blur", "invert", "flip-color", "gray", "aged-film"});
  if (effect < 0) return false;
  EnableEffects(e);
  e->effect = effect;
  return true;
}

bool ApplyText(const std::string& value, EditSettings* e) {
  e->textEnabled = 1;
  e->watermarkText = value;
  // What the font dialog starts with on a new record.
  if (e->fontSize == 0) e->fontSize = 24;
  if (e->textAlpha == 0) e->textAlpha = 255;
  return true;
}

bool ApplyFont(const std::string& value, EditSettings* e) {
  e->fontFace = value;
  e->fontFile.clear();
  return true;
}

// RRGGBB, as web colours are written; kept as 0x00BBGGRR.
bool ApplyTextColour(const std::string& value, EditSettings* e) {
  uint32_t rgb = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), rgb, 16);
  if (value.size() != 6 || error != std::errc() || end != value.data() + value.size()) return false;
  e->textColor = TextColourOfRgb(rgb);
  return true;
}

bool ApplyPicture(const std::string& value, EditSettings* e) {
  e->pictureEnabled = 1;
  e->picturePath = value;
  return true;
}

bool Apply3d(const std::string& value, EditSettings* e) {
  int mode = Lookup(value, {"red-cyan", "red-green", "red-blue", "blue-yellow", "interleaved", "side-by-side"});
  if (mode < 0) return false;
  e->stereoEnabled = 1;
  e->stereoMode = mode;
  return true;
}

// The options named after what they do; numbers keep to their field's range.
struct FriendlyOption {
  const char* name;
  bool (*apply)(const std::string& value, EditSettings* e);
};
constexpr FriendlyOption kFriendlyOptions[] = {
    {"--trim", ApplyTrim},
    {"--crop", ApplyCrop},
    {"--brightness", [](const std::string& v, EditSettings* e) { return SetEffectField(e, "brightness", v); }},
    {"--contrast", [](const std::string& v, EditSettings* e) { return SetEffectField(e, "contrast", v); }},
    {"--saturation", [](const std::string& v, EditSettings* e) { return SetEffectField(e, "saturation", v); }},
    {"--flip", ApplyFlip},
    {"--effect", ApplyEffect},
    {"--text", ApplyText},
    {"--font", ApplyFont},
    {"--text-size",
     [](const std::string& v, EditSettings* e) { return SetField(e, "fontSize", v) && e->fontSize > 0; }},
    {"--text-alpha", [](const std::string& v, EditSettings* e) { return SetField(e, "textAlpha", v); }},
    {"--text-color", ApplyTextColour},
    {"--text-pos",
     [](const std::string& v, EditSettings* e) { return SetFields(e, v, {"textLeft", "textTop"}); }},
    {"--picture", ApplyPicture},
    {"--picture-pos",
     [](const std::string& v, EditSettings* e) { return SetFields(e, v, {"pictureLeft", "pictureTop"}); }},
    {"--3d", Apply3d},
    {"--3d-depth", [](const std::string& v, EditSettings* e) { return SetField(e, "stereoDepth", v); }},
};

const FriendlyOption* FindFriendly(const std::string& option) {
  for (const FriendlyOption& friendly : kFriendlyOptions)
    if (option == friendly.name) return &friendly;
  return nullptr;
}

// "--edit NAME=VALUE": any field of the record by its own name.
bool ApplyEdit(const std::string& value, EditSettings* e) {
  const size_t eq = value.find('=');
  const EditField* field = eq == std::string::npos ? nullptr : FindEditField(std::string_view(value).substr(0, eq));
  return field && SetEditField(e, *field, std::string_view(value).substr(eq + 1));
}

}  // namespace

bool ParseEditOption(const std::vector<std::string>& args, size_t* index, EditSettings* edits,
                     bool* matched, std::string* error) {
  const std::string& option = args[*index];
  const FriendlyOption* friendly = FindFriendly(option);
  *matched = friendly || option == "--edit";
  if (!*matched) return true;
  if (*index + 1 >= args.size()) {
    *error = option + " needs a value";
    return false;
  }
  const std::string& value = args[*index + 1];
  *index += 2;
  if (!friendly && !ApplyEdit(value, edits)) {
    *error = "--edit " + value + ": expected FIELD=VALUE with a field of the edit record and a value in its range";
    return false;
  }
  if (friendly && !friendly->apply(value, edits)) {
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
