// thread_parent LINGER_MS PROGRAM ARGS...: a stand-in for the desktop program
// being killed while it converts. PROGRAM is started from a second thread,
// as a batch starts its engines; once PROGRAM's last argument (its output
// file) has bytes, that thread ends without waiting for it, as the thread of
// a killed program ends before the rest of it; the process lingers LINGER_MS
// and then kills itself with SIGKILL. PROGRAM's process id goes to standard
// output.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/ChildProcess.h"

namespace {

bool HasBytes(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && info.st_size > 0;
}

void StartAndLeave(const std::vector<std::string>& argv) {
  auto child = mivora::ChildProcess::Start(argv, mivora::ChildOptions{});
  if (!child) std::_Exit(3);
  std::printf("%d\n", static_cast<int>(child->Pid()));
  std::fflush(stdout);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!HasBytes(argv.back()) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  child.release();  // not ended, not waited for: this thread just goes
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  int lingerMs = std::atoi(argv[1]);
  std::vector<std::string> program(argv + 2, argv + argc);
  std::thread starter(StartAndLeave, program);
  starter.join();
  std::this_thread::sleep_for(std::chrono::milliseconds(lingerMs));
  ::kill(::getpid(), SIGKILL);
  return 1;
}
