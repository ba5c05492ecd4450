#pragma once
// The editor's six pages. Each turns its controls' events into EditorModel
// calls, shows the model's values back (a refused or clamped value shows what
// was kept), and saves with its "OK" button. Controls carry object names
// ("trimStartSet", "cropLeft", ...) by which tests find them.

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;

namespace mivora {

class EditorModel;
class EditorWindow;
namespace ui {
class CGPImageButton;
}

class EditorPage : public QWidget {
  Q_OBJECT

 public:
  explicit EditorPage(EditorWindow& editor);
  // Shows the working edits.
  virtual void Refresh() = 0;

 protected:
  EditorModel& Model();
  // After every change: refresh and let the right pane show it.
  void Edited();
  QLabel* AddLabel(const QString& text, const QRect& where, const char* name = nullptr);
  QSpinBox* AddSpin(const char* name, const QRect& where);
  ui::CGPImageButton* AddButton(const QString& text, const QRect& where, const char* name);
  QCheckBox* AddCheck(const QString& text, const QRect& where, const char* name);
  QSlider* AddSlider(int minimum, int maximum, const QRect& where, const char* name);
  // Sets a box without reporting it as the user's change.
  static void ShowValue(QSpinBox* box, int value);

  EditorWindow& editor_;
};

class TrimPage : public EditorPage {
  Q_OBJECT
 public:
  explicit TrimPage(EditorWindow& editor);
  void Refresh() override;

 private:
  QLineEdit *start_, *end_, *length_;
};

class CropPage : public EditorPage {
  Q_OBJECT
 public:
  explicit CropPage(EditorWindow& editor);
  void Refresh() override;

 private:
  void Changed();
  QSpinBox *left_, *top_, *width_, *height_;
};

class EffectsPage : public EditorPage {
  Q_OBJECT
 public:
  explicit EffectsPage(EditorWindow& editor);
  void Refresh() override;

 private:
  QLabel *brightnessLabel_, *contrastLabel_, *saturationLabel_;
  QSlider *brightness_, *contrast_, *saturation_;
  QComboBox* effect_;
  QCheckBox *hflip_, *vflip_;
};

class TextPage : public EditorPage {
  Q_OBJECT
 public:
  explicit TextPage(EditorWindow& editor);
  void Refresh() override;

 private:
  void ChooseFont();
  QLineEdit* text_;
  ui::CGPImageButton* font_;
  QSpinBox *left_, *top_;
  QCheckBox* enable_;
};

class PicturePage : public EditorPage {
  Q_OBJECT
 public:
  explicit PicturePage(EditorWindow& editor);
  void Refresh() override;

 private:
  void Browse();
  QLineEdit* path_;
  ui::CGPImageButton* browse_;
  QSpinBox *left_, *top_;
  QCheckBox* enable_;
};

class StereoPage : public EditorPage {
  Q_OBJECT
 public:
  explicit StereoPage(EditorWindow& editor);
  void Refresh() override;

 private:
  void Changed();
  QLabel *modeLabel_, *depthLabel_;
  QComboBox* mode_;
  QSlider* depth_;
};

}  // namespace mivora
