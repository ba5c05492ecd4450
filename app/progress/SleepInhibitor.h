#pragma once
// Keeps the computer awake while a batch runs: the login manager's
// "sleep:idle" inhibitor, held through the descriptor it hands out. The
// inhibitor ends when that descriptor is closed: by this object's end, or by
// the kernel when the program ends in any way. Without a login manager the
// log says so and the batch runs as before. The login manager is asked on
// the bus thread (DesktopBusThread.h): making and ending the object never
// waits for the bus.

#include <memory>
#include <mutex>
#include <string>

namespace mivora {

class SleepInhibitor {
 public:
  // Asks for the inhibitor; `why` is what the desktop shows ("Converting 3 files").
  explicit SleepInhibitor(const std::string& why);
  // Releases the inhibitor, or has it released as soon as it comes.
  ~SleepInhibitor();
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;

  // True once the login manager's answer has come and until the end.
  bool Held() const;

  static std::string ReasonFor(int fileCount);

 private:
  // Shared by this object (the window's thread) and the request on the bus thread.
  struct Hold {
    std::mutex mutex;
    int fd = -1;            // guarded by mutex
    bool released = false;  // guarded by mutex
  };
  std::shared_ptr<Hold> hold_;
};

}  // namespace mivora
