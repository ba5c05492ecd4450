#pragma once
// "Edit the video": edits one source's edits. The left pane plays the source
// unedited, the right pane shows every frame with the working edits applied,
// and six pages (trim, crop, effects, text, picture, 3D) change the working
// copy. A page's "OK" saves it into the source's item; closing asks to save
// unsaved changes. The rules are EditorModel's; this class shows them.

#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "app/editor/EditorFrameHandler.h"
#include "pipeline/SourceList.h"
#include "ui/CImgDialogBase.h"
#include "windowmodels/EditorModel.h"

namespace mivora {

class CPlayStatic;
class CropBand;
class EditorPage;
class EditorPane;
class TransportControls;
}  // namespace mivora
class QStackedWidget;
namespace mivora {
namespace ui {
class CGPImageButton;
}

class EditorWindow : public ui::CImgDialogBase {
  Q_OBJECT

 public:
  enum Page { kTrimPage, kCropPage, kEffectsPage, kTextPage, kPicturePage, kStereoPage, kPageCount };
  static constexpr const char* kSavedMessage = "Saved successfully! ";
  static constexpr const char* kAskSave = "Do you want to save the changes?";
  static constexpr const char* kKeepsHdrNote = "The file keeps HDR; the preview shows it as an SDR screen would.";

  // Edits item `row` of `list`; the frame size starts as the item's probed one.
  EditorWindow(SourceList& list, size_t row, QWidget* parent = nullptr);
  ~EditorWindow() override;

  // True once edits have been saved into the item.
  bool Saved() const { return saved_; }

  // ---- For the pages. ----
  EditorModel& Model() { return *model_; }
  // A page's "OK": stores the working edits in the item and says so.
  void SaveEdits();
  // The time label's text (the player's elapsed time).
  std::string ClockText() const;
  // The working edits changed: the right pane shows them at once, also while paused.
  void EditsChanged();
  // The crop edges changed: the band follows.
  void CropChanged();

  // ---- For tests and the benchmark. ----
  void ShowPage(int page);
  int CurrentPage() const { return currentPage_; }
  EditorPage* PageAt(int page) const { return pages_[static_cast<size_t>(page)]; }
  ui::CGPImageButton* TabButton(int page) const { return tabs_[static_cast<size_t>(page)]; }
  CPlayStatic* Player() const { return player_; }
  TransportControls* Transport() const { return transport_; }
  EditorPane* RightPane() const { return rightPane_; }
  CropBand* Band() const { return band_; }
  const EditorFrameHandler& FrameHandler() const { return handler_; }
  // Frames rendered into the right pane since the window opened.
  quint64 FramesRendered() const { return framesRendered_; }
  // Renders one frame as the player hands it over.
  void OnFrame(const YuvPlanes& planes, int width, int height);

 signals:
  void frameRendered(quint64 count);

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  void OnEscapeKey() override { reject(); }
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The left pane with its crop band, the right pane and the transport
  // controls under the left one.
  void BuildPanes(const std::string& path);
  // The six pages in one stack, with a tab button for each.
  void BuildPages();
  void AddHdrNote();
  static int ForwardFrame(int reserved, YuvPlanes* planes, int width, int height);
  void StoreEdits();
  void RenderLastFrame();
  // Puts the crop band on the left pane's picture.
  void PlaceBand();

  SourceList& list_;
  size_t row_;
  std::unique_ptr<EditorModel> model_;
  bool saved_ = false;
  bool closing_ = false;

  CPlayStatic* player_ = nullptr;
  EditorPane* rightPane_ = nullptr;
  CropBand* band_ = nullptr;
  QPoint bandOrigin_;
  bool drawingBand_ = false;
  TransportControls* transport_ = nullptr;
  std::array<ui::CGPImageButton*, kPageCount> tabs_{};
  std::array<EditorPage*, kPageCount> pages_{};
  QStackedWidget* stackWidget_ = nullptr;
  int currentPage_ = kTrimPage;

  EditorFrameHandler handler_;
  quint64 framesRendered_ = 0;

  static EditorWindow* current_;  // the open editor, which receives the player's frames
};

}  // namespace mivora
