#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include "app/editor/EditorPages.h"
#include "app/editor/EditorPanes.h"
#include "app/editor/EditorWindow.h"
#include "app/editor/TransportControls.h"
#include "pipeline/ConvertHelper.h"
#include "pipeline/TaskBuilder.h"
#include "preview/PlayStatic.h"
#include "tests/gui_editor/EditorTestSupport.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPImageButton.h"
#include "ui/CXFontDialog.h"

namespace mivora {
namespace {

using test::MessageBoxAnswerer;
using test::WaitUntil;
using test::WhenModalOpens;

template <class T>
T* Find(QWidget* page, const char* name) {
  T* widget = page->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

void Click(QWidget* page, const char* name) { QTest::mouseClick(Find<QWidget>(page, name), Qt::LeftButton); }

// Types a number into a spin box as a user does: select, type, Enter.
void TypeInto(QSpinBox* box, int value) {
  box->setFocus();
  box->selectAll();
  QTest::keyClicks(box, QString::number(value));
  QTest::keyClick(box, Qt::Key_Return);
}

QString Pane(EditorWindow& editor) {  // a fingerprint of the right pane's picture
  const QImage& picture = editor.RightPane()->Picture();
  return picture.isNull() ? QString() : QString::number(picture.cacheKey()) + ":" +
                                            QString::number(qChecksum(QByteArrayView(
                                                reinterpret_cast<const char*>(picture.constBits()),
                                                picture.sizeInBytes())));
}

class EditorWindowTest : public ::testing::Test {
 protected:
  void Open(SourceList& list) {
    editor_ = std::make_unique<EditorWindow>(list, 0);
    editor_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor_.get()));
  }
  void PlayUntilFrames() {
    QTest::mouseClick(editor_->Transport()->PlayPauseButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return editor_->FramesRendered() > 3; })) << "no frame reached the right pane";
  }
  QWidget* Page(int page) {
    QTest::mouseClick(editor_->TabButton(page), Qt::LeftButton);
    EXPECT_EQ(editor_->CurrentPage(), page);
    return editor_->PageAt(page);
  }
  std::unique_ptr<EditorWindow> editor_;
};

