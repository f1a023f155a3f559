// The sound system's part in start-up, the frame loop and shutdown. This
// program plays no sound; the calls stay empty until the sound subsystem is
// built.
#include "sound/sound.h"

void CreateSoundSystem(platform::Window*) {}
void SetSoundWindow(platform::Window*) {}
void DestroySoundSystem() {}
void MediaLoopMaintenance() {}
void StopMovie() {}
