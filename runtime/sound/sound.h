// Sound: effects and music. Numbered sounds (4096 slots, up to four copies
// each) mixed on one output device, and the one media slot that music and
// movies share, with its loop deadline that the frame loop maintains.
#pragma once

#include <cstdint>

#include "core/basic_string.h"
#include "platform/platform.h"

constexpr int kSoundSlots = 4096;
constexpr int kSoundCopies = 4;
// Rate of the output device; every sound is converted to it when loaded, so
// it plays at its own rate and pitch.
constexpr int kSoundDeviceRate = 48000;

// Opens the output device (last step of start-up). False when there is none:
// then every sound and music operation does nothing.
bool CreateSoundDevice(platform::Window* window);
// The window the device belongs to changed (a new screen mode).
void BindSoundWindow(platform::Window* window);
// Empties every slot and the media slot and closes the device (shutdown).
void DestroySoundSystem();

void LoadSound(const char* file, int32_t number, int32_t copies);
void LoadSound(const BasicString& file, int32_t number, int32_t copies);
// The highest empty slot, -1 (and error 7) when none is.
int32_t FindFreeSound();
// Channel number (number * 256 + copy), -1 when no copy can play, 0 (and
// error 7) for a number outside the table.
int32_t PlaySound(int32_t number, double pan, double volume);
void StopChannel(int32_t channel);
void StopAllSounds();
int32_t ChannelPlaying(int32_t channel);

void PlayMusic(const char* file, int32_t loop);
void PlayMusic(const BasicString& file, int32_t loop);
void StopMusic();
void RestartMusic();
void SetMusicVolume(double volume);
int32_t MusicPlaying();
void PauseMusic(int32_t pause);

// Once per frame and while waiting: moves the loop deadline of looping
// music on when the clock has reached it.
void MediaLoopMaintenance();
// Closes whatever the media slot holds (music or a movie).
void StopMovie();