TEST_F(EditorWindowTest, EveryPageDrivenSavedIntoTheItemAndTheJobConvertsWithTheEdits) {
  auto list = test::ListWithSource(test::EditorClip());
  Open(*list);
  PlayUntilFrames();
  EXPECT_EQ(editor_->Model().FrameWidth(), 320);
  EXPECT_EQ(editor_->Player()->geometry(), QRect(14, 36, 322, 204));
  EXPECT_EQ(editor_->RightPane()->Picture().size(), QSize(320, 200));

  // Trim: the end is set from the playing position once the clock shows a second.
  QWidget* trim = Page(EditorWindow::kTrimPage);
  QLabel* clock = editor_->Transport()->TimeLabel();
  ASSERT_TRUE(WaitUntil([&] { return clock->text() == "0:00:01"; }, 5000)) << clock->text().toStdString();
  Click(trim, "trimEndSet");
  EXPECT_EQ(Find<QLineEdit>(trim, "trimStart")->text(), "00:00:00");
  EXPECT_EQ(Find<QLineEdit>(trim, "trimEnd")->text(), "00:00:01");
  EXPECT_EQ(Find<QLineEdit>(trim, "trimLength")->text(), "00:00:01");
  EXPECT_EQ(editor_->Model().Working().trimEnabled, 1);

  // Crop: the band is shown on this page only; spin, then draw the top-left quadrant.
  QWidget* crop = Page(EditorWindow::kCropPage);
  EXPECT_TRUE(editor_->Band()->isVisible());
  QSpinBox* width = Find<QSpinBox>(crop, "cropWidth");
  EXPECT_EQ(width->value(), 320);
  TypeInto(width, 5);
  EXPECT_EQ(width->value(), 16) << "at least 16 pixels";
  QTest::keyClick(Find<QSpinBox>(crop, "cropLeft"), Qt::Key_Down);
  EXPECT_EQ(Find<QSpinBox>(crop, "cropLeft")->value(), 0);
  // The 4:3 picture lies in the 322 x 204 pane with its shape; the band is drawn on it.
  QWidget* leftPane = editor_->Player();
  const QPoint onPicture = editor_->Player()->PictureRect().topLeft();
  EXPECT_EQ(editor_->Player()->PictureRect(), QRect(25, 0, 272, 204));
  QTest::mousePress(leftPane, Qt::LeftButton, {}, onPicture + QPoint(137, 103));  // from the lower right corner
  QTest::mouseMove(leftPane, onPicture + QPoint(100, 60));
  QTest::mouseRelease(leftPane, Qt::LeftButton, {}, onPicture + QPoint(1, 1));
  EXPECT_EQ(Find<QSpinBox>(crop, "cropLeft")->value(), 1);
  EXPECT_EQ(Find<QSpinBox>(crop, "cropTop")->value(), 1);
  EXPECT_EQ(width->value(), 160);
  EXPECT_EQ(Find<QSpinBox>(crop, "cropHeight")->value(), 120);
  EXPECT_EQ(editor_->Band()->Band(), (PaneRect{1, 1, 136, 102}));
  EXPECT_EQ(editor_->Band()->geometry(), editor_->Player()->PictureRect());

  // Effects: every slider moved and back, every effect picked, both flips on and off.
  QWidget* effects = Page(EditorWindow::kEffectsPage);
  EXPECT_FALSE(editor_->Band()->isVisible());
  for (const char* slider : {"brightness", "contrast", "saturation"}) {
    QTest::keyClick(Find<QSlider>(effects, slider), Qt::Key_Right);
    EXPECT_EQ(editor_->Model().Working().effectsEnabled, 1) << slider;
    QTest::keyClick(Find<QSlider>(effects, slider), Qt::Key_Left);
  }
  EXPECT_EQ(Find<QLabel>(effects, "brightnessLabel")->text(), "Brightness: 0");
  EXPECT_EQ(editor_->Model().Working().effectsEnabled, 0);
  QComboBox* effect = Find<QComboBox>(effects, "effect");
  for (int i = 1; i < kEffectCount; ++i) {
    QString before = Pane(*editor_);
    QTest::keyClick(effect, Qt::Key_Down);
    EXPECT_EQ(editor_->Model().Working().effect, i);
    EXPECT_NE(Pane(*editor_), before) << "the right pane shows effect " << i;
  }
  EXPECT_EQ(effect->currentText(), "Aged film");
  for (const char* flip : {"hflip", "vflip"}) {
    Click(effects, flip);
    Click(effects, flip);
  }
  QTest::keyClick(effect, Qt::Key_Up);
  EXPECT_EQ(editor_->Model().Working().effect, kEffectGray);
  QTest::keyClick(Find<QSlider>(effects, "brightness"), Qt::Key_Right);
  EXPECT_EQ(Find<QLabel>(effects, "brightnessLabel")->text(), "Brightness: 1");

  // Text: enable, type, choose a font, place it; a position beyond the frame is refused.
  QWidget* text = Page(EditorWindow::kTextPage);
  EXPECT_FALSE(Find<QLineEdit>(text, "watermarkText")->isEnabled());
  Click(text, "enable");
  QTest::keyClicks(Find<QLineEdit>(text, "watermarkText"), "Hello");
  {
    WhenModalOpens<ui::CXFontDialog> font([](ui::CXFontDialog* dialog) {
      EXPECT_EQ(dialog->Title(), "Select Font");
      EXPECT_EQ(dialog->PixelSize(), 24);
      EXPECT_EQ(dialog->Alpha(), 255);
      dialog->FaceBox()->setCurrentFont(QFont("DejaVu Sans"));
      TypeInto(dialog->SizeBox(), 30);
      dialog->AlphaSlider()->setValue(200);
      dialog->SetColor(QColor(255, 255, 0));
      QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    });
    Click(text, "font");
    EXPECT_TRUE(font.Done());
  }
  TypeInto(Find<QSpinBox>(text, "textLeft"), 20);
  TypeInto(Find<QSpinBox>(text, "textTop"), 241);
  EXPECT_EQ(Find<QSpinBox>(text, "textTop")->value(), 0) << "beyond the frame: refused";
  TypeInto(Find<QSpinBox>(text, "textTop"), 30);

  // Picture: a picture as large as the frame is refused, a small one placed.
  QWidget* picture = Page(EditorWindow::kPicturePage);
  Click(picture, "enable");
  const std::string big = test::WritePng("big", 320, 100, 0xFF0000);
  const std::string logo = test::WritePng("logo", 32, 16, 0xFF0000);
  for (const std::string& path : {big, logo}) {
    MessageBoxAnswerer answers;
    WhenModalOpens<QFileDialog> chooser([&](QFileDialog* dialog) {
      // Typed into the name field: selectFile leaves that field alone while it
      // has the focus, and the dialog would then open the folder instead.
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(path));
      static_cast<QDialog*>(dialog)->accept();  // the "Open" button
    });
    Click(picture, "browse");
    EXPECT_TRUE(chooser.Done());
    if (path == big) {
      ASSERT_EQ(answers.Texts().size(), 1);
      EXPECT_EQ(answers.Texts()[0], "Sorry, the picture dimensions more then 320 x 240");
      EXPECT_TRUE(Find<QLineEdit>(picture, "picturePath")->text().isEmpty());
    } else {
      EXPECT_TRUE(answers.Texts().isEmpty());
    }
  }
  EXPECT_EQ(Find<QLineEdit>(picture, "picturePath")->text().toStdString(), logo);
  TypeInto(Find<QSpinBox>(picture, "pictureLeft"), 300);
  EXPECT_EQ(Find<QSpinBox>(picture, "pictureLeft")->value(), 288) << "kept inside the frame";
  TypeInto(Find<QSpinBox>(picture, "pictureLeft"), 8);
  TypeInto(Find<QSpinBox>(picture, "pictureTop"), 8);

  // 3D: every mode picked and the depth moved; ends on "Red / Cyan", depth 3.
  QWidget* stereo = Page(EditorWindow::kStereoPage);
  QComboBox* mode = Find<QComboBox>(stereo, "stereoMode");
  for (int i = 1; i <= kStereoModeCount; ++i) {
    QTest::keyClick(mode, Qt::Key_Down);
    EXPECT_EQ(Find<QLabel>(stereo, "stereoLabel")->text().toStdString(),
              std::string("3D features: ") + kStereoListLabels[i]);
  }
  for (int i = 1; i < kStereoModeCount; ++i) QTest::keyClick(mode, Qt::Key_Up);
  for (int i = 0; i < 3; ++i) QTest::keyClick(Find<QSlider>(stereo, "depth"), Qt::Key_Right);
  EXPECT_EQ(Find<QLabel>(stereo, "depthLabel")->text(), "3D depth: 3");

  // Saving: the record reaches the item and the job's argument text.
  {
    MessageBoxAnswerer answers;
    Click(stereo, "ok");
    ASSERT_EQ(answers.Texts(), QStringList{"Saved successfully! "});
  }
  EXPECT_TRUE(editor_->Saved());
  std::optional<SourceItem> item = list->At(0);
  ASSERT_TRUE(item && item->editSettings);
  const EditSettings& saved = *item->editSettings;
  EXPECT_EQ(saved.trimEnabled, 1);
  EXPECT_EQ(saved.trimEnd, 1);
  EXPECT_EQ(saved.cropLeft, 1);
  EXPECT_EQ(saved.cropRight, 161);
  EXPECT_EQ(saved.cropBottom, 121);
  EXPECT_EQ(saved.effect, kEffectGray);
  EXPECT_EQ(saved.brightness, 1);
  EXPECT_EQ(saved.watermarkText, "Hello");
  EXPECT_EQ(saved.fontSize, 30);
  EXPECT_EQ(saved.textAlpha, 200);
  EXPECT_EQ(saved.textColor, 0x00FFFFu);
  EXPECT_EQ(saved.textLeft, 20);
  EXPECT_EQ(saved.textTop, 30);
  EXPECT_EQ(saved.picturePath, logo);
  EXPECT_EQ(saved.pictureWidth, 32);
  EXPECT_EQ(saved.stereoEnabled, 1);
  EXPECT_EQ(saved.stereoMode, kStereoRedCyan);
  EXPECT_EQ(saved.stereoDepth, 3);

  const std::string out = test::MakeTempDir("out");
  JobListResult jobs = BuildJobList(*list, out);
  ASSERT_TRUE(jobs.ok) << jobs.error;
  const std::string& args = jobs.jobs[0].engineArgs;
  for (const char* piece : {"lutyuv='u=128:v=128'", "drawtext=text='Hello'", "fontcolor=ffff00c8:x=20:y=30",
                            "overlay=8:8", "crop=160:120:1:1", "-t 1.000", "-d3dmode 0 -d3ddepth 3"})
    EXPECT_NE(args.find(piece), std::string::npos) << piece << " in " << args;
  EXPECT_EQ(jobs.jobs[0].durationSeconds, 1);

  // Closing after another change asks, and "Yes" saves it: 3D off for the conversion below.
  Find<QComboBox>(stereo, "stereoMode")->setFocus();
  QTest::keyClick(mode, Qt::Key_Up);
  {
    MessageBoxAnswerer answers({ui::kIdFirst});
    editor_->reject();
    ASSERT_EQ(answers.Texts(), QStringList{"Do you want to save the changes?"});
  }
  EXPECT_FALSE(editor_->isVisible());
  ASSERT_EQ(list->At(0)->editSettings->stereoEnabled, 0);

  // Converting the job gives a trimmed, cropped, gray output with the picture in its corner.
  jobs = BuildJobList(*list, out);
  ASSERT_TRUE(jobs.ok);
  const ConversionJob& job = jobs.jobs[0];
  test::CommandResult run =
      test::RunCommand(ConvertHelper::BuildArgumentVector(job.sourcePath, job.outputPath, 0, job.engineArgs));
  ASSERT_EQ(run.exitCode, 0) << run.output;
  test::ProbeFacts facts = test::ProbeWithFfprobe(job.outputPath);
  EXPECT_EQ(facts.video.width, 160);
  EXPECT_EQ(facts.video.height, 120);
  EXPECT_NEAR(facts.durationSeconds, 1.0, 0.3);
  int w = 0, h = 0;
  std::vector<unsigned char> rgb = test::DecodeFrameRgb(job.outputPath, 0.5, &w, &h);
  ASSERT_EQ(rgb.size(), size_t(w) * h * 3);
  auto at = [&](int x, int y, int c) { return int(rgb[(size_t(y) * w + x) * 3 + c]); };
  EXPECT_GT(at(20, 14, 0), 180);  // the red picture at (8, 8)
  EXPECT_LT(at(20, 14, 1), 90);
  int colourful = 0;  // the gray effect leaves no colour outside the watermarks
  for (int y = 76; y < 120; y += 4)
    for (int x = 0; x < 160; x += 4)
      if (std::abs(at(x, y, 0) - at(x, y, 1)) + std::abs(at(x, y, 1) - at(x, y, 2)) > 40) ++colourful;
  EXPECT_LT(colourful, 5);
}

