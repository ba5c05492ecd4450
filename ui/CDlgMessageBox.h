#pragma once
// The program's own message box: a skinned modal dialog over its parent with
// the product name as caption. The style is read as the standard message-box
// flags: Yes/No (0x4) and OK/Cancel (0x1) give two buttons, anything else one
// "OK"; the question flag (0x20) shows the question picture, the stop flag
// (0x10) the error picture, anything else the information picture. The
// answer is 1 for the first button (OK or Yes) and 2 for the second (Cancel
// or No); Enter takes the focused button, else the first; Escape or closing
// the box counts as the last button.

#include <QString>

#include "ui/CImgDialogBase.h"

namespace mivora::ui {

inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbOkCancel = 0x1;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbIconStop = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr int kIdFirst = 1;   // OK or Yes
inline constexpr int kIdSecond = 2;  // Cancel or No

inline constexpr const char* kProductName = "Mivora";

class CDlgMessageBox : public CImgDialogBase {
  Q_OBJECT

 public:
  CDlgMessageBox(const QString& text, unsigned style, QWidget* parent);

  // Shows the box modally and returns the answer.
  int DoModal();
  // Builds, shows and answers in one call.
  static int Show(const QString& text, unsigned style, QWidget* parent);

  const QString& Text() const { return text_; }
  unsigned Style() const { return style_; }
  CGPImageButton* FirstButton() const { return first_; }
  CGPImageButton* SecondButton() const { return second_; }  // null with one button
  // The skin image of the picture: msg_question, msg_error or msg_information.
  const QString& Picture() const { return picture_; }

 protected:
  void OnEnterKey() override;
  void OnEscapeKey() override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
  unsigned style_;
  QString picture_;
  QRect textRect_;
  CGPImageButton* first_ = nullptr;
  CGPImageButton* second_ = nullptr;
};

}  // namespace mivora::ui
