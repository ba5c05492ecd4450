#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>

extern char** environ;

namespace mivora {
namespace {

// Closes the spawn helper objects on every path out of Start.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

void AddStandardHandle(posix_spawn_file_actions_t* actions, int source, int target, int nullMode) {
  if (source < 0)
    posix_spawn_file_actions_addopen(actions, target, "/dev/null", nullMode, 0);
  else
    posix_spawn_file_actions_adddup2(actions, source, target);
}

int StatusToExitCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// This process's environment with `extra` added; the strings stay owned by
// `extra` and environ.
std::vector<char*> ChildEnvironment(const std::vector<std::string>& extra) {
  std::vector<char*> result;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    bool replaced = false;
    for (const std::string& added : extra) {
      size_t equals = added.find('=');
      if (equals != std::string::npos && text.size() > equals &&
          text.substr(0, equals + 1) == std::string_view(added).substr(0, equals + 1))
        replaced = true;
    }
    if (!replaced) result.push_back(*entry);
  }
  for (const std::string& added : extra) result.push_back(const_cast<char*>(added.c_str()));
  result.push_back(nullptr);
  return result;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                  const ChildOptions& options,
                                                  std::string* error) {
  if (argv.empty() || argv[0].empty()) {
    if (error) *error = "no program given";
    return nullptr;
  }
  SpawnSetup setup;
  AddStandardHandle(&setup.actions, options.stdio.input, 0, O_RDONLY);
  AddStandardHandle(&setup.actions, options.stdio.output, 1, O_WRONLY);
  AddStandardHandle(&setup.actions, options.stdio.error, 2, O_WRONLY);

  // The child starts with no blocked signals and the usual actions, whatever
  // the starting thread had set (a test runner or a GUI may block some).
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  sigset_t empty, defaults;
  sigemptyset(&empty);
  sigemptyset(&defaults);
  for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGUSR1, SIGUSR2})
    sigaddset(&defaults, sig);
  posix_spawnattr_setsigmask(&setup.attributes, &empty);
  posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
  if (options.ownProcessGroup) {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&setup.attributes, 0);
  }
  posix_spawnattr_setflags(&setup.attributes, flags);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  // glibc's posix_spawn reports a failed exec (missing file, no permission)
  // as its result, so a program that could not run is never mistaken for one
  // that ran and failed.
  std::vector<char*> environment;
  if (!options.environment.empty()) environment = ChildEnvironment(options.environment);
  char** envp = options.environment.empty() ? environ : environment.data();
  pid_t pid = 0;
  int rc = options.searchPath
               ? posix_spawnp(&pid, args[0], &setup.actions, &setup.attributes, args.data(), envp)
               : posix_spawn(&pid, args[0], &setup.actions, &setup.attributes, args.data(), envp);
  if (rc != 0) {
    if (error) *error = "cannot start " + argv[0] + ": " + std::strerror(rc);
    return nullptr;
  }
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid, options.ownProcessGroup));
}

ChildProcess::~ChildProcess() {
  bool reaped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reaped = reaped_;
  }
  if (!reaped) {
    TerminateGroup();
    Wait();
  }
}

int ChildProcess::Wait() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reaped_) return status_;
  }
  // Wait for the end without reaping: while the child is an unreaped zombie
  // its pid (and group id) cannot be handed to another process, so
  // TerminateGroup stays safe until the reaping below.
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  std::lock_guard<std::mutex> lock(mutex_);
  // Whatever the child started and left behind in its group ends with it.
  if (ownGroup_) ::kill(-pid_, SIGKILL);
  int status = 0;
  pid_t got;
  do {
    got = waitpid(pid_, &status, 0);
  } while (got < 0 && errno == EINTR);
  status_ = got == pid_ ? StatusToExitCode(status) : -1;
  reaped_ = true;
  if (ownGroup_) AwaitGroupEnd();
  return status_;
}

void ChildProcess::AwaitGroupEnd() {
  // Members the child left behind were handed to the system's reaper when it
  // ended; they are gone once that has collected them. Normally a matter of
  // a millisecond; a reaper that never collects is not waited for long.
  for (int i = 0; i < kGroupEndPolls; ++i) {
    if (::kill(-pid_, 0) != 0 && errno == ESRCH) return;
    ::usleep(kGroupEndPollMicroseconds);
  }
}

void ChildProcess::TerminateGroup(std::chrono::milliseconds grace) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reaped_) return;
    terminated_ = true;
    if (grace.count() > 0) ::kill(pid_, SIGTERM);
  }
  // A child that ends its own children and collects them on SIGTERM leaves
  // no orphan behind; give it a moment to do so.
  auto deadline = std::chrono::steady_clock::now() + grace;
  while (std::chrono::steady_clock::now() < deadline) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) break;
    if (info.si_pid == pid_) break;
    ::usleep(kGracePollMicroseconds);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (reaped_) return;
  if (ownGroup_)
    ::kill(-pid_, SIGKILL);
  else
    ::kill(pid_, SIGKILL);
}

void ChildProcess::Signal(int signal) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!reaped_) ::kill(pid_, signal);
}

bool ChildProcess::WasTerminated() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return terminated_;
}

}  // namespace mivora
