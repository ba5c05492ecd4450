#pragma once
// A text label that looks and behaves like a web link: link colours (another
// colour once visited, the highlight colour under the mouse), underlined, a
// hand cursor and the address as its tooltip. A click opens the address
// through OpenLink and returns at once; a failure, at the start or when the
// opener reports it later, beeps and says why. With notifyParent set, a
// click only emits clicked() instead.

#include <QColor>
#include <QLabel>
#include <QString>

namespace mivora {

class CHyperLink : public QLabel {
  Q_OBJECT

 public:
  // An empty `url` takes the label's text; an empty text shows the url.
  CHyperLink(const QString& text, const QString& url, QWidget* parent = nullptr);

  const QString& Url() const { return url_; }
  void SetUrl(const QString& url);

  QColor LinkColor() const { return linkColor_; }
  QColor VisitedColor() const { return visitedColor_; }
  // An invalid colour (the default) is the palette's highlight colour.
  QColor HoverColor() const;
  void SetColors(const QColor& link, const QColor& visited, const QColor& hover = QColor());

  bool Underline() const { return underline_; }
  void SetUnderline(bool underline);
  bool Visited() const { return visited_; }
  void SetVisited(bool visited);
  bool OverControl() const { return overControl_; }
  void SetNotifyParent(bool notify) { notifyParent_ = notify; }

  // The colour the text is drawn in now.
  QColor CurrentColor() const;

  // What a click does: notify, or open the address and report a failure.
  void Activate();

  static inline const QColor kDefaultLinkColor{0, 0, 238};
  static inline const QColor kDefaultVisitedColor{85, 26, 139};

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void UpdateFont();
  void OnOpenFailed(int result);
  // The opener's final result; a failure takes back the visited colour.
  void OnOpenEnded(int result, bool wasVisited);

  QString url_;
  QColor linkColor_ = kDefaultLinkColor;
  QColor visitedColor_ = kDefaultVisitedColor;
  QColor hoverColor_;
  bool visited_ = false;
  bool overControl_ = false;
  bool underline_ = true;
  bool notifyParent_ = false;
};

}  // namespace mivora
