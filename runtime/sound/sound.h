// Sound: effects and music. The start-up, frame and shutdown entry points
// the host calls; this program plays no sound yet, so they do nothing.
#pragma once

#include "platform/platform.h"

// Creates the sound device for the window (last step of start-up).
void CreateSoundSystem(platform::Window* window);
// The window the sound device belongs to changed (a new screen mode).
void SetSoundWindow(platform::Window* window);
void DestroySoundSystem();
// Once per frame and while waiting: restarts looping music and movies.
void MediaLoopMaintenance();
void StopMovie();
