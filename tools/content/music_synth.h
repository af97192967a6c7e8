// The synthesizer of the soundtrack: renders the score's notes into 44.1 kHz
// stereo, 236 s long. Drums are synthesized (pitched sine kick, noise snare
// and hats, crash), the bass is a filtered saw, the lead two detuned saws,
// the arpeggio an FM bell, the pads detuned saw chords; a plate-like reverb
// and a ping-pong delay give them space. Every voice draws its noise from a
// generator seeded by the note's index, so the output is the same on every
// run.
#pragma once

#include <vector>

#include "tools/content/music_score.h"

namespace content {

constexpr int kSampleRate = 44100;
constexpr int kSongSeconds = 236;
constexpr long kSongFrames = static_cast<long>(kSongSeconds) * kSampleRate;

struct StereoBuffer {
  std::vector<float> left, right;
};

// The whole song, samples in -1..1.
StereoBuffer RenderSong(const std::vector<Note> &notes);

// First sample of a sixteenth step.
long StepFrame(int step);

}  // namespace content
