// The arrangement; see music_score.h. A section is a run of bars with one
// chord progression and a set of parts; the table below is the whole song.
#include "tools/content/music_score.h"

#include <algorithm>
#include <stdexcept>

namespace content {

namespace {

// Chord progressions, four bars each: root of the bass and the pad's notes.
struct Chord {
  int bass;
  int pad[3];
};
constexpr Chord kAm{45, {57, 60, 64}}, kF{41, {57, 60, 65}}, kC{48, {55, 60, 64}}, kG{43, {55, 59, 62}},
    kDm{50, {57, 62, 65}}, kE{40, {56, 59, 64}}, kEm{40, {55, 59, 64}};
enum Prog { kMain, kDark, kLift };
const Chord kProgs[3][4] = {{kAm, kF, kC, kG}, {kDm, kAm, kE, kAm}, {kF, kG, kEm, kAm}};

struct Motif {
  int step, length, pitch;
};
// Melodies of four bars over their progression.
const std::vector<Motif> kLeadA = {{0, 4, 76},  {4, 2, 74},  {6, 2, 72},  {8, 4, 69},  {12, 2, 72}, {14, 2, 76},
                                   {16, 4, 77}, {20, 2, 76}, {22, 2, 72}, {24, 6, 69}, {30, 2, 67}, {32, 2, 67},
                                   {34, 2, 72}, {36, 4, 76}, {40, 4, 79}, {44, 2, 76}, {46, 2, 74}, {48, 4, 74},
                                   {52, 2, 71}, {54, 2, 67}, {56, 6, 74}, {62, 2, 71}};
const std::vector<Motif> kLeadB = {{0, 2, 81},  {2, 2, 79},  {4, 2, 76},  {6, 2, 79},  {8, 3, 81},  {11, 1, 79},
                                   {12, 4, 76}, {16, 2, 77}, {18, 2, 76}, {20, 2, 72}, {22, 2, 76}, {24, 4, 77},
                                   {28, 4, 81}, {32, 2, 79}, {34, 2, 76}, {36, 2, 72}, {38, 2, 76}, {40, 3, 79},
                                   {43, 1, 76}, {44, 4, 72}, {48, 2, 74}, {50, 2, 71}, {52, 2, 67}, {54, 2, 71},
                                   {56, 4, 74}, {60, 4, 79}};
const std::vector<Motif> kLeadC = {{0, 6, 72},  {6, 2, 69},  {8, 4, 77},  {12, 4, 76}, {16, 6, 74}, {22, 2, 71},
                                   {24, 4, 79}, {28, 4, 74}, {32, 6, 71}, {38, 2, 67}, {40, 4, 76}, {44, 4, 79},
                                   {48, 8, 76}, {56, 4, 72}, {60, 4, 69}};

enum Kick { kNoKick, kHalfKick, kFourKick };
enum Hats { kNoHats, kEighthHats, kSixteenthHats };
enum Bass { kNoBass, kLongBass, kQuarterBass, kPulseBass, kGallopBass };
enum Arp { kNoArp, kEighthArp, kSixteenthArp };
enum Lead { kNoLead, kMelodyA, kMelodyB, kMelodyC };

struct Section {
  int first_bar, bars;
  Prog prog;
  Kick kick;
  bool snare;
  Hats hats;
  Bass bass;
  Arp arp;
  bool pad;
  Lead lead;
  int lead_from;  // first bar of the lead (absolute), the rest of the section
  Lead lead2;     // second melody from lead2_from on
  int lead2_from;
  double level;   // overall velocity of the section
};

// The song. Bars are 2 s: bar 4 is 8 s (scene 2), bar 30 is 60 s (scene 10)...
const Section kSections[] = {
    // first, bars, prog, kick, snare, hats, bass, arp, pad, lead, from, lead2, from, level
    {0, 4, kMain, kNoKick, false, kNoHats, kNoBass, kEighthArp, true, kNoLead, 0, kNoLead, 0, 0.7},      // logo
    {4, 4, kMain, kHalfKick, false, kNoHats, kQuarterBass, kEighthArp, true, kNoLead, 0, kNoLead, 0, 0.8},  // coin
    {8, 1, kMain, kFourKick, true, kEighthHats, kPulseBass, kSixteenthArp, true, kNoLead, 0, kNoLead, 0, 0.9},
    {9, 9, kMain, kFourKick, true, kEighthHats, kPulseBass, kSixteenthArp, true, kMelodyA, 10, kNoLead, 0, 0.9},  // pages
    {18, 2, kMain, kFourKick, true, kEighthHats, kPulseBass, kSixteenthArp, true, kMelodyA, 18, kNoLead, 0, 0.95},  // deck
    {20, 4, kLift, kNoKick, false, kSixteenthHats, kLongBass, kSixteenthArp, true, kNoLead, 0, kNoLead, 0, 0.7},  // lines
    {24, 4, kMain, kFourKick, true, kSixteenthHats, kPulseBass, kEighthArp, true, kMelodyB, 24, kNoLead, 0, 0.95},  // wall
    {28, 2, kMain, kFourKick, false, kEighthHats, kPulseBass, kNoArp, true, kNoLead, 0, kNoLead, 0, 0.9},  // logo, build
    {30, 10, kMain, kFourKick, true, kEighthHats, kPulseBass, kSixteenthArp, true, kMelodyA, 30, kMelodyB, 38, 1.0},  // torus
    {40, 4, kDark, kFourKick, true, kSixteenthHats, kGallopBass, kSixteenthArp, true, kNoLead, 0, kNoLead, 0, 1.0},  // monster
    {44, 12, kMain, kFourKick, true, kEighthHats, kPulseBass, kSixteenthArp, true, kMelodyB, 44, kMelodyA, 52, 0.95},  // voxels
    {56, 4, kLift, kNoKick, false, kNoHats, kLongBass, kEighthArp, true, kNoLead, 0, kNoLead, 0, 0.75},  // swarm
    {60, 16, kMain, kFourKick, true, kSixteenthHats, kPulseBass, kSixteenthArp, true, kMelodyA, 60, kMelodyB, 68, 1.0},  // flares
    {76, 16, kLift, kFourKick, true, kEighthHats, kPulseBass, kSixteenthArp, true, kMelodyC, 76, kNoLead, 0, 1.0},  // tunnel
    {92, 4, kMain, kNoKick, false, kNoHats, kNoBass, kEighthArp, true, kNoLead, 0, kNoLead, 0, 0.7},  // closing screen
    {96, 18, kMain, kFourKick, false, kEighthHats, kQuarterBass, kEighthArp, true, kMelodyA, 104, kNoLead, 0, 0.75},  // credits
    {114, 4, kMain, kNoKick, false, kNoHats, kNoBass, kEighthArp, true, kNoLead, 0, kNoLead, 0, 0.6},  // the end
};

// Crashes on the flashes and section starts (bars), and risers (first bar,
// length in bars) leading into drops.
const int kCrashBars[] = {8, 24, 28, 30, 32, 42, 60, 64, 68, 72, 76, 84, 96};
const int kRisers[][2] = {{2, 2}, {18, 2}, {28, 2}, {54, 2}, {58, 2}, {90, 2}};
// Snare rolls (bar, density: 2 eighths, 4 sixteenths) and fills (last half bar).
const int kRolls[][2] = {{28, 2}, {29, 4}, {55, 4}, {59, 4}, {75, 2}};
const int kFills[] = {19, 39, 43, 91};

void Add(std::vector<Note> &out, int step, int length, Instrument ins, int pitch, double vel) {
  out.push_back(Note{step, length, ins, pitch, vel});
}

void Section(std::vector<Note> &out, const struct Section &s) {
  for (int b = s.first_bar; b < s.first_bar + s.bars; ++b) {
    const int bar_step = b * kStepsPerBar;
    const int pos = (b - s.first_bar) % 4;
    const Chord &ch = kProgs[s.prog][pos];
    const double lv = s.level;
    if (s.pad) {
      for (int p : ch.pad) {
        Add(out, bar_step, kStepsPerBar, kPad, p, 0.8 * lv);
      }
    }
    for (int i = 0; i < kStepsPerBar; ++i) {
      int st = bar_step + i;
      bool beat = i % 4 == 0;
      if ((s.kick == kFourKick && beat) || (s.kick == kHalfKick && i % 8 == 0)) {
        Add(out, st, 2, kKick, 0, lv);
      }
      if (s.snare && (i == 4 || i == 12)) {
        Add(out, st, 2, kSnare, 0, 0.9 * lv);
      }
      if (s.hats == kEighthHats && i % 2 == 0) {
        Add(out, st, 1, i == 14 ? kOpenHat : kClosedHat, 0, (i % 4 == 2 ? 0.8 : 0.45) * lv);
      } else if (s.hats == kSixteenthHats) {
        Add(out, st, 1, i == 14 ? kOpenHat : kClosedHat, 0, (i % 4 == 2 ? 0.75 : (i % 2 == 0 ? 0.5 : 0.3)) * lv);
      }
      switch (s.bass) {
        case kLongBass:
          if (i == 0) Add(out, st, 16, kBass, ch.bass, 0.8 * lv);
          break;
        case kQuarterBass:
          if (beat) Add(out, st, 3, kBass, ch.bass, 0.85 * lv);
          break;
        case kPulseBass:
          if (i % 2 == 0) Add(out, st, 2, kBass, ch.bass + ((i == 6 || i == 14) ? 12 : 0), (beat ? 0.95 : 0.75) * lv);
          break;
        case kGallopBass:
          if (i % 4 != 1) Add(out, st, 1, kBass, ch.bass - 12, (beat ? 1.0 : 0.7) * lv);
          break;
        case kNoBass:
          break;
      }
      if (s.arp != kNoArp && (s.arp == kSixteenthArp || i % 2 == 0)) {
        static const int order[6] = {0, 1, 2, 3, 2, 1};
        int n = s.arp == kSixteenthArp ? i : i / 2;
        int k = order[n % 6];
        int pitch = k == 3 ? ch.pad[0] + 24 : ch.pad[k] + 12;
        Add(out, st, 2, kArp, pitch, (i % 4 == 0 ? 0.8 : 0.55) * lv);
      }
    }
    Lead lead = (s.lead2 != kNoLead && b >= s.lead2_from) ? s.lead2 : (b >= s.lead_from ? s.lead : kNoLead);
    if (lead != kNoLead) {
      const std::vector<Motif> &m = lead == kMelodyA ? kLeadA : (lead == kMelodyB ? kLeadB : kLeadC);
      for (const Motif &n : m) {
        if (n.step / kStepsPerBar == pos) {
          Add(out, bar_step + n.step % kStepsPerBar, n.length, kLead, n.pitch, 0.85 * lv);
        }
      }
    }
  }
}

}  // namespace

std::vector<Note> ComposeScore() {
  std::vector<Note> notes;
  int expected_bar = 0;
  for (const struct Section &s : kSections) {
    if (s.first_bar != expected_bar) {
      throw std::logic_error("song sections leave a gap");
    }
    Section(notes, s);
    expected_bar += s.bars;
  }
  if (expected_bar != kBars) {
    throw std::logic_error("song length is not 118 bars");
  }
  for (int b : kCrashBars) {
    Add(notes, b * kStepsPerBar, 32, kCrash, 0, 1.0);
  }
  for (const auto &r : kRisers) {
    Add(notes, r[0] * kStepsPerBar, r[1] * kStepsPerBar, kRiser, 0, 1.0);
  }
  for (const auto &r : kRolls) {
    int every = 4 / r[1];
    for (int i = 0; i < kStepsPerBar; i += every) {
      Add(notes, r[0] * kStepsPerBar + i, 1, kSnare, 0, 0.35 + 0.6 * i / kStepsPerBar);
    }
  }
  for (int b : kFills) {
    for (int i = 8; i < kStepsPerBar; ++i) {
      if (i != 12) {  // the back beat is there already
        Add(notes, b * kStepsPerBar + i, 1, kSnare, 0, 0.4 + 0.5 * (i - 8) / 8.0);
      }
    }
  }
  std::stable_sort(notes.begin(), notes.end(), [](const Note &a, const Note &b) {
    if (a.step != b.step) return a.step < b.step;
    if (a.instrument != b.instrument) return a.instrument < b.instrument;
    return a.pitch < b.pitch;
  });
  return notes;
}

std::vector<SyncRecord> SyncRecords(const std::vector<Note> &notes) {
  std::vector<SyncRecord> all, arps;
  for (const Note &n : notes) {
    // A pad chord is one event, not three.
    if (n.instrument == kPad && !all.empty() && all.back().channel == kPad &&
        all.back().time == n.step * kSyncUnitsPerStep) {
      continue;
    }
    SyncRecord r{n.step * kSyncUnitsPerStep, static_cast<uint8_t>(n.instrument)};
    (n.instrument == kArp ? arps : all).push_back(r);
  }
  if (all.size() > static_cast<size_t>(kSyncRecords) || all.size() + arps.size() < static_cast<size_t>(kSyncRecords)) {
    throw std::logic_error("the score cannot give exactly 4232 sync records");
  }
  // Keep arpeggio records evenly spread over the song.
  size_t keep = kSyncRecords - all.size();
  for (size_t i = 0; i < keep; ++i) {
    all.push_back(arps[i * arps.size() / keep]);
  }
  std::stable_sort(all.begin(), all.end(), [](const SyncRecord &a, const SyncRecord &b) {
    return a.time != b.time ? a.time < b.time : a.channel < b.channel;
  });
  return all;
}

}  // namespace content