TEST_F(EditorWindowTest, ReopensOnTheSavedRecordAndSavingEverythingOffClearsIt) {
  auto list = test::ListWithSource(test::EditorClip());
  list->Update(0, [](SourceItem& item) {
    item.editSettings = std::make_unique<EditSettings>();
    item.editSettings->effectsEnabled = 1;
    item.editSettings->flipHorizontal = 1;
    item.editSettings->contrast = item.editSettings->saturation = 100;
    item.editSettings->brightness = 40;
  });
  Open(*list);
  QWidget* effects = Page(EditorWindow::kEffectsPage);
  EXPECT_TRUE(Find<QCheckBox>(effects, "hflip")->isChecked());
  EXPECT_EQ(Find<QSlider>(effects, "brightness")->value(), 40);
  EXPECT_EQ(Find<QLabel>(effects, "brightnessLabel")->text(), "Brightness: 40");

  Click(effects, "reset");
  EXPECT_FALSE(Find<QCheckBox>(effects, "hflip")->isChecked());
  MessageBoxAnswerer answers;
  Click(effects, "ok");
  EXPECT_EQ(list->At(0)->editSettings, nullptr) << "switched-off edits are not kept in force";
  JobListResult jobs = BuildJobList(*list, test::MakeTempDir("out"));
  ASSERT_TRUE(jobs.ok);
  EXPECT_EQ(jobs.jobs[0].engineArgs.find("hflip"), std::string::npos);
  editor_->reject();  // nothing unsaved: no question
  EXPECT_EQ(answers.Texts(), QStringList{"Saved successfully! "});
}

