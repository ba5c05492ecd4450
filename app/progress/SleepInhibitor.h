#pragma once
// Keeps the computer awake while a batch runs: the login manager's
// "sleep:idle" inhibitor, held through the descriptor it hands out. The
// inhibitor ends when that descriptor is closed: by this object's end, or by
// the kernel when the program ends in any way. Without a login manager the
// log says so and the batch runs as before.

#include <string>

namespace mivora {

class SleepInhibitor {
 public:
  // Asks for the inhibitor; `why` is what the desktop shows ("Converting 3 files").
  explicit SleepInhibitor(const std::string& why);
  ~SleepInhibitor();
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;

  bool Held() const { return fd_ >= 0; }

  static std::string ReasonFor(int fileCount);

 private:
  int fd_ = -1;
};

}  // namespace mivora
