#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "profiles/ParameterLists.h"
#include "profiles/Profile.h"
#include "profiles/XmlDocument.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

const std::string kSample =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Profile>\n"
    "    <FormatExt value=\"avi\"/>\n"
    "    <VideoCodec value=\"XviD\" index=\"0\"/>\n"
    "    <AudioBitrateList value=\"64,96,128,256\" index=\"2\"/>\n"
    "    <VideoBitrateList value=\"800,1000\" index=\"1\"/>\n"
    "</Profile>\n";

std::string WriteSample(const std::string& text = kSample) {
  std::string path = test::MakeTempDir("xml") + "/profile.xml";
  test::WriteFile(path, text);
  return path;
}

TEST(XmlDocument, ReadsElementsAndAttributes) {
  XmlDocument document;
  ASSERT_TRUE(document.Load(WriteSample()));
  XmlNode root = document.Root();
  EXPECT_EQ(root.SelectChild("VideoCodec", false).GetAttribute("value", ""), "XviD");
  // Missing element: the empty handle, whose reads give their defaults.
  XmlNode missing = root.SelectChild("VideoCodecList", false);
  EXPECT_TRUE(missing.IsEmpty());
  EXPECT_EQ(missing.GetIntAttribute("index", 0), 0);
  EXPECT_EQ(missing.GetAttribute("value", "dflt"), "dflt");
  EXPECT_FALSE(missing.SetAttribute("value", "x"));
  EXPECT_TRUE(missing.SelectChild("x", true).IsEmpty());
  // Names are compared exactly; a name with an apostrophe is simply not found.
  EXPECT_TRUE(root.SelectChild("videocodec", false).IsEmpty());
  EXPECT_TRUE(root.SelectChild("Video'Codec", false).IsEmpty());
  // Nor can such a name be created: it would make the file unreadable.
  EXPECT_TRUE(root.SelectChild("Video'Codec", true).IsEmpty());
  EXPECT_FALSE(root.SelectChild("VideoCodec", false).SetAttribute("a b", "x"));
}

TEST(XmlDocument, EmptyAttributesAndNumbersReadAsDefaults) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<R><E a=\"\" b=\"12x\" c=\"x\" d=\"-4\"/></R>"));
  XmlNode e = document.Root().SelectChild("E", false);
  EXPECT_EQ(e.GetAttribute("a", "dflt"), "dflt");
  EXPECT_EQ(e.GetIntAttribute("a", 7), 7);
  EXPECT_EQ(e.GetIntAttribute("b", 7), 12);
  EXPECT_EQ(e.GetIntAttribute("c", 7), 0);
  EXPECT_EQ(e.GetIntAttribute("d", 7), -4);
}

TEST(XmlDocument, SelectChildByLocalName) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<R xmlns:m=\"urn:x\"><m:Codec value=\"a\"/><Codec value=\"b\"/></R>"));
  EXPECT_EQ(document.Root().SelectChild("Codec", false).GetAttribute("value", ""), "a");
}

TEST(XmlDocument, CreatedElementIsReadByTheLineReaderAfterSave) {
  std::string path = WriteSample();
  {
    XmlDocument document;
    ASSERT_TRUE(document.Load(path));
    XmlNode bitrate = document.Root().SelectChild("AudioBitrate", true);
    ASSERT_FALSE(bitrate.IsEmpty());
    EXPECT_TRUE(bitrate.SetAttribute("value", "128"));
    bitrate.SetIntAttribute("index", 2);
    document.Root().AppendText("\r\n    ");
    ASSERT_TRUE(document.Save());
  }
  Profile profile;
  ASSERT_TRUE(profile.Load(path));
  EXPECT_EQ(profile.audioBitrate, "128");
  EXPECT_EQ(test::ReadFile(path),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<Profile>\n"
            "    <FormatExt value=\"avi\"/>\n"
            "    <VideoCodec value=\"XviD\" index=\"0\"/>\n"
            "    <AudioBitrateList value=\"64,96,128,256\" index=\"2\"/>\n"
            "    <VideoBitrateList value=\"800,1000\" index=\"1\"/>\n"
            "    <AudioBitrate value=\"128\" index=\"2\"/>\n"
            "</Profile>\n");
}

