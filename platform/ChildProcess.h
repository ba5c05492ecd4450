#pragma once
// Starting a helper program: an argument vector (never a shell), chosen
// standard handles, and, by default, the child as the leader of its own
// process group so that ending the group ends everything the run started.
//
// Threads: Start and Wait belong to one owning thread (the one that waits for
// the run); TerminateGroup may be called from any other thread at any time.
// The child is reaped only by Wait, after TerminateGroup can no longer reach
// it, so a group id that the system has given to another process is never
// signalled.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace mivora {

struct ChildStdio {
  // Descriptors the child gets as standard input, output and error; -1 gives
  // it /dev/null. The caller keeps (and later closes) its own descriptors.
  int input = -1;
  int output = -1;
  int error = -1;
};

struct ChildOptions {
  ChildStdio stdio;
  // True: argv[0] is looked up in PATH when it has no '/'. False: argv[0] is
  // the program's path as given.
  bool searchPath = false;
  // True: the child leads a new process group; Wait ends whatever is left of
  // that group when the child has ended, and TerminateGroup ends all of it.
  // False: the child stays in the caller's group and only it is signalled.
  bool ownProcessGroup = true;
  // "NAME=value" entries the child gets in addition to this process's
  // environment (an entry replaces a variable of the same name).
  std::vector<std::string> environment;
};

class ChildProcess {
 public:
  // Starts argv[0] with argv. Returns null and fills `error` (when given) with
  // a readable reason when the program cannot be started (missing, not
  // executable, ...).
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv,
                                             const ChildOptions& options,
                                             std::string* error = nullptr);

  // Ends the run if it is still going and reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }

  // Waits for the child's end, ends what is left of its group, reaps it,
  // waits (a second at most) until no member of the group is left, and
  // returns its exit status: the exit code, or 128 + the signal number when a
  // signal ended it. Later calls return the same status at once.
  int Wait();

  // Ends the child and, with ownProcessGroup, its whole group: SIGTERM to the
  // child first, then, when it has not ended within `grace`, SIGKILL to the
  // whole group (at once with a zero grace). Returns without waiting for the
  // reaping, which is Wait's. Does nothing once the child has been reaped.
  // Any thread.
  void TerminateGroup(std::chrono::milliseconds grace = kDefaultGrace);
  static constexpr std::chrono::milliseconds kDefaultGrace{300};

  // Sends `signal` to the child alone (not reaped yet). Any thread.
  void Signal(int signal);

  // True once TerminateGroup was called on a running child.
  bool WasTerminated() const;

 private:
  ChildProcess(pid_t pid, bool ownGroup) : pid_(pid), ownGroup_(ownGroup) {}
  void AwaitGroupEnd();

  static constexpr int kGracePollMicroseconds = 2000;
  static constexpr int kGroupEndPolls = 1000;
  static constexpr int kGroupEndPollMicroseconds = 1000;

  const pid_t pid_;
  const bool ownGroup_;
  mutable std::mutex mutex_;  // guards the fields below
  bool reaped_ = false;       // written by the waiting thread
  bool terminated_ = false;   // written by TerminateGroup
  int status_ = -1;           // written by the waiting thread
};

}  // namespace mivora
