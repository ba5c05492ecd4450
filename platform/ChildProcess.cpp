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

#include "platform/ParentDeath.h"

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

// The program's environment with this process's id as the child's expected
// parent (see ParentDeath.h) and the caller's `extra` "NAME=value" entries;
// an added entry replaces an inherited variable of the same name.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> added = extra;
  added.push_back(std::string(kParentPidVariable) + "=" + std::to_string(::getpid()));
  auto isReplaced = [&added](std::string_view entry) {
    for (const std::string& entryAdded : added) {
      size_t equals = entryAdded.find('=');
      if (equals != std::string::npos && entry.substr(0, equals + 1) == std::string_view(entryAdded).substr(0, equals + 1))
        return true;
    }
    return false;
  };
  std::vector<std::string> entries;
  for (char** entry = environ; entry && *entry; ++entry)
    if (!isReplaced(*entry)) entries.emplace_back(*entry);
  for (const std::string& entryAdded : added) {
    bool duplicate = false;  // the caller's own parent entry wins over ours
    for (const std::string& kept : entries)
      if (kept.substr(0, kept.find('=') + 1) == entryAdded.substr(0, entryAdded.find('=') + 1)) duplicate = true;
    if (!duplicate) entries.push_back(entryAdded);
  }
  return entries;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                  const ChildOptions& options,
                                                  std::string* error, int* errorNumber) {
  if (argv.empty() || argv[0].empty()) {
    if (error) *error = "no program given";
    if (errorNumber) *errorNumber = ENOENT;
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
  std::vector<std::string> environment = ChildEnvironment(options.environment);
  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  // glibc's posix_spawn reports a failed exec (missing file, no permission)
  // as its result, so a program that could not run is never mistaken for one
  // that ran and failed.
  pid_t pid = 0;
  int rc = options.searchPath
               ? posix_spawnp(&pid, args[0], &setup.actions, &setup.attributes, args.data(), envp.data())
               : posix_spawn(&pid, args[0], &setup.actions, &setup.attributes, args.data(), envp.data());
  if (rc != 0) {
    if (error) *error = "cannot start " + argv[0] + ": " + std::strerror(rc);
    if (errorNumber) *errorNumber = rc;
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