TEST(XmlDocument, SaveLayoutSurvivesAnyInput) {
  // Whatever the file's own layout, the saved file has one element per line
  // and the root end tag alone on the last line; saving again changes nothing.
  const std::string inputs[] = {
      "<Profile><FormatExt value=\"a&amp;b\"/><VideoCodec value=\"x\"   index=\"1\"/></Profile>",
      "<?xml version=\"1.0\"?>\r\n<Profile   a=\"1\">\r\n<FormatExt\r\n value=\"q\"/>text<VideoCodec value=\"x\">"
      "<in/>t</VideoCodec><!-- note --></Profile>\r\n",
      "<Profile/>",
      // An element holding only a node that is not written (found by the fuzzer).
      "<Profile>\n<X><!junk></X>\n</Profile>",
  };
  for (const std::string& input : inputs) {
    XmlDocument first;
    ASSERT_TRUE(first.LoadText(input)) << input;
    first.Root().SelectChild("AudioCodec", true).SetAttribute("value", "say \"hi\"\nthere");
    first.Root().AppendText("\r\n    ");
    std::string saved = first.SaveText();
    EXPECT_TRUE(saved.starts_with("<?xml")) << saved;
    EXPECT_TRUE(saved.ends_with("\n</Profile>\n")) << saved;
    EXPECT_EQ(saved.find('\r'), std::string::npos) << saved;
    XmlDocument second;
    ASSERT_TRUE(second.LoadText(saved)) << saved;
    EXPECT_EQ(second.SaveText(), saved);
    EXPECT_EQ(second.Root().SelectChild("AudioCodec", false).GetAttribute("value", ""),
              "say \"hi\"\nthere");
    // The line reader sees the element on one line.
    Profile profile;
    profile.LoadText(saved);
    EXPECT_EQ(profile.audioCodec, "say &quot;hi&quot;&#10;there");
  }
}

TEST(XmlDocument, AttributeOrderIsKeptAndNewAttributesComeLast) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<R>\n<E b=\"1\" a=\"2\"/>\n</R>\n"));
  XmlNode e = document.Root().SelectChild("E", false);
  e.SetAttribute("a", "3");
  e.SetAttribute("c", "4");
  EXPECT_EQ(document.SaveText(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<R>\n    <E b=\"1\" a=\"3\" c=\"4\"/>\n</R>\n");
  using Attributes = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(e.Attributes(), (Attributes{{"b", "1"}, {"a", "3"}, {"c", "4"}}));
}

TEST(XmlDocument, LoadAndSaveFailures) {
  XmlDocument document;
  EXPECT_FALSE(document.Load(""));
  EXPECT_TRUE(document.Root().IsEmpty());
  EXPECT_FALSE(document.Save(test::MakeTempDir("nothing") + "/x.xml"));
  EXPECT_FALSE(document.Load(test::MakeTempDir("missing") + "/none.xml"));

  std::string path = WriteSample();
  ASSERT_TRUE(document.Load(path));
  EXPECT_FALSE(document.Save(test::MakeTempDir("gone") + "/no/such/folder/x.xml"));
  // A failed save leaves the old file as it was.
  std::string folder = test::MakeTempDir("full");
  std::string target = folder + "/kept.xml";
  test::WriteFile(target, "old");
  chmod(folder.c_str(), 0500);
  if (geteuid() != 0) {
    EXPECT_FALSE(document.Save(target));
    EXPECT_EQ(test::ReadFile(target), "old");
  }
  chmod(folder.c_str(), 0700);
  // A "folder" that is a device.
  EXPECT_FALSE(document.Save("/dev/null/x.xml"));
}

TEST(XmlDocument, ReadParameterListSkipsEmptyItems) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<R><L value=\",a,,b,\" index=\"1\"/><E value=\"\"/></R>"));
  ParameterList list = ReadParameterList(document, "L");
  EXPECT_EQ(list.items, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(list.index, 1);
  EXPECT_TRUE(ReadParameterList(document, "E").items.empty());
  EXPECT_EQ(ReadParameterList(document, "Missing").index, 0);
}

