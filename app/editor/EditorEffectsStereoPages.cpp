// The effects page (brightness, contrast and saturation sliders, the effect
// list, the flips) and the 3D page (mode list and depth slider).
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include "app/editor/EditorPages.h"
#include "app/editor/EditorWindow.h"
#include "ui/CGPImageButton.h"

namespace mivora {
namespace {

void ShowPosition(QSlider* slider, int value) {
  QSignalBlocker quiet(slider);
  slider->setValue(value);
}

void ShowIndex(QComboBox* list, int index) {
  QSignalBlocker quiet(list);
  list->setCurrentIndex(index);
}

void ShowChecked(QCheckBox* box, bool checked) {
  QSignalBlocker quiet(box);
  box->setChecked(checked);
}

}  // namespace

EffectsPage::EffectsPage(EditorWindow& editor) : EditorPage(editor) {
  brightnessLabel_ = AddLabel(QString(), QRect(16, 10, 130, 22), "brightnessLabel");
  brightness_ = AddSlider(-100, 100, QRect(150, 10, 220, 22), "brightness");
  contrastLabel_ = AddLabel(QString(), QRect(16, 40, 130, 22), "contrastLabel");
  contrast_ = AddSlider(-100, 100, QRect(150, 40, 220, 22), "contrast");
  saturationLabel_ = AddLabel(QString(), QRect(16, 70, 130, 22), "saturationLabel");
  saturation_ = AddSlider(-100, 100, QRect(150, 70, 220, 22), "saturation");

  AddLabel(QStringLiteral("Effect:"), QRect(400, 10, 60, 22));
  effect_ = new QComboBox(this);
  effect_->setObjectName("effect");
  effect_->setGeometry(460, 10, 183, 24);
  for (const char* label : kEffectLabels) effect_->addItem(QString::fromLatin1(label));
  hflip_ = AddCheck(QStringLiteral("Hflip"), QRect(460, 44, 80, 22), "hflip");
  vflip_ = AddCheck(QStringLiteral("Vflip"), QRect(550, 44, 80, 22), "vflip");
  auto* reset = AddButton(QStringLiteral("Reset"), QRect(16, 136, 80, 26), "reset");

  EditOnValue(brightness_, &QSlider::valueChanged, &EditorModel::SetBrightness);
  EditOnValue(contrast_, &QSlider::valueChanged, &EditorModel::SetContrast);
  EditOnValue(saturation_, &QSlider::valueChanged, &EditorModel::SetSaturation);
  EditOnValue(effect_, &QComboBox::currentIndexChanged, &EditorModel::SetEffect);
  EditOnClick(hflip_, &EditorModel::ToggleFlipHorizontal);
  EditOnClick(vflip_, &EditorModel::ToggleFlipVertical);
  EditOnClick(reset, &EditorModel::ResetEffects);
  Refresh();
}

void EffectsPage::Refresh() {
  const EditorModel& m = Model();
  ShowPosition(brightness_, m.BrightnessPosition());
  ShowPosition(contrast_, m.ContrastPosition());
  ShowPosition(saturation_, m.SaturationPosition());
  brightnessLabel_->setText(QString::fromStdString(m.BrightnessLabel()));
  contrastLabel_->setText(QString::fromStdString(m.ContrastLabel()));
  saturationLabel_->setText(QString::fromStdString(m.SaturationLabel()));
  ShowIndex(effect_, m.Working().effect);
  ShowChecked(hflip_, m.Working().flipHorizontal != 0);
  ShowChecked(vflip_, m.Working().flipVertical != 0);
}

StereoPage::StereoPage(EditorWindow& editor) : EditorPage(editor) {
  modeLabel_ = AddLabel(QString(), QRect(16, 10, 300, 22), "stereoLabel");
  mode_ = new QComboBox(this);
  mode_->setObjectName("stereoMode");
  mode_->setGeometry(16, 36, 200, 24);
  for (const char* label : kStereoListLabels) mode_->addItem(QString::fromLatin1(label));
  depthLabel_ = AddLabel(QString(), QRect(16, 72, 300, 22), "depthLabel");
  depth_ = AddSlider(EditorModel::kMinStereoDepth, EditorModel::kMaxStereoDepth, QRect(16, 98, 300, 22), "depth");
  connect(mode_, &QComboBox::currentIndexChanged, this, &StereoPage::Changed);
  connect(depth_, &QSlider::valueChanged, this, &StereoPage::Changed);
  Refresh();
}

void StereoPage::Changed() {
  Model().SetStereo(mode_->currentIndex(), depth_->value());
  Edited();
}

void StereoPage::Refresh() {
  const EditorModel& m = Model();
  ShowIndex(mode_, m.StereoListIndex());
  ShowPosition(depth_, m.Working().stereoDepth);
  modeLabel_->setText(QString::fromStdString(m.StereoModeLabel()));
  depthLabel_->setText(QString::fromStdString(m.StereoDepthLabel()));
}

}  // namespace mivora
