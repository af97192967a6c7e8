// The soundtrack's score: 118 bars of 4/4 at 120 beats a minute (236 s),
// written as notes on a grid of sixteenths (125 ms, the rows of the debug
// overlay's pattern display: 64 rows per 8-second pattern). The arrangement
// follows the timeline: sections change where scenes change, crashes land on
// the flashes, builds lead into the drops.
//
// The same notes give the music-sync records: one record per struck note
// of the drums, bass, lead, arpeggio, pad chords, crashes and risers, its
// time in sync units (0.96 per millisecond, so a sixteenth is 120 units).
#pragma once

#include <cstdint>
#include <vector>

namespace content {

enum Instrument : int {
  kKick = 0,
  kSnare = 1,
  kClosedHat = 2,
  kOpenHat = 3,
  kBass = 4,
  kLead = 5,
  kArp = 6,
  kPad = 7,
  kCrash = 8,
  kRiser = 9,
  kInstrumentCount = 10,
};

struct Note {
  int step = 0;    // sixteenth from the start
  int length = 1;  // in sixteenths
  Instrument instrument = kKick;
  int pitch = 0;  // MIDI note number (pitched instruments)
  double velocity = 1.0;
};

struct SyncRecord {
  int32_t time = 0;  // sync units
  uint8_t channel = 0;
};

constexpr int kStepsPerBar = 16;
constexpr int kBars = 118;
constexpr int kSongSteps = kBars * kStepsPerBar;
constexpr int kSyncRecords = 4232;
constexpr int kSyncUnitsPerStep = 120;  // 125 ms x 0.96

// Every note of the song, sorted by step, then instrument, then pitch.
std::vector<Note> ComposeScore();
// Exactly kSyncRecords records, sorted by time then channel. There are more
// struck notes than records: arpeggio notes, the densest and least
// important, are left out evenly spread until the count fits.
std::vector<SyncRecord> SyncRecords(const std::vector<Note> &notes);

}  // namespace content
