// The music file check: the headers the runtime reads itself (WAVE, AIFF,
// Ogg Vorbis and Opus, FLAC, MP3, MIDI), judged before a file reaches the
// music player, so that no damaged or absurd header gets to a decoder.
#pragma once

#include <string>

#include "files/read_channel.h"
#include "sound/internal/wave.h"

// The most channels a piece of music may have (rates: kWaveRateMin..kWaveRateMax).
constexpr int kMusicChannelsMax = 8;

// Reads the header of the file on the channel (from its start). True when
// the file is of none of the forms above (the player judges it alone) or
// its header is sound; false with a short reason otherwise (a file of fewer
// than four bytes is refused too). Reads a few
// chunk and block headers, never the samples.
bool CheckMusicHeader(ReadChannel& channel, std::string* reason);
