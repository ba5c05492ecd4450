// Starting the player process and waiting for it: the player thread's work.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QMetaObject>

#include <cerrno>
#include <cstdio>
#include <strings.h>
#include <thread>

#include "common/Folders.h"
#include "common/Log.h"
#include "platform/ChildProcess.h"
#include "preview/PlayStatic.h"
#include "preview/PlayerRun.h"

namespace mivora {
namespace {

constexpr std::chrono::milliseconds kWaitStep{100};
// How long the player gets to end on SIGTERM before its group is killed.
constexpr std::chrono::milliseconds kStopGrace{200};

bool HasEnded(pid_t pid) {
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return true;
  return info.si_pid == pid;
}

// The reason a program cannot be started, as a system error code.
int StartErrorCode(const std::string& path) {
  if (::access(path.c_str(), X_OK) != 0) return errno;
  return 0;
}

}  // namespace

std::string CPlayStatic::PlayerPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&CPlayStatic::PtsOffsetFor), &info) != 0 &&
      info.dli_fname != nullptr) {
    std::string_view folder = FolderOf(info.dli_fname);
    if (!folder.empty()) return std::string(folder) + "/playrun";
  }
  return ProgramFolderSlash() + "playrun";
}

int CPlayStatic::PtsOffsetFor(const std::string& mediaPath) {
  return mediaPath.size() >= 4 && strcasecmp(mediaPath.c_str() + mediaPath.size() - 4, ".flv") == 0
             ? 1000
             : 0;
}

int CPlayStatic::PlayerLaunch(const std::string& playerPath, const std::string& mediaPath,
                              const std::atomic<int>& stopRequest, uint32_t windowEndpoint,
                              int width, int height, const std::string& blockName,
                              std::atomic<int>* playerPid, int frameLimit) {
  MLOG("Enter: CPlayStatic::PlayerLaunch");
  const int ptsOffset = PtsOffsetFor(mediaPath);
  MLOG("CPlayStatic::PlayerLaunch, command: %s  -framedrop 0 -capyuv 1 -hwnd %u -shmem %s -x %d -y %d "
       "-ptsoffset %d  \"%s\" ",
       playerPath.c_str(), windowEndpoint, blockName.c_str(), width, height, ptsOffset,
       mediaPath.c_str());
  std::vector<std::string> argv = {
      playerPath, "-framedrop", "0", "-capyuv", "1", "-hwnd", std::to_string(windowEndpoint),
      "-shmem", blockName, "-x", std::to_string(width), "-y", std::to_string(height),
      "-ptsoffset", std::to_string(ptsOffset)};
  if (frameLimit > 0) argv.insert(argv.end(), {"-frames", std::to_string(frameLimit)});
  argv.push_back(mediaPath);
  ChildOptions options;
  options.stdio.output = 1;
  options.stdio.error = 2;
  // The player ends with this process: ChildProcess hands it this process's
  // id, so it notices a death that came before it could ask to be told.
  std::string error;
  std::unique_ptr<ChildProcess> player = ChildProcess::Start(argv, options, &error);
  if (!player) {
    std::printf("Lanuch process failed error=%d\n", StartErrorCode(playerPath));
    std::fflush(stdout);
    MLOG("Leave: CPlayStatic::PlayerLaunch, %s", error.c_str());
    return kPlayerNotStarted;
  }
  if (playerPid) *playerPid = player->Pid();
  bool stopped = false;
  while (!HasEnded(player->Pid())) {
    std::this_thread::sleep_for(kWaitStep);
    if (stopRequest.load() != 0 && !HasEnded(player->Pid())) {
      player->TerminateGroup(kStopGrace);
      stopped = true;
      break;
    }
  }
  int status = player->Wait();
  if (playerPid) *playerPid = 0;
  MLOG("Leave: CPlayStatic::PlayerLaunch, exit status %d%s", status, stopped ? ", stopped" : "");
  return stopped ? kPlayerStopped : kPlayerEnded;
}

int CPlayStatic::PlayContext(const std::shared_ptr<PlayerRun>& run) {
  int result = PlayerLaunch(run->playerPath, run->mediaPath, run->stopRequest, run->endpoint,
                            run->width, run->height, run->blockName, &run->playerPid, run->frameLimit);
  {
    std::lock_guard<std::mutex> lock(run->mutex);
    run->done = true;
    run->result = result;
    // Queued to the window's thread; dropped by Qt if the window is gone by then.
    if (run->window != nullptr)
      QMetaObject::invokeMethod(
          run->window, [window = run->window, run] { window->OnRunEnded(run); },
          Qt::QueuedConnection);
  }
  run->ended.notify_all();
  return 0;
}

}  // namespace mivora
