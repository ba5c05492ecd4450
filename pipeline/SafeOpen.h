#pragma once
// How libavformat opens files in this program (the probe, the read-back of
// outputs, the player). A source may name other files (a playlist's segments and keys, a
// concat list's entries, an image pattern's pictures), and a pipe or a device
// among them would block the opening thread beyond every limit. So every
// file, at any depth, is opened here without waiting, and only a plain file is
// read: through this process's descriptor of it, so that what was checked is
// what is read. Other protocols are left to libavformat under the context's
// protocol list (local ones only when the context names none).
//
// A concat list is refused outright: its demuxer opens the files it names
// itself, past this rule.

struct AVFormatContext;

namespace mivora {

// Makes `context` open every file through the rule above. Call before
// avformat_open_input. False when libavformat lacks an entry point it needs
// (then `context` is left as it was).
bool UseSafeOpen(AVFormatContext* context);

// While it lives, notes whether an opening on this thread refused a concat list.
class SafeOpenWatch {
 public:
  SafeOpenWatch();
  ~SafeOpenWatch();
  SafeOpenWatch(const SafeOpenWatch&) = delete;
  SafeOpenWatch& operator=(const SafeOpenWatch&) = delete;

  bool RefusedConcatList() const { return refusedConcatList_; }
  void NoteConcatList() { refusedConcatList_ = true; }

 private:
  SafeOpenWatch* previous_;
  bool refusedConcatList_ = false;
};

}  // namespace mivora
