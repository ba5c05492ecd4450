#pragma once
// The editor's six pages. Each turns its controls' events into EditorModel
// calls, shows the model's values back (a refused or clamped value shows what
// was kept), and saves with its "OK" button. Controls carry object names
// ("trimStartSet", "cropLeft", ...) by which tests find them.

#include <QWidget>

class QAbstractButton;
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
  virtual void Edited();
  // Each value `control` reports goes to the model through `set`, as the
  // user's edit.
  template <typename Control, typename Signal, typename Result>
  void EditOnValue(Control* control, Signal signal, Result (EditorModel::*set)(int)) {
    connect(control, signal, this, [this, set](int value) {
      (Model().*set)(value);
      Edited();
    });
  }
  // Each click on `button` runs `action` on the model, as the user's edit.
  void EditOnClick(QAbstractButton* button, void (EditorModel::*action)());
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
  // A crop change also moves the band on the left pane.
  void Edited() override;
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

// The text and the picture page: a field with its button on the first row,
// then where the mark stands ("Left", "Top") and "Enable", which the other
// controls follow.
class WatermarkPage : public EditorPage {
  Q_OBJECT
 protected:
  using EditorPage::EditorPage;
  // The second and third rows; `prefix` starts the boxes' object names.
  template <typename Result>
  void AddPlacement(const char* prefix, Result (EditorModel::*setLeft)(int), Result (EditorModel::*setTop)(int),
                    void (EditorModel::*toggleEnabled)());
  // Shows the placement; the field, its button and the boxes follow "Enable".
  void ShowPlacement(int left, int top, bool enabled, QWidget* field, QWidget* button);

 private:
  QSpinBox *left_ = nullptr, *top_ = nullptr;
  QCheckBox* enable_ = nullptr;
};

class TextPage : public WatermarkPage {
  Q_OBJECT
 public:
  explicit TextPage(EditorWindow& editor);
  void Refresh() override;

 private:
  void ChooseFont();
  QLineEdit* text_;
  ui::CGPImageButton* font_;
};

class PicturePage : public WatermarkPage {
  Q_OBJECT
 public:
  explicit PicturePage(EditorWindow& editor);
  void Refresh() override;

 private:
  void Browse();
  QLineEdit* path_;
  ui::CGPImageButton* browse_;
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
