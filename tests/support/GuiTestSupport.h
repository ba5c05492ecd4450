#pragma once
// Helpers for driving windows in tests as a user would.

#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <ostream>
#include <functional>

class QWidget;

// Readable Qt texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& texts, std::ostream* out) {
  *out << '{';
  for (const QString& text : texts) *out << " \"" << text.toStdString() << '"';
  *out << " }";
}

namespace mivora::test {

// Spins the event loop until `done` holds or `timeoutMs` passed; the result
// of `done` at the end.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// Answers the program's message boxes as they open: each box gets the next
// scripted button (1 first, 2 second) clicked with the mouse; a box with no
// answer left gets its last button. Records every box's text.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(std::deque<int> answers = {});
  ~MessageBoxAnswerer();
  void Push(int answer) { answers_.push_back(answer); }
  const QStringList& Texts() const { return texts_; }
  // Every box's style flags, in the same order.
  const QList<unsigned>& Styles() const { return styles_; }

 private:
  void Poll();

  std::deque<int> answers_;
  QStringList texts_;
  QList<unsigned> styles_;
  QTimer timer_;
};

}  // namespace mivora::test
