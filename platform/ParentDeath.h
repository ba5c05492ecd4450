#pragma once
// Helper programs that must not outlive the program that started them (the
// engine adapter, the player) ask the system to signal them when their parent
// ends. The parent's process id travels in the environment, so that a parent
// that ended before the child could ask is noticed too: the child then
// already belongs to another parent (the system's reaper).

#include <sys/types.h>

namespace mivora {

// The variable ChildProcess::Start sets in every child's environment to the
// starting process's id.
inline constexpr const char* kParentPidVariable = "MIVORA_PARENT_PID";

// Asks for `signal` when the parent ends. Returns false when the parent has
// ended already (the caller should end at once). Without the variable (a
// program started by hand) the parent at the time of the call is taken.
// Note that the system sends the signal when the parent *thread* that started
// this process ends; the program's runners wait for their children on the
// thread that started them.
bool DieWithParent(int signal);

// True once the parent recorded by DieWithParent has ended: all of it (a
// process descriptor tells), or it is no longer this process's parent.
bool ParentHasEnded();

}  // namespace mivora
