#pragma once
// CPlayStatic: the preview window of libglimra.so (a Qt widget).
//
// It plays a media file by starting the player `playrun` that lies beside the
// library, steers it through the player's shared block (seek, pause, window
// size, full screen; platform/PlayerSharedBlock.h) and paints every frame the
// player announces (platform/CopyDataProtocol.h). A host may receive each
// frame too, through m_pfnFrameCallback, and reads the player's status text
// (elapsed time, position, duration, frame size) through m_pszStatus.
//
// Typical use by a host window:
//   player->m_pfnFrameCallback = &MyFrameHandler;   // or null
//   player->Play(path);                             // starts the player
//   ... a one-second timer reads player->m_pszStatus and player->m_bPlaying
//   player->Pause(); player->Seek(percent); player->Stop();
//
// Threads. Every public member is for the window's (GUI) thread only, and the
// frame callback, frameDrawn and playingEnded arrive on it. One player thread
// per playback starts the player and waits for its end; it shares nothing
// with the window but its own run record (stop request, player's pid), so the
// window may be destroyed while it still winds down. The shared block is
// mapped and unmapped on the window's thread only, so m_pszStatus and the
// frame planes stay valid for as long as the window says it is playing.

#include <QImage>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "preview/Glimra.h"

class QSocketNotifier;

#define GLIMRA_CLASS_API __attribute__((visibility("default")))

namespace mivora {

class CopyDataEndpoint;
class SharedMemoryBlock;
struct CopyDataMessage;
struct PlayerRun;
class FullScreenView;

// A host's frame handler: `reserved` is always 0; `planes` point into the
// shared block (Y, then U and V at half width and height) and are valid only
// during the call; the result is ignored.
using FrameCallback = int (*)(int reserved, YuvPlanes* planes, int width, int height);

class GLIMRA_CLASS_API CPlayStatic : public QWidget {
  Q_OBJECT

 public:
  // Commands of the right-button menu.
  static constexpr int kFitForWindowCommand = 300;
  static constexpr int kFitForVideoCommand = 301;
  // Results of PlayerLaunch (and of playingEnded).
  static constexpr int kPlayerEnded = 1;       // the player ended by itself
  static constexpr int kPlayerStopped = -1;    // Stop (or a new Play) ended it
  static constexpr int kPlayerNotStarted = 0;  // it could not be started
  // How long Stop waits for the player thread.
  static constexpr int kStopWaitMs = 5000;

  explicit CPlayStatic(QWidget* parent = nullptr);
  // Stops playing first.
  ~CPlayStatic() override;

  // ---- Host data: the host writes the callback and reads the other two. ----
  // Set before Play; null hands out no frames.
  FrameCallback m_pfnFrameCallback = nullptr;
  // 1 from Play until the window has seen the player end (or Stop).
  int m_bPlaying = 0;
  // The status text in the shared block while playing, else null.
  const char* m_pszStatus = nullptr;

  // ---- State the host may read. ----
  // How the codes of the frame the callback gets become colours
  // (GLIMRA_YUV_*, Glimra.h), as the player tells it for each frame.
  int m_nFrameColour = 0;
  int m_bPaused = 0;     // toggled by Pause
  int m_bFitVideo = 0;   // 0 "Fit for window", 1 "Fit for video"
  int m_nVideoWidth = 0;   // the video's frame size from the status text;
  int m_nVideoHeight = 0;  // 0 until known, then kept for the window's life
  struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
  };
  Rect m_rcRequested;    // the rectangle last given to MoveWindow
  std::string m_strFile;  // the file being played

  // ---- Operations. ----
  // Plays `path`: stops a running player first, makes the shared block and
  // starts the player thread. Returns at once; frames follow.
  void Play(const char* path);
  // While not playing: shows the file's first frame as a still (it also goes
  // to the frame callback) without playing or changing m_bPlaying; Play
  // replaces it.
  void ShowFirstFrame(const char* path);
  // While playing: asks the player to pause or resume, flips m_bPaused and
  // keeps the picture shown at the pause as the still frame.
  void Pause();
  // While playing: ends the player (waiting up to kStopWaitMs for its thread)
  // and marks the window idle.
  void Stop();
  // While playing: asks the player to go to `percent` (0..100) of the file.
  void Seek(int percent);
  // While playing: shows the picture full-screen (the frames keep coming)
  // until Esc or a double-click.
  void FullScreen();
  // Takes the window's size as the still frame's size; with capture != 0
  // copies the window's current picture into the still frame, with 0 makes
  // it black; then repaints.
  void CaputeFrame(int capture);
  // Places the window in the parent's rectangle (x, y, width, height): with
  // "Fit for video" and a known video smaller than the rectangle in both
  // sides, at the video's size centred in it; otherwise filling it.
  void MoveWindow(int x, int y, int width, int height);
  // Stops playing and hides the window.
  bool DestroyWindow();
  // The right-button menu's commands (kFitForWindowCommand,
  // kFitForVideoCommand): sets the fit mode and places the window again.
  void OnPlayMenu(int command);

