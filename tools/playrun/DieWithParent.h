#pragma once
// Makes the player end, with its whole process group, when the program that
// started it ends (platform/ParentDeath.h closes the start-up race). The
// system signals when the starting *thread* ends, so the starter keeps that
// thread alive while the player runs (the preview library's player thread
// waits for the player's end).

namespace mivora::playrun {

// Asks for SIGTERM at the parent's death and ends the process group on
// SIGTERM. False when the parent is already gone.
bool DieWithParent();

}  // namespace mivora::playrun
