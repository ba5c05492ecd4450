// The shipped profile library: every file is complete, its lists agree with
// its values in both readers, and saving it changes nothing.

#include <gtest/gtest.h>

#include <set>

#include "common/Folders.h"
#include "profiles/EngineArguments.h"
#include "profiles/ParameterLists.h"
#include "profiles/Profile.h"
#include "profiles/ProfileCatalog.h"
#include "profiles/XmlDocument.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

std::vector<ProfileEntry> ShippedProfiles() {
  ProfileIdTable ids;
  return ProfileCatalog::Scan(MIVORA_PROGRAM_DIR "/Profiles", ids).All();
}

struct Adjustable {
  const char* scalar;
  std::string Profile::*value;
  ParameterList Profile::*list;
};
const Adjustable kAdjustable[] = {
    {"VideoCodec", &Profile::videoCodec, &Profile::videoCodecList},
    {"VideoBitrate", &Profile::videoBitrate, &Profile::videoBitrateList},
    {"VideoSize", &Profile::videoSize, &Profile::videoSizeList},
    {"VideoFrameRate", &Profile::videoFrameRate, &Profile::videoFrameRateList},
    {"VideoAspectRatio", &Profile::videoAspectRatio, &Profile::videoAspectRatioList},
    {"AudioCodec", &Profile::audioCodec, &Profile::audioCodecList},
    {"AudioBitrate", &Profile::audioBitrate, &Profile::audioBitrateList},
    {"AudioSampleRate", &Profile::audioSampleRate, &Profile::audioSampleRateList},
    {"AudioChannels", &Profile::audioChannels, &Profile::audioChannelsList},
    {"AudioVolume", &Profile::audioVolume, &Profile::audioVolumeList},
};

TEST(ProfileLibrary, IsBroadAndHasTheInitialProfile) {
  auto profiles = ShippedProfiles();
  std::set<std::string> groups, names;
  std::set<int32_t> ids;
  for (const auto& entry : profiles) {
    groups.insert(entry.group);
    names.insert(entry.name);
    ids.insert(entry.id);
  }
  EXPECT_GE(profiles.size(), 40u);
  EXPECT_GE(groups.size(), 7u);
  EXPECT_EQ(names.size(), profiles.size());
  EXPECT_EQ(ids.size(), profiles.size());
  EXPECT_TRUE(FileExists(MIVORA_PROGRAM_DIR "/Profiles/General Video/AVI - Audio Video Interleaved.xml"));
  // The program folder holds exactly the profiles of the source tree.
  ProfileIdTable sourceIds;
  EXPECT_EQ(ProfileCatalog::Scan(MIVORA_SOURCE_PROFILES, sourceIds).All().size(), profiles.size());
}

// The menu offers the formats people pick today, each in its group, under
// the codecs its name promises.
TEST(ProfileLibrary, MenuOffersTheCurrentFormats) {
  struct Row {
    const char* group;
    const char* name;
    const char* videoCodec;  // the profile's display codec name, "" for audio only
    const char* audioCodec;
  };
  const Row rows[] = {
      {"General Video", "MP4 - H.265 HEVC Video", "H.265", "AAC"},
      {"General Video", "MKV - H.265 HEVC Video", "H.265", "AAC"},
      {"General Video", "MKV - AV1 Video", "AV1", "OPUS"},
      {"General Video", "WebM - AV1 Video", "AV1", "OPUS"},
      {"General Video", "WebM - VP9 Video", "VP9", "OPUS"},
      {"HD Video", "MP4 - H.264 4K 2160p", "H.264", "AAC"},
      {"HD Video", "MP4 - H.265 4K 2160p", "H.265", "AAC"},
      {"HD Video", "MKV - AV1 4K 2160p", "AV1", "OPUS"},
      {"HD Video", "MKV - H.265 10-bit HDR", "H.265 10-bit", "AAC"},
      {"HD Video", "MKV - AV1 10-bit HDR", "AV1 10-bit", "OPUS"},
      {"Audio", "OPUS - Opus Audio", "", "OPUS"},
  };
  ProfileIdTable ids;
  ProfileCatalog catalog = ProfileCatalog::Scan(MIVORA_PROGRAM_DIR "/Profiles", ids);
  for (const Row& row : rows) {
    const ProfileEntry* entry = catalog.FindByRelativePath(std::string(row.group) + "/" + row.name + ".xml");
    ASSERT_NE(entry, nullptr) << row.name;
    bool onMenu = false;
    for (const ProfileGroup& group : catalog.Groups())
      for (const ProfileEntry& shown : group.profiles)
        onMenu = onMenu || (group.name == row.group && shown.name == row.name);
    EXPECT_TRUE(onMenu) << row.name;
    Profile profile;
    ASSERT_TRUE(profile.Load(entry->path));
    EXPECT_EQ(profile.videoDisable == "Yes" ? "" : profile.videoCodec, row.videoCodec) << row.name;
    EXPECT_EQ(profile.audioCodec, row.audioCodec) << row.name;
  }
}

