#pragma once
// "Preview": a small skinned dialog that plays one source unedited, with the
// transport controls. It starts playing as soon as it opens; closing it stops
// the player.

#include <string>

#include "ui/CImgDialogBase.h"

namespace mivora {

class CPlayStatic;
class TransportControls;

class PreviewWindow : public ui::CImgDialogBase {
  Q_OBJECT

 public:
  PreviewWindow(const std::string& sourcePath, QWidget* parent = nullptr);
  ~PreviewWindow() override;

  CPlayStatic* Player() const { return player_; }
  TransportControls* Transport() const { return transport_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  void OnEscapeKey() override { reject(); }

 private:
  CPlayStatic* player_ = nullptr;
  TransportControls* transport_ = nullptr;
  bool started_ = false;
};

}  // namespace mivora
