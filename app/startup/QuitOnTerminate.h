#pragma once
// SIGTERM, SIGINT and SIGHUP (the session ending, a terminal's Ctrl+C or
// hang-up) end the program through its event loop without asking: the
// windows are destroyed, a running batch is stopped with its unfinished file
// removed, and the door for later starts is taken down.

namespace mivora {

// Call once, with the application object made.
void QuitOnTerminate();
// A signal came: an event loop started after it (the main one after a modal
// question at start-up) must not run.
bool TerminateRequested();

}  // namespace mivora
