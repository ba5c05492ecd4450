#pragma once
// Only one desktop program per user session: the first process holds an
// exclusive lock on the file "_mvr1.0_" in a folder only the user may enter
// (the session's runtime folder $XDG_RUNTIME_DIR; without one the folder
// "mivora-instance-<uid>" in the temporary folder, else the per-user
// folder). The kernel drops the lock when the process ends in any way, so a
// crash never leaves it held.

#include <string>

namespace mivora {

inline constexpr const char* kInstanceLockName = "_mvr1.0_";
inline constexpr const char* kAlreadyRunning = "Mivora is already running!";

class SingleInstance {
 public:
  enum class Outcome {
    kFirst,           // this process holds the lock
    kAlreadyRunning,  // another process holds it
    kUnprotected,     // the lock could not be made; run without it
  };

  SingleInstance();
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  Outcome outcome() const { return outcome_; }
  // The lock file of this user session; its folder is made when missing.
  static std::string LockPath();

 private:
  int fd_ = -1;
  Outcome outcome_ = Outcome::kUnprotected;
};

}  // namespace mivora
