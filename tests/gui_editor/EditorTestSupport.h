#pragma once
// Shared pieces of the editor and preview window tests: generated clips, a
// source list item built the way the main window builds it, and answering
// the dialogs the windows open.

#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "pipeline/SourceList.h"

class QSlider;

namespace mivora::test {

// A short 320 x 240 clip (H.264 in Matroska, with sound), made once per name.
const std::string& EditorClip(const std::string& name = "clip", double seconds = 2.0);
// A profile that converts to MPEG-4 in AVI at the source's size.
const std::string& EditorProfile();
// A source list holding one item for `path`, as the main window adds it.
std::unique_ptr<SourceList> ListWithSource(const std::string& path);
// A PNG of one colour.
// Presses the slider's handle, drags it to `percent` of its width and holds
// it there for a second and a half (across the transport timer's ticks);
// returns the lowest handle position seen while held, then lets go.
int LowestPositionWhileDragged(QSlider& slider, int percent);

std::string WritePng(const std::string& name, int width, int height, unsigned rgb);

// Runs `act` on the next modal dialog of type T that opens (polling).
template <class T>
class WhenModalOpens {
 public:
  explicit WhenModalOpens(std::function<void(T*)> act) : act_(std::move(act)) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible() || done_) return;
      done_ = true;
      timer_.stop();
      act_(dialog);
    });
    timer_.start();
  }
  bool Done() const { return done_; }

 private:
  std::function<void(T*)> act_;
  QTimer timer_;
  bool done_ = false;
};

}  // namespace mivora::test