// No two shipped paths meet on one number, so every profile's identifier is
// the one its path alone gives: a profile added to the library (or a user's
// own) cannot move a shipped profile to another number, with or without the
// table of handed-out numbers. The numbers written in the files differ too.
TEST(ProfileLibrary, IdentifiersComeFromThePathsAlone) {
  std::set<std::string> fileIds;
  for (const auto& entry : ShippedProfiles()) {
    EXPECT_EQ(entry.id, ProfileIdFromPath(entry.relativePath)) << entry.relativePath;
    Profile profile;
    ASSERT_TRUE(profile.Load(entry.path));
    EXPECT_TRUE(fileIds.insert(profile.profileId).second) << entry.relativePath << ": " << profile.profileId;
  }
}

TEST(ProfileLibrary, EveryProfileIsCompleteAndItsListsAgreeWithItsValues) {
  SetProgramFolder(test::MakeTempDir("nogpu"));
  for (const auto& entry : ShippedProfiles()) {
    SCOPED_TRACE(entry.relativePath);
    Profile profile;
    ASSERT_TRUE(profile.Load(entry.path));
    XmlDocument document;
    ASSERT_TRUE(document.Load(entry.path)) << document.Error();
    EXPECT_EQ(profile.profileName, entry.name);
    EXPECT_EQ(profile.groupName, entry.group);
    EXPECT_FALSE(profile.formatExt.empty());
    EXPECT_FALSE(profile.profileComment.empty());
    EXPECT_NE(MapCodecName(profile.audioCodec), "copy");
    if (profile.videoDisable == "Yes") EXPECT_EQ(profile.videoCodec, "None");
    else EXPECT_NE(MapCodecName(profile.videoCodec), "copy");
    EXPECT_FALSE(profile.BuildEngineArguments().empty());
    for (const auto& parameter : kAdjustable) {
      SCOPED_TRACE(parameter.scalar);
      const ParameterList& list = profile.*parameter.list;
      ParameterList fromDocument = ReadParameterList(document, std::string(parameter.scalar) + "List");
      if (fromDocument.items.empty()) continue;  // not adjustable in this profile
      // Both readers see the same items; the current value is the selected item.
      EXPECT_EQ(list, fromDocument);
      ASSERT_GE(list.index, 0);
      ASSERT_LT(static_cast<size_t>(list.index), list.items.size());
      EXPECT_EQ(profile.*parameter.value, list.items[list.index]);
      EXPECT_EQ(document.Root().SelectChild(parameter.scalar, false).GetIntAttribute("index", -9), list.index);
      std::set<std::string> distinct(list.items.begin(), list.items.end());
      EXPECT_EQ(distinct.size(), list.items.size());
    }
    if (!profile.videoBitrateList.items.empty()) {
      EXPECT_EQ(ReadSelectedBitrate(entry.path, "VideoBitrateList"), LeadingInteger(profile.videoBitrate));
    }
    if (!profile.audioBitrateList.items.empty()) {
      EXPECT_EQ(ReadSelectedBitrate(entry.path, "AudioBitrateList"), LeadingInteger(profile.audioBitrate));
    }
  }
  SetProgramFolder(MIVORA_PROGRAM_DIR);
}

TEST(ProfileLibrary, LoadSaveLoadKeepsEveryRecordAndTheFileItself) {
  for (const auto& entry : ShippedProfiles()) {
    SCOPED_TRACE(entry.relativePath);
    std::string copy = test::MakeTempDir("roundtrip") + "/p.xml";
    Profile before;
    ASSERT_TRUE(before.Load(entry.path));
    XmlDocument document;
    ASSERT_TRUE(document.Load(entry.path));
    ASSERT_TRUE(document.Save(copy));
    Profile after;
    ASSERT_TRUE(after.Load(copy));
    EXPECT_EQ(after, before);
    // The shipped files are already in the saved layout.
    EXPECT_EQ(test::ReadFile(copy), test::ReadFile(entry.path));
  }
}

}  // namespace
}  // namespace mivora
