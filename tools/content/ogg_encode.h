// Ogg Vorbis encoding of the soundtrack with libvorbisenc: variable bit
// rate at a modest quality (the build runs it every time the generator
// changes), one logical stream with a fixed serial number, so the same
// samples always give the same bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/content/music_synth.h"

namespace content {

std::vector<uint8_t> EncodeOggVorbis(const StereoBuffer &audio, int rate, float quality);

}  // namespace content
