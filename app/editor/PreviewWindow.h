#pragma once
// "Preview": a small skinned dialog that plays one source unedited, with the
// transport controls. It starts playing as soon as it opens; closing it stops
// the player.

#include <string>

#include "pipeline/JobFailure.h"
#include "ui/CImgDialogBase.h"

class QLabel;

namespace mivora {

class CPlayStatic;
class TransportControls;

class PreviewWindow : public ui::CImgDialogBase {
  Q_OBJECT

 public:
  // `hasPicture` false: the probe found only sound, and the window says so.
  PreviewWindow(const std::string& sourcePath, QWidget* parent = nullptr, bool hasPicture = true);
  ~PreviewWindow() override;

  CPlayStatic* Player() const { return player_; }
  TransportControls* Transport() const { return transport_; }
  // Why the file does not play, as the window shows it ("" while it plays).
  QString Problem() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  void OnEscapeKey() override { reject(); }

 private:
  CPlayStatic* player_ = nullptr;
  TransportControls* transport_ = nullptr;
  // Shows `kind`'s message over the picture.
  void ShowProblem(FailureKind kind);
  void OnPlayingEnded(int result);

  std::string sourcePath_;
  bool hasPicture_ = true;
  QLabel* problem_ = nullptr;
  bool framesDrawn_ = false;
  bool started_ = false;
};

}  // namespace mivora
