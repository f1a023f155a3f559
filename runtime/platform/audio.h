// The audio seam: one output device, sample-format conversion and a streamed
// music player (implemented in sdl_audio.cpp over SDL2 and SDL2_mixer).
//
// The device plays interleaved float stereo at its own rate. The music
// player writes its block first; then the mix function the sound layer
// registered adds whatever else plays (effects, a movie's sound) on the audio
// thread. Everything the main thread changes that the mix function reads is
// changed between LockAudio and UnlockAudio.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Adds count stereo frames into frames (the music block is already there).
using AudioMixFunction = void (*)(float* frames, int count, void* user);

// Opens the default device (the one SDL_AUDIODRIVER picks) at the given rate.
// False when there is no usable device; nothing is left open then.
bool OpenAudio(int rate, AudioMixFunction mix, void* user);
// Why the last OpenAudio failed (the audio library's own words), empty after
// one that succeeded. The audio libraries beneath write nothing to standard
// error (ALSA's messages are dropped).
std::string AudioOpenFailure();
// Stops and closes the device and the music player; the audio subsystem is
// shut down, so the next OpenAudio reads SDL_AUDIODRIVER again.
void CloseAudio();
bool AudioIsOpen();
int AudioRate();  // frames per second of the open device, 0 when closed
// Holds the audio thread between two blocks (recursive).
void LockAudio();
void UnlockAudio();

// PCM (8-bit unsigned or 16-bit signed little-endian, 1 or 2 channels, any
// rate) as float stereo frames at the open device's rate, appended to out.
// False when the format is not one of those or no device is open.
bool ConvertPcmToDevice(const uint8_t* data, uint64_t bytes, int bits, int channels, int rate,
                        std::vector<float>* out);
// How a conversion between two rates is made. kTable is the runtime's own
// windowed-sinc filter, for rate pairs whose ratio takes at most 1024
// filter phases and sounds of more than a few filter lengths; kGeneral is
// FFmpeg's resampler, which takes any pair; kAuto picks kTable where it
// applies, as ConvertPcmToDevice does. The table filter is FFmpeg's own
// design (a Kaiser-windowed sinc of 32 taps at the lower of the two rates,
// cutoff 0.97, the sound mirrored at both ends), so both give the same
// samples to well within one 16-bit step. A long sound's table conversion
// is shared among the processor's threads for the length of the call, with
// the same samples as on one.
enum class PcmResampler { kAuto, kTable, kGeneral };
// ConvertPcmToDevice to an explicit rate; false also for kTable where the
// table filter does not apply.
bool ConvertPcm(const uint8_t* data, uint64_t bytes, int bits, int channels, int rate, int toRate,
                PcmResampler how, std::vector<float>* out);
// A converter for a stream of float PCM (1 or 2 channels at any rate) to the
// device's stereo frames; used for a movie's sound.
struct PcmConverter;
PcmConverter* CreatePcmConverter(int channels, int rate);
void DestroyPcmConverter(PcmConverter* converter);
bool PutPcm(PcmConverter* converter, const float* samples, int frames);
// Frames converted so far that can be taken; takes up to maximum of them.
int TakePcm(PcmConverter* converter, float* frames, int maximum);
// Frames converted and not yet taken.
int64_t PcmAvailable(PcmConverter* converter);

// ---------------------------------------------------------------- music
// One piece at a time, decoded while it plays.

// The forms a piece is opened as. The caller names the form; the player
// never guesses it from the file's name or its first bytes.
enum class MusicFormat {
  kWave,       // RIFF WAVE and AIFF (one decoder reads both)
  kOggVorbis,
  kOpus,
  kFlac,
  kMp3,
  kMidi,
  kModule,     // tracker modules (MOD, S3M, XM, IT)
};

struct MusicPiece;
// From a file, read while it plays, as the given form.
MusicPiece* OpenMusicFile(const char* path, MusicFormat format);
// From bytes, which are copied (the piece keeps its own copy).
MusicPiece* OpenMusicBytes(const uint8_t* bytes, uint64_t size, MusicFormat format);
void FreeMusicPiece(MusicPiece* piece);  // stops it first when it plays
// Length in milliseconds, -1 when the decoder cannot tell.
double MusicPieceLength(MusicPiece* piece);
// Plays from the start, once or looping without a gap (the decoder goes back
// to the start inside the block that reaches the end).
bool PlayMusicPiece(MusicPiece* piece, bool loop);
void HaltMusic();
void PauseMusicOutput(bool pause);
// True while a piece is started and not at its end (paused counts).
bool MusicOutputActive();
// Linear gain applied to the music block before the mix function runs.
void SetMusicGain(float gain);

}  // namespace platform
