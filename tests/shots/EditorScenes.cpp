// Scenes of the preview window and the editor: each plays a generated clip
// for a moment so the panes hold real frames, with one page's edits on.
#include <QCursor>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <fstream>
#include <iterator>

#include "app/editor/EditorWindow.h"
#include "app/editor/PreviewWindow.h"
#include "app/editor/TransportControls.h"
#include "pipeline/SourceList.h"
#include "tests/shots/ShotScenes.h"
#include "tests/support/Mp4Rotation.h"
#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace mivora::shots {
namespace {

constexpr int kPlayMs = 2300;  // past the second tick of the one-second timer

// An editor on `clip` with the probe's `facts`, on `page`, playing once shown;
// the right pane shows the frame of `profile` (a file), or the source's own.
EditorWindow* EditorOn(ShotContext& context, const QString& clip, const MediaVideoFacts& facts, int page,
                       const std::function<void(EditorModel&)>& edit, const std::string& profile = "") {
  auto list = std::make_shared<SourceList>();
  SourceItem item;
  item.sourcePath = clip.toStdString();
  item.mediaInfo.video = facts;
  item.profilePath = profile;
  list->Append(std::move(item));
  context.Keep(list);
  auto* editor = new EditorWindow(*list, 0);
  edit(editor->Model());
  editor->ShowPage(page);
  QTimer::singleShot(0, editor, [editor] { editor->Transport()->OnPlayPause(); });
  QCursor::setPos(0, 0);  // no button under the pointer shows its hover look
  context.settleMs = kPlayMs;
  return editor;
}

MediaVideoFacts Facts(const char* width, const char* height, const char* rotation = "") {
  MediaVideoFacts facts;
  facts.width = width;
  facts.height = height;
  facts.rotation = rotation;
  return facts;
}

// An editor on a 640 x 360 clip.
EditorWindow* Editor(ShotContext& context, int page, const std::function<void(EditorModel&)>& edit) {
  return EditorOn(context, context.Clip(QStringLiteral("Holiday at the lake.mp4"), 4.0, 640, 360),
                  Facts("640", "360"), page, edit);
}

const SceneRegistrar kPreview("preview", "the preview window playing a clip", [](ShotContext& context) -> QWidget* {
  auto* preview = new PreviewWindow(context.Clip(QStringLiteral("Holiday at the lake.mp4"), 4.0, 640, 360).toStdString());
  context.settleMs = kPlayMs;
  return preview;
});

const SceneRegistrar kTrim("editor-trim", "the editor's trim page", [](ShotContext& context) -> QWidget* {
  return Editor(context, EditorWindow::kTrimPage, [](EditorModel& m) {
    m.SetTrimStartFrom("0:00:01");
    m.SetTrimEndFrom("0:00:03");
  });
});

const SceneRegistrar kCrop("editor-crop", "the editor's crop page with the band", [](ShotContext& context) -> QWidget* {
  return Editor(context, EditorWindow::kCropPage, [](EditorModel& m) {
    m.SetCropFromBand({60, 30, 180, 120}, 322, 204);
  });
});

const SceneRegistrar kEffects("editor-effects", "the editor's effects page", [](ShotContext& context) -> QWidget* {
  return Editor(context, EditorWindow::kEffectsPage, [](EditorModel& m) {
    m.SetEffect(kEffectAgedFilm);
    m.SetBrightness(15);
    m.SetContrast(20);
    m.ToggleFlipHorizontal();
  });
});

const SceneRegistrar kText("editor-text", "the editor's text watermark page", [](ShotContext& context) -> QWidget* {
  return Editor(context, EditorWindow::kTextPage, [](EditorModel& m) {
    m.SetWatermarkText("Summer 2026");
    m.ApplyFont({"DejaVu Sans", 48, 0x00FFFF, 255});  // yellow
    m.SetTextLeft(40);
    m.SetTextTop(270);
  });
});

const SceneRegistrar kPicture("editor-picture", "the editor's picture watermark page", [](ShotContext& context) -> QWidget* {
  const std::string logo = context.Folder() + "/logo.png";
  ui::Skin::Art(QStringLiteral("icon"));  // the program's icon, as the picture
  QImage icon(120, 120, QImage::Format_ARGB32);
  icon.fill(Qt::transparent);
  {
    QPainter painter(&icon);
    ui::Skin::PaintArt(painter, QStringLiteral("icon"), QString(), QRectF(0, 0, 120, 120));
  }
  icon.save(QString::fromStdString(logo));
  return Editor(context, EditorWindow::kPicturePage, [logo](EditorModel& m) {
    m.ChoosePicture(logo, 120, 120);
    m.SetPictureLeft(500);
    m.SetPictureTop(20);
  });
});

const SceneRegistrar kStereo("editor-3d", "the editor's 3D page", [](ShotContext& context) -> QWidget* {
  return Editor(context, EditorWindow::kStereoPage, [](EditorModel& m) { m.SetStereo(1, 12); });
});

// A phone clip recorded upright: coded 1280 x 720, its track turned a
// quarter. The editor shows it upright and crops on its upright axes.
const SceneRegistrar kPortrait("editor-portrait", "the editor on a portrait phone clip, cropped",
                               [](ShotContext& context) -> QWidget* {
  const QString clip = context.Clip(QStringLiteral("Phone portrait.mp4"), 4.0, 1280, 720);
  if (!test::SetMp4Rotation(clip.toStdString(), 90)) return nullptr;
  return EditorOn(context, clip, Facts("1280", "720", "-90.00"), EditorWindow::kCropPage, [](EditorModel& m) {
    m.SetCropLeft(120);
    m.SetCropTop(320);
    m.SetCropRight(600);
    m.SetCropBottom(960);
  });
});

// A 4K source, cropped: its frames reach the window scaled down, the crop
// stays in 4K pixels.
const SceneRegistrar k4kCrop("editor-4k-crop", "the editor on a 4K clip, cropped", [](ShotContext& context) -> QWidget* {
  const QString clip = context.Clip(QStringLiteral("City at night 4K.mp4"), 3.0, 3840, 2160);
  return EditorOn(context, clip, Facts("3840", "2160"), EditorWindow::kCropPage, [](EditorModel& m) {
    m.SetCropLeft(960);
    m.SetCropTop(540);
    m.SetCropRight(2880);
    m.SetCropBottom(1620);
  });
});

// The output's frame in the right pane: a portrait phone clip into a phone
// profile stays portrait; a 4:3 clip in a 16:9 DVD gets bars beside it.
const SceneRegistrar kPhoneProfile("editor-portrait-phone", "the editor on a portrait phone clip for a phone profile",
                                   [](ShotContext& context) -> QWidget* {
  const QString clip = context.Clip(QStringLiteral("Phone upright.mp4"), 4.0, 1280, 720);
  if (!test::SetMp4Rotation(clip.toStdString(), 90)) return nullptr;
  return EditorOn(context, clip, Facts("1280", "720", "-90.00"), EditorWindow::kTrimPage, [](EditorModel&) {},
                  MIVORA_SOURCE_PROFILES "/Phones/Smartphone 800x480 (MP4).xml");
});

const SceneRegistrar kDvdWide("editor-dvd-16x9", "the editor on a 4:3 clip for a 16:9 DVD", [](ShotContext& context) -> QWidget* {
  // The DVD profile with its 16:9 choice taken.
  std::ifstream in(MIVORA_SOURCE_PROFILES "/DVD VCD SVCD/DVD Video NTSC.xml");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string from = "<VideoAspectRatio value=\"4:3\"";
  if (text.find(from) == std::string::npos) return nullptr;
  text.replace(text.find(from), from.size(), "<VideoAspectRatio value=\"16:9\"");
  const std::string profile = context.Folder() + "/DVD Video NTSC 16x9.xml";
  std::ofstream(profile) << text;
  const QString clip = context.Clip(QStringLiteral("Old camcorder.mp4"), 4.0, 640, 480);
  return EditorOn(context, clip, Facts("640", "480"), EditorWindow::kTrimPage, [](EditorModel&) {}, profile);
});

}  // namespace
}  // namespace mivora::shots
