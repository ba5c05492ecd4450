// Entry points the program's interface carries for a disc player that this
// library does not have: each answers "nothing" and does nothing.
#include "preview/Glimra.h"

extern "C" {

int DVD_Init(void) { return 0; }
void DVD_Stop(void) {}
int DVD_Seek(void) { return 0; }
void DVD_Pause(void) {}
void DVD_Release(void) {}
void DVD_Play(void) {}
void DVD_SetPaint_Callback(void) {}
int DVD_IsPlaying(void) { return 0; }
int DVD_IsPause(void) { return 0; }

}  // extern "C"
