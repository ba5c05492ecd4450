#pragma once
// One profile file as read by the line reader: the scalar values and the
// value lists of an output format.
//
// The line reader does not parse XML. It cuts the file into lines at line
// feeds, never reads the last line (where the root end tag stands), and takes
// the first key that occurs anywhere in a line (a key is an element name plus
// its trailing blank, so "VideoCodec " does not match a VideoCodecList line).
// A scalar is the text between the first two double quotes of its line; a
// list is that text cut at commas, with the position of the current choice
// read from the text between the third and fourth double quote.
//
// A line longer than kMaxProfileLineBytes is skipped whole (and logged), so a
// huge or hostile file costs bounded memory and yields the record of its other
// lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mivora {

struct ParameterList {
  std::vector<std::string> items;
  int32_t index = 0;  // position of the current choice; may lie outside items

  bool operator==(const ParameterList&) const = default;
};

inline constexpr size_t kMaxProfileLineBytes = 1 << 20;

class Profile {
 public:
  Profile() = default;
  Profile(const Profile&) = default;
  Profile& operator=(const Profile&) = default;
  virtual ~Profile();

  // Fills the record from the file; false only when it cannot be opened (then
  // nothing changes). Fields whose line is missing keep their content.
  bool Load(std::string_view path);
  // The same over text already in memory (the text after the last line feed,
  // and the line ending in the text's last byte, are not read).
  void LoadText(std::string_view text);
  // Reads one line (without its line feed) into the record.
  void ReadLine(std::string_view line);

  // The engine option text for this profile (see EngineArguments.h).
  std::string BuildEngineArguments() const;

  bool operator==(const Profile&) const = default;

  std::string groupId, groupName, profileId, profileName, profileComment, formatExt;
  std::string videoDisable, videoCodec, videoBitrate, videoSize, videoFrameRate, videoAspectRatio,
      videoZoom;
  std::string audioDisable, audioCodec, audioBitrate, audioSampleRate, audioChannels, audioVolume;

  ParameterList videoCodecList, videoBitrateList, videoSizeList, videoFrameRateList,
      videoAspectRatioList, videoZoomList, videoDisableList;
  ParameterList audioCodecList, audioBitrateList, audioSampleRateList, audioChannelsList,
      audioVolumeList, audioDisableList;
};

// Leading decimal number of a text (optional blanks, optional sign, digits),
// saturated to the 32-bit range; 0 when the text does not start with one.
int32_t LeadingInteger(std::string_view text);

}  // namespace mivora
