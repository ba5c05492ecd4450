#pragma once
// One playback's run record, shared by the window and its player thread.
// The thread owns a reference, so the record outlives a window that gave up
// waiting for it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace mivora {

class CPlayStatic;

struct PlayerRun {
  // Set by the window before the thread starts; read-only afterwards.
  std::string playerPath;
  std::string mediaPath;
  std::string blockName;
  uint32_t endpoint = 0;
  int width = 0;
  int height = 0;
  int frameLimit = 0;  // > 0: the player ends after that many frames

  std::atomic<int> stopRequest{0};  // written by the window, polled by the thread
  std::atomic<int> playerPid{0};    // written by the thread

  std::mutex mutex;               // guards the three fields below
  std::condition_variable ended;  // signalled when `done` becomes true
  bool done = false;              // written by the thread at its end
  int result = 0;                 // PlayerLaunch's result, once done
  CPlayStatic* window = nullptr;  // told of the end; cleared by a window that gives up

  std::thread thread;  // joined or detached by the window
};

}  // namespace mivora