  // The picture the window shows while playing (the last frame, fitted with
  // its shape inside the window or the full-screen view); null before the
  // first frame.
  const QImage& Picture() const { return m_picture; }
  // Where the picture lies in the window: the source's shape (its sample
  // aspect applied) fitted inside the window, centred; the whole window
  // before the first frame.
  QRect PictureRect() const;
  // The still frame shown while paused or idle (captured size): the last
  // picture, as the window showed it, once there is one.
  const QImage& StillFrame() const { return m_stillFrame; }
  // The full-screen view while it is open, else null.
  QWidget* FullScreenWindow() const;
  // The number the player is given as "-hwnd": this window's endpoint.
  uint32_t EndpointNumber() const;

  // Starts `playerPath` for `mediaPath` with the block `blockName`, the
  // window endpoint and the window's size, and waits for the player's end,
  // ending its process group once `stopRequest` is set (looked at every
  // 100 ms). Returns kPlayerEnded, kPlayerStopped or kPlayerNotStarted (then
  // "Lanuch process failed error=%d" goes to standard output). `playerPid`,
  // when given, holds the player's pid while it runs, else 0. Any thread.
  // `frameLimit` > 0 asks the player to end after that many frames.
  static int PlayerLaunch(const std::string& playerPath, const std::string& mediaPath,
                          const std::atomic<int>& stopRequest, uint32_t windowEndpoint,
                          int width, int height, const std::string& blockName,
                          std::atomic<int>* playerPid = nullptr, int frameLimit = 0);
  // The player program beside this library.
  static std::string PlayerPath();
  // The "-ptsoffset" value for a file: 1000 for names ending in ".flv" in
  // any letter case, else 0.
  static int PtsOffsetFor(const std::string& mediaPath);

 signals:
  // A frame announced by the player has been painted; `frameNumber` counts
  // this playback's announced frames from 1.
  void frameDrawn(quint64 frameNumber);
  // The player has ended; `result` as PlayerLaunch's.
  void playingEnded(int result);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  friend class FullScreenView;
  static int PlayContext(const std::shared_ptr<PlayerRun>& run);
  void OnCopyData(const CopyDataMessage& message);
  void OnRButtonDown(const QPoint& position);
  void ReadEndpoint();
  void TakeFrame(const uint8_t* frame, int width, int height);
  void OnRunEnded(const std::shared_ptr<PlayerRun>& run);
  void FinishPlayback(int result);
  void ReleaseBlock();
  bool ParseVideoSize();
  QSize PictureSize() const;
  // Starts the player for m_strFile; false when there is no endpoint.
  bool StartRun(int frameLimit);
  // The frame's colour and shape from the block.
  void ReadFrameFacts(int width, int height);
  // The picture fitted in a black image of `size`.
  QImage ComposedPicture(QSize size) const;

  // Owned by the window's thread.
  std::unique_ptr<CopyDataEndpoint> m_endpoint;
  QSocketNotifier* m_notifier = nullptr;
  std::unique_ptr<SharedMemoryBlock> m_block;
  std::string m_blockName;
  std::shared_ptr<PlayerRun> m_run;  // the current playback's run record
  // Pointers into the block, set while it is mapped.
  int32_t* m_pSeek = nullptr;
  int32_t* m_pReserved0 = nullptr;
  int32_t* m_pPause = nullptr;
  int32_t* m_pWidth = nullptr;
  int32_t* m_pHeight = nullptr;
  int32_t* m_pReserved[3] = {nullptr, nullptr, nullptr};
  int32_t* m_pFullScreen = nullptr;
  uint8_t* m_pFrame = nullptr;

  bool m_bShowingFirstFrame = false;  // the run is ShowFirstFrame's
  QSize m_frameShape;    // the picture's shape: as the player tells it, else the frame's size
  QImage m_stillFrame;   // the still frame (captured size)
  QImage m_picture;      // the last frame as shown
  quint64 m_frameNumber = 0;         // frames announced in this playback
  quint64 m_pictureFrameNumber = 0;  // the frame m_picture holds
  quint64 m_drawnFrameNumber = 0;    // the last frame reported as drawn
  struct ScalerCache;
  std::unique_ptr<ScalerCache> m_scaler;
  FullScreenView* m_fullScreen = nullptr;
  bool m_readingEndpoint = false;  // inside ReadEndpoint (a callback may run an event loop)
};

}  // namespace mivora
