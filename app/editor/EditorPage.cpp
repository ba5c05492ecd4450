#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include "app/editor/EditorPages.h"
#include "app/editor/EditorWindow.h"
#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace mivora {

EditorPage::EditorPage(EditorWindow& editor) : editor_(editor) {
  setStyleSheet(QStringLiteral("QLabel, QCheckBox { color: white; }"));
  setFont(ui::Skin::Font(12));
  auto* ok = AddButton(QStringLiteral("OK"), QRect(563, 136, 80, 26), "ok");
  connect(ok, &QAbstractButton::clicked, this, [this] { editor_.SaveEdits(); });
}

EditorModel& EditorPage::Model() { return editor_.Model(); }

void EditorPage::Edited() {
  Refresh();
  editor_.EditsChanged();
}

void EditorPage::EditOnClick(QAbstractButton* button, void (EditorModel::*action)()) {
  connect(button, &QAbstractButton::clicked, this, [this, action] {
    (Model().*action)();
    Edited();
  });
}

QLabel* EditorPage::AddLabel(const QString& text, const QRect& where, const char* name) {
  auto* label = new QLabel(text, this);
  label->setGeometry(where);
  if (name) label->setObjectName(QString::fromLatin1(name));
  return label;
}

QSpinBox* EditorPage::AddSpin(const char* name, const QRect& where) {
  auto* box = new QSpinBox(this);
  box->setObjectName(QString::fromLatin1(name));
  box->setRange(-1, 99999);  // the model keeps the real limits
  box->setGeometry(where);
  box->setKeyboardTracking(false);
  return box;
}

ui::CGPImageButton* EditorPage::AddButton(const QString& text, const QRect& where, const char* name) {
  auto* button = new ui::CGPImageButton(this);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(text);
  button->setGeometry(where);
  return button;
}

QCheckBox* EditorPage::AddCheck(const QString& text, const QRect& where, const char* name) {
  auto* box = new QCheckBox(text, this);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(where);
  return box;
}

QSlider* EditorPage::AddSlider(int minimum, int maximum, const QRect& where, const char* name) {
  auto* slider = new QSlider(Qt::Horizontal, this);
  slider->setObjectName(QString::fromLatin1(name));
  slider->setRange(minimum, maximum);
  slider->setGeometry(where);
  return slider;
}

void EditorPage::ShowValue(QSpinBox* box, int value) {
  QSignalBlocker quiet(box);
  box->setValue(value);
}

}  // namespace mivora
