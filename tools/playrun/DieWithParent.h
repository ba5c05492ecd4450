#pragma once
// Makes this process end, with its whole process group, when the program
// that started it ends. The starter puts its pid into the environment as
// kParentPidVariable; when the starter has died before this process could
// ask to be told, DieWithParent reports it (the start-up race). The system
// signals when the starting *thread* ends, so the starter keeps that thread
// alive while the player runs (the preview library's player thread waits for
// the player's end).

namespace mivora::playrun {

constexpr const char* kParentPidVariable = "MIVORA_PARENT_PID";

// Asks for SIGTERM at the parent's death and ends the process group on
// SIGTERM. False when the parent named in the environment is already gone.
bool DieWithParent();

}  // namespace mivora::playrun
