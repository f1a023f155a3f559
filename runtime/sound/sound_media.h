// The sound system's side for the host: the output device's start-up and
// shutdown, the media slot's loop upkeep, and the slot's side for movies: a
// movie claims the slot and sends its sound through the output device, whose
// played frames are its clock.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// ---------------------------------------------------------------- device and loop

// Opens the output device (last step of start-up). False when there is none:
// then every sound and music operation does nothing.
bool CreateSoundDevice(platform::Window* window);
// The window the device belongs to changed (a new screen mode).
void BindSoundWindow(platform::Window* window);
// Empties every slot and the media slot and closes the device (shutdown).
void DestroySoundSystem();

// Once per frame and while waiting: moves the loop deadline of looping
// music on when the clock has reached it.
void MediaLoopMaintenance();
// Closes whatever the media slot holds (music or a movie).
void StopMovie();

// ---------------------------------------------------------------- movies

// False when start-up found no output device (movies then show pictures only).
bool SoundDeviceOpen();

// Closes whatever the media slot holds and makes it hold a movie whose sound
// has the given channels (1 or 2) and rate; without a device, or with
// channels 0, the movie has no sound. The music operations (stop, restart,
// volume, playing, pause) then act on the movie.
void OpenMovieSlot(int channels, int rate);
// True once after RestartMusic asked a movie to go back to its start; its
// queued sound is dropped and its sound clock starts again at 0.
bool TakeMovieRestart();
// Hands interleaved float samples of the movie's sound to the mixer.
void QueueMovieSound(const float* samples, int frames);
// Milliseconds of the movie's sound the device has played, -1 when the movie
// has no sound.
double MovieSoundPlayedMs();
// Device frames of the movie's sound converted but not yet played.
int64_t MovieSoundQueuedFrames();
// True while the media slot holds a movie and it has not been stopped.
bool MovieSlotOpen();
// True while the movie in the media slot is paused.
bool MovieSlotPaused();
// Marks the movie's pictures as ended: MusicPlaying reads 0 once its queued
// sound has played.
void EndMovieSlot();

// A second source the mixer adds after the effects (the movie's sound).
struct MediaMixSource {
  virtual void Mix(float* out, int count) = 0;

 protected:
  ~MediaMixSource() = default;
};
// Installs the second source (null: none).
void SetMediaMixSource(MediaMixSource* source);
