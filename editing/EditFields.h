#pragma once
// The fields of an edit record by their own names: one row a field, in the
// record's order, with its kind and the values it may hold. The saved source
// list writes and reads them as "edit.NAME value" lines and mivora-cli sets
// them with "--edit NAME=VALUE"; both go through this table, so a field is
// named, written and checked in one place.
//
// A number is written in decimal and read in decimal ("-" allowed) or as
// "0x" and hex digits; nothing else (no "+", no blanks, no octal).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "editing/EditSettings.h"

namespace mivora {

struct EditField {
  enum class Kind { kNumber, kColour, kText };
  const char* name;
  Kind kind;
  int64_t min = 0;  // kNumber, kColour: the values it may hold
  int64_t max = 0;
  int32_t EditSettings::*number = nullptr;  // kNumber
  uint32_t EditSettings::*colour = nullptr; // kColour (0x00BBGGRR)
  std::string EditSettings::*text = nullptr;  // kText: any text
};

// Every field of EditSettings, in the record's order.
std::span<const EditField> EditFields();

// The row named `name`; nullptr when the record has no such field.
const EditField* FindEditField(std::string_view name);

// The field's value as written: a number in decimal, a text as it is.
std::string EditFieldText(const EditSettings& edits, const EditField& field);

// Sets the field from `text`. False, leaving the record as it was, when a
// number field's text is not a number or lies outside the field's range.
bool SetEditField(EditSettings* edits, const EditField& field, std::string_view text);

// True when the two records hold the same value in every field.
bool SameEditFields(const EditSettings& a, const EditSettings& b);

}  // namespace mivora