TEST_F(EditorWindowTest, ThePositionSliderHandleFollowsTheMouseWhileItIsDragged) {
  auto list = test::ListWithSource(test::EditorClip("long", 8.0));
  Open(*list);
  PlayUntilFrames();
  EXPECT_GE(test::LowestPositionWhileDragged(*editor_->Transport()->Slider(), 85), 75);
  MessageBoxAnswerer answers({ui::kIdSecond});
  editor_->reject();
}

TEST_F(EditorWindowTest, ClosingWithoutSavingLeavesTheItemAlone) {
  auto list = test::ListWithSource(test::EditorClip());
  Open(*list);
  QWidget* effects = Page(EditorWindow::kEffectsPage);
  Click(effects, "vflip");
  MessageBoxAnswerer answers({ui::kIdSecond});
  editor_->reject();
  EXPECT_EQ(answers.Texts(), QStringList{"Do you want to save the changes?"});
  EXPECT_EQ(list->At(0)->editSettings, nullptr);
  EXPECT_FALSE(editor_->Saved());
}

// With a profile that keeps HDR, the window says that the file does while
// the pane shows the picture as an SDR screen would; other profiles say nothing.
TEST_F(EditorWindowTest, SaysWhenTheProfileKeepsHdr) {
  const std::pair<const char*, bool> cases[] = {
      {"-b 8000k  -ab 192k -vcodec libx265 -pix_fmt yuv420p10le -acodec libfaac -s 1920x1080 ", true},
      {"-b 8000k  -ab 160k -vcodec libsvtav1 -pix_fmt yuv420p10le -acodec libopus ", true},
      {"-b 2000k  -ab 128k -vcodec libx265 -acodec libfaac -s 1280x720 ", false},
      {"-b 1000k  -ab 128k -vcodec libx264 -acodec libfaac ", false},
  };
  for (const auto& [arguments, keeps] : cases) {
    auto list = test::ListWithSource(test::EditorClip());
    list->Update(0, [&](SourceItem& item) { item.engineArgs = arguments; });
    Open(*list);
    auto* note = editor_->findChild<QLabel*>(QStringLiteral("hdrNote"));
    EXPECT_EQ(note != nullptr && note->isVisible(), keeps) << arguments;
    if (note) EXPECT_EQ(note->text(), QString::fromLatin1(EditorWindow::kKeepsHdrNote));
    editor_.reset();
  }
}

}  // namespace
}  // namespace mivora
