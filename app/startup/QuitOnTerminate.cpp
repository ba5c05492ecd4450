#include "app/startup/QuitOnTerminate.h"

#include <fcntl.h>
#include <cerrno>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include "common/Log.h"

namespace mivora {

namespace {

// Written by the signal handler, read on the event loop's thread.
int g_signalPipe[2] = {-1, -1};
bool g_terminateRequested = false;  // the event loop's thread only

void OnSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  [[maybe_unused]] const ssize_t written = write(g_signalPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

void QuitOnTerminate() {
  if (g_signalPipe[0] >= 0) return;
  if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    MLOG("QuitOnTerminate, no signal pipe; signals end the program at once");
    return;
  }
  auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [] {
    char byte = 0;
    while (read(g_signalPipe[0], &byte, 1) == 1) MLOG("QuitOnTerminate, signal %d: ending", byte);
    g_terminateRequested = true;
    // Not quit(): that asks each window to close, and the main window asks
    // the user, who may not be there any more.
    QCoreApplication::exit(0);
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
}

bool TerminateRequested() { return g_terminateRequested; }

}  // namespace mivora
