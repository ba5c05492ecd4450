#include "editing/EditFields.h"

#include <charconv>
#include <cstdint>
#include <optional>

namespace mivora {
namespace {

using Kind = EditField::Kind;
constexpr int64_t kAnyInt = INT32_MIN;
constexpr int64_t kMaxInt = INT32_MAX;

constexpr EditField Flag(const char* name, int32_t EditSettings::*field) {
  return {name, Kind::kNumber, 0, 1, field};
}
constexpr EditField Number(const char* name, int32_t EditSettings::*field, int64_t min, int64_t max) {
  return {name, Kind::kNumber, min, max, field};
}
constexpr EditField Text(const char* name, std::string EditSettings::*field) {
  return {name, Kind::kText, 0, 0, nullptr, nullptr, field};
}

// Positions may lie off the frame (the engine draws what falls inside);
// edges, sizes and seconds never go below zero.
constexpr EditField kFields[] = {
    Flag("trimEnabled", &EditSettings::trimEnabled),
    Number("trimStart", &EditSettings::trimStart, 0, kMaxInt),
    Number("trimEnd", &EditSettings::trimEnd, 0, kMaxInt),
    Flag("cropEnabled", &EditSettings::cropEnabled),
    Number("cropLeft", &EditSettings::cropLeft, 0, kMaxInt),
    Number("cropTop", &EditSettings::cropTop, 0, kMaxInt),
    Number("cropRight", &EditSettings::cropRight, 0, kMaxInt),
    Number("cropBottom", &EditSettings::cropBottom, 0, kMaxInt),
    Flag("effectsEnabled", &EditSettings::effectsEnabled),
    Number("brightness", &EditSettings::brightness, -100, 100),
    Number("contrast", &EditSettings::contrast, 0, 200),
    Number("saturation", &EditSettings::saturation, 0, 200),
    Flag("flipVertical", &EditSettings::flipVertical),
    Flag("flipHorizontal", &EditSettings::flipHorizontal),
    Number("effect", &EditSettings::effect, 0, kEffectCount - 1),
    Flag("textEnabled", &EditSettings::textEnabled),
    Text("fontFace", &EditSettings::fontFace),
    Text("watermarkText", &EditSettings::watermarkText),
    Text("fontFile", &EditSettings::fontFile),
    {"textColor", Kind::kColour, 0, 0xFFFFFF, nullptr, &EditSettings::textColor},
    Number("fontSize", &EditSettings::fontSize, 0, kMaxInt),
    Number("textAlpha", &EditSettings::textAlpha, 0, 255),
    Number("textLeft", &EditSettings::textLeft, kAnyInt, kMaxInt),
    Number("textTop", &EditSettings::textTop, kAnyInt, kMaxInt),
    Flag("pictureEnabled", &EditSettings::pictureEnabled),
    Number("pictureLeft", &EditSettings::pictureLeft, kAnyInt, kMaxInt),
    Number("pictureTop", &EditSettings::pictureTop, kAnyInt, kMaxInt),
    Number("pictureWidth", &EditSettings::pictureWidth, 0, kMaxInt),
    Number("pictureHeight", &EditSettings::pictureHeight, 0, kMaxInt),
    Text("picturePath", &EditSettings::picturePath),
    Flag("stereoEnabled", &EditSettings::stereoEnabled),
    Number("stereoMode", &EditSettings::stereoMode, 0, kStereoModeCount - 1),
    Number("stereoDepth", &EditSettings::stereoDepth, -50, 50),
};

// Decimal with an optional "-", or "0x" and hex digits.
std::optional<int64_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
    if (text.front() == '-') return std::nullopt;
  }
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::span<const EditField> EditFields() { return kFields; }

const EditField* FindEditField(std::string_view name) {
  for (const EditField& field : kFields)
    if (name == field.name) return &field;
  return nullptr;
}

std::string EditFieldText(const EditSettings& edits, const EditField& field) {
  switch (field.kind) {
    case Kind::kNumber: return std::to_string(edits.*field.number);
    case Kind::kColour: return std::to_string(edits.*field.colour);
    case Kind::kText: return edits.*field.text;
  }
  return "";
}

bool SetEditField(EditSettings* edits, const EditField& field, std::string_view text) {
  if (field.kind == Kind::kText) {
    edits->*field.text = std::string(text);
    return true;
  }
  const std::optional<int64_t> value = ParseNumber(text);
  if (!value || *value < field.min || *value > field.max) return false;
  if (field.kind == Kind::kColour) edits->*field.colour = static_cast<uint32_t>(*value);
  else edits->*field.number = static_cast<int32_t>(*value);
  return true;
}

bool SameEditFields(const EditSettings& a, const EditSettings& b) {
  for (const EditField& field : kFields)
    if (EditFieldText(a, field) != EditFieldText(b, field)) return false;
  return true;
}

}  // namespace mivora
