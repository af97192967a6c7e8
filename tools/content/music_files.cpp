// "emberfield.ogg" and "musicsync.dat", both from one score: the sync
// records are the struck notes the listener hears, so the debug overlay's
// flash bars and any picture keyed to them land on the beats.
#include "tools/content/generators.h"
#include "tools/content/music_score.h"
#include "tools/content/music_synth.h"
#include "tools/content/ogg_encode.h"

namespace content {

namespace {

constexpr float kVorbisQuality = 0.3f;

Bytes PackSync(const std::vector<SyncRecord> &records) {
  Bytes out;
  out.reserve(records.size() * 5);
  for (const SyncRecord &r : records) {
    uint32_t t = static_cast<uint32_t>(r.time);
    for (int k = 0; k < 4; ++k) {
      out.push_back(static_cast<uint8_t>(t >> (8 * k)));
    }
    out.push_back(r.channel);
  }
  return out;
}

}  // namespace

ContentSet MusicFiles() {
  std::vector<Note> score = ComposeScore();
  ContentSet s;
  s.Add("musicsync.dat", PackSync(SyncRecords(score)));
  s.Add("emberfield.ogg", EncodeOggVorbis(RenderSong(score), kSampleRate, kVorbisQuality));
  return s;
}

}  // namespace content
