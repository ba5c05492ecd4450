#pragma once
// Moving a profile's value lists between its file and drop-down lists, and
// writing the user's choices back into the file.
//
// A scalar element (VideoCodec) holds the chosen value, a list element
// (VideoCodecList) the offered values; both get the chosen position as their
// "index". Every write appends the layout text to the root so that a saved
// file keeps one element per line.

#include <cstdint>
#include <string>
#include <string_view>

#include "profiles/ListControl.h"
#include "profiles/XmlDocument.h"

namespace mivora {

// What the writers append to the root after each element they write.
inline constexpr std::string_view kElementLayoutText = "\r\n    ";
// Unit shown after each item of the main window's bit-rate lists.
inline constexpr std::string_view kBitrateUnit = " Kbps";

// Empties the control, adds the items of the list element `listName`, selects
// the list's index (none when outside the items) and enables the control
// exactly when it holds items. Returns the item count.
int32_t FillListControl(const XmlDocument& document, std::string_view listName, ListControl& control);

// Writes the control's selected item (or its own text when nothing is
// selected) as `value` and the selected position (-1 for none) as `index` of
// the element `elementName`, creating what is missing.
void WriteScalarFromControl(XmlDocument& document, std::string_view elementName,
                            const ListControl& control);

// Writes all items joined with "," as `value` and the selected position as
// `index` of the element `elementName`, creating what is missing.
void WriteListFromControl(XmlDocument& document, std::string_view elementName,
                          const ListControl& control);

// A main-window bit-rate list: the items of `listName` each followed by
// " Kbps", the list's index selected. The control is enabled or disabled by
// the window, not here.
void FillBitrateControl(const XmlDocument& document, std::string_view listName, ListControl& control);

// The number in a bit-rate item: the text without its four-character unit,
// blanks trimmed at both ends ("128 Kbps" gives "128").
std::string BitrateValueFromItem(std::string_view itemText);

// Refills the audio and the video bit-rate list from the profile file. False,
// with both lists unchanged, when the file does not open as a document.
bool RefillBitrateLists(const std::string& profilePath, ListControl& audio, ListControl& video);

// Writes the selection of both bit-rate lists into the profile file:
// AudioBitrate value and index, AudioBitrateList index, and the same for
// the video elements; then saves. A list without a selection writes nothing,
// so a profile without (say) video bit rates gains no empty video elements.
// False when the file does not open or cannot be saved.
bool WriteBitrateChoice(const std::string& profilePath, const ListControl& audio,
                        const ListControl& video);

}  // namespace mivora
