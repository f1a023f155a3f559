// The music file check: the file read the way the player's decoder for its
// form will read it (WAVE, AIFF, Ogg Vorbis and Opus, FLAC, MP3, MIDI,
// tracker modules), judged before the player sees it, so that no damaged or
// absurd header gets to a decoder; the check also names the form the player
// is to open the file as.
#pragma once

#include <string>

#include "files/read_channel.h"
#include "platform/audio.h"
#include "sound/internal/wave.h"

// The most channels a piece of music may have (rates: kWaveRateMin..kWaveRateMax).
constexpr int kMusicChannelsMax = 8;

// Reads the file on the channel (from its start). True with the form in
// *format when the file is of one of the forms above and sound as its
// decoder reads it; false with a short reason otherwise. Content of no form
// the check knows is refused too ("unknown music format"), as is a file of
// fewer than four bytes: the player is never left to guess a form. Reads the
// chunk, block and tag headers (and the WAVE metadata chunks the player
// parses), never the samples.
bool CheckMusicHeader(ReadChannel& channel, platform::MusicFormat* format, std::string* reason);
