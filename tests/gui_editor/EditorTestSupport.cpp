#include "tests/gui_editor/EditorTestSupport.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <algorithm>
#include <map>

#include "pipeline/TaskBuilder.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora::test {

const std::string& EditorClip(const std::string& name, double seconds) {
  static std::map<std::string, std::string> clips;
  auto found = clips.find(name);
  if (found != clips.end()) return found->second;
  std::string path = MakeTempDir("clip") + "/" + name + ".mkv";
  ClipSpec shape;
  shape.seconds = seconds;
  shape.width = 320;
  shape.height = 240;
  GenerateClip(path, shape);
  return clips[name] = path;
}

const std::string& EditorProfile() {
  static const std::string path = [] {
    std::string p = MakeTempDir("profile") + "/Edited.xml";
    WriteFile(p,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Profile>\n"
              "    <ProfileName value=\"Edited\"/>\n"
              "    <FormatExt value=\"avi\"/>\n"
              "    <VideoCodec value=\"MPEG4\" index=\"0\"/>\n"
              "    <VideoBitrate value=\"4000\" index=\"0\"/>\n"
              "    <AudioCodec value=\"MP2\" index=\"0\"/>\n"
              "    <AudioBitrate value=\"128\" index=\"0\"/>\n"
              "    <VideoBitrateList value=\"4000\" index=\"0\"/>\n"
              "</Profile>\n");
    return p;
  }();
  return path;
}

std::unique_ptr<SourceList> ListWithSource(const std::string& path) {
  auto list = std::make_unique<SourceList>();
  SourceItem item;
  std::string error;
  EXPECT_TRUE(BuildSourceItem(path, TargetProfile{EditorProfile(), 0}, &item, &error)) << error;
  list->Append(std::move(item));
  return list;
}

std::string WritePng(const std::string& name, int width, int height, unsigned rgb) {
  std::string path = MakeTempDir("png") + "/" + name + ".png";
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor::fromRgb(rgb));
  EXPECT_TRUE(image.save(QString::fromStdString(path)));
  return path;
}

int LowestPositionWhileDragged(QSlider& slider, int percent) {
  QStyleOptionSlider option;
  option.initFrom(&slider);
  option.orientation = slider.orientation();
  option.minimum = slider.minimum();
  option.maximum = slider.maximum();
  option.sliderPosition = slider.sliderPosition();
  option.sliderValue = slider.value();
  const QPoint grip =
      slider.style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider).center();
  QTest::mousePress(&slider, Qt::LeftButton, {}, grip);
  const QPoint target(slider.width() * percent / 100, grip.y());
  for (int x = grip.x(); x <= target.x(); x += 4) QTest::mouseMove(&slider, QPoint(x, grip.y()));
  int lowest = slider.sliderPosition();
  for (int wait = 0; wait < 6; ++wait) {
    QTest::qWait(250);
    lowest = std::min(lowest, slider.sliderPosition());
  }
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, target);
  return lowest;
}

}  // namespace mivora::test
