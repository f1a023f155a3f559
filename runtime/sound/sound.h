// Sound: effects and music. Numbered sounds (4096 slots, up to four copies
// each) mixed on one output device, and the one media slot that music and
// movies share, with its loop deadline that the frame loop maintains. The
// device's start-up and shutdown and the host's side of the media slot are in
// sound/sound_media.h.
#pragma once

#include <cstdint>

#include "core/basic_string.h"

// Sound slots (numbered 0..kSoundSlots - 1) and the copies of one sound that can play at
// once.
constexpr int kSoundSlots = 4096;
constexpr int kSoundCopies = 4;
// Rate of the output device; every sound is converted to it when loaded, so
// it plays at its own rate and pitch.
constexpr int kSoundDeviceRate = 48000;

// Loads a WAVE file into slot number with copies (1..kSoundCopies) that can play at once.
// LastErrorCode 3 when the file cannot be read (or there is no device), 7 for a bad number.
void LoadSound(const char* file, int32_t number, int32_t copies);
void LoadSound(const BasicString& file, int32_t number, int32_t copies);
// The highest empty slot, -1 (and error 7) when none is.
int32_t FindFreeSound();
// Plays a copy of sound number, pan -1 (left) .. 1 (right), volume 0..1.
// Channel number (number * 256 + copy), -1 when no copy can play, 0 (and
// error 7) for a number outside the table.
int32_t PlaySound(int32_t number, double pan, double volume);
// Stops the copy a channel number names; a channel whose copy is past the slot's copies
// stops every copy of the sound.
void StopChannel(int32_t channel);
// Stops every copy of every sound.
void StopAllSounds();
// 1 while the copy a channel number names plays; 0 otherwise (error 7 for a bad number).
int32_t ChannelPlaying(int32_t channel);

// Plays a music file (through the file layer) in the media slot, replacing what it held;
// loop non-zero repeats it. LastErrorCode 3 when the file cannot be found.
void PlayMusic(const char* file, int32_t loop);
void PlayMusic(const BasicString& file, int32_t loop);
// Stops the music (or movie) and empties the media slot.
void StopMusic();
// Plays the music from its start again.
void RestartMusic();
// The music's volume, 0..1 (linear).
void SetMusicVolume(double volume);
// 1 while music (or a movie's sound) plays.
int32_t MusicPlaying();
// Non-zero pauses the music, 0 resumes it.
void PauseMusic(int32_t pause);