TEST(XmlDocument, ReadSelectedBitrate) {
  struct Case {
    const char* name;
    std::string text;
    int32_t expected;
  };
  const Case cases[] = {
      {"plain", kSample, 128},
      {"index outside", "<R><AudioBitrateList value=\"64\" index=\"1\"/></R>", 0},
      {"negative index", "<R><AudioBitrateList value=\"64\" index=\"-1\"/></R>", 0},
      {"index before value", "<R><AudioBitrateList index=\"0\" value=\"64\"/></R>", 0},
      {"empty items skipped", "<R><AudioBitrateList value=\",,64,96\" index=\"1\"/></R>", 96},
      {"units after digits", "<R><AudioBitrateList value=\"64 Kbps\" index=\"0\"/></R>", 64},
      {"no digits", "<R><AudioBitrateList value=\"fast\" index=\"0\"/></R>", 0},
      {"first element without index is passed over",
       "<R><AudioBitrateList value=\"1\"/><AudioBitrateList value=\"7,8\" index=\"1\"/></R>", 8},
      {"exact name only", "<R><AudioBitrateListX value=\"1\" index=\"0\"/></R>", 0},
      {"not XML", "<R><AudioBitrateList value=\"64\" index=\"0\"/>", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadSelectedBitrate(WriteSample(c.text), "AudioBitrateList"), c.expected);
  }
  EXPECT_EQ(ReadSelectedBitrate(WriteSample(), "VideoBitrateList"), 1000);
  EXPECT_EQ(ReadSelectedBitrate("/nonexistent/x.xml", "VideoBitrateList"), 0);
}

// Hostile files (tests/data/profiles/hostile, and a few made here): each
// gives a clear failure of the document reader quickly and without a crash,
// and the line reader reads what ordinary lines it finds.
TEST(XmlDocument, HostileFiles) {
  std::vector<std::pair<std::string, std::string>> cases;
  for (const auto& file : std::filesystem::directory_iterator(MIVORA_TEST_DATA_DIR "/profiles/hostile"))
    cases.emplace_back(file.path().filename().string(), test::ReadFile(file.path().string()));
  ASSERT_GE(cases.size(), 8u);
  cases.emplace_back("deep nesting", std::string(5000, '<') + "a");
  std::string nested;
  for (int i = 0; i < 2000; ++i) nested += "<a>";
  cases.emplace_back("nested elements", nested);
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    auto start = std::chrono::steady_clock::now();
    XmlDocument document;
    EXPECT_FALSE(document.Load(WriteSample(text)));
    EXPECT_FALSE(document.Error().empty());
    EXPECT_TRUE(document.Root().IsEmpty());
    EXPECT_EQ(ReadSelectedBitrate(WriteSample(text), "VideoBitrateList"), 0);
    Profile profile;
    EXPECT_TRUE(profile.Load(WriteSample(text)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
  // The line reader expands nothing either: it reads the entity reference as it stands.
  Profile profile;
  ASSERT_TRUE(profile.Load(MIVORA_TEST_DATA_DIR "/profiles/hostile/billion-laughs.xml"));
  EXPECT_EQ(profile.formatExt, "&lol9;");
  EXPECT_EQ(profile.videoCodec, "XviD");
}

TEST(XmlDocument, HundredMegabyteLine) {
  std::string path = test::MakeTempDir("huge") + "/huge.xml";
  {
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\"?>\n<Profile>\n<FormatExt value=\"avi\"/>\n<VideoCodec value=\"";
    std::string block(1 << 20, 'A');
    for (int i = 0; i < 100; ++i) out << block;
    out << "\"/>\n<AudioCodec value=\"MP3\"/>\n</Profile>\n";
  }
  auto start = std::chrono::steady_clock::now();
  XmlDocument document;
  EXPECT_FALSE(document.Load(path));
  EXPECT_NE(document.Error().find("larger than"), std::string::npos) << document.Error();
  EXPECT_EQ(ReadSelectedBitrate(path, "VideoBitrateList"), 0);
  // The line reader skips the giant line and reads the others.
  Profile profile;
  ASSERT_TRUE(profile.Load(path));
  EXPECT_EQ(profile.formatExt, "avi");
  EXPECT_EQ(profile.videoCodec, "");
  EXPECT_EQ(profile.audioCodec, "MP3");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
}  // namespace mivora
