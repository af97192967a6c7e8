// Music handles: creation, the fill and its seeks, the player thread, and
// what the wave driver heard.
#include <AL/al.h>
#include <AL/alc.h>

#include "sound_fixture.h"

// libvorbisenc 1.3.7 loses one block when it sets up a 5.1 encoder; the
// test makes such a file, so the leak checker is told to let it pass.
extern "C" const char *__lsan_default_suppressions() { return "leak:vorbis_encode_setup_init\n"; }

namespace {

using sound_test::Bytes;
using sound_test::SoundTest;
using sound_test::WaitFor;

class MusicTest : public SoundTest {
protected:
  void SetUp() override {
    SoundTest::SetUp();
    ASSERT_EQ(QSS_Init(515), 0);
  }

  static ALint SourceInt(QSS_Music_p music, ALenum what) {
    ALint value = -1;
    alGetSourcei(music->source, what, &value);
    return value;
  }
  static ALint BufferInt(ALuint buffer, ALenum what) {
    ALint value = -1;
    alGetBufferi(buffer, what, &value);
    return value;
  }

  // The handle's OpenAL names, to look at after the handle is gone.
  struct Names {
    ALuint buffers[QSS_MUSIC_BUFFERS];
    ALuint source;
  };
  static Names NamesOf(QSS_Music_p music) {
    Names names;
    std::copy(music->buffers, music->buffers + QSS_MUSIC_BUFFERS, names.buffers);
    names.source = music->source;
    return names;
  }
  static void ExpectDeleted(const Names &names) {
    for (ALuint b : names.buffers) EXPECT_FALSE(alIsBuffer(b)) << "buffer " << b;
    EXPECT_FALSE(alIsSource(names.source));
  }
};

TEST_F(MusicTest, NewMusicBuildsAStereoOrMonoHandle) {
  const std::string stereo_path = WriteTone("stereo.ogg", 2, 44100, 0.5);
  const std::string mono_path = WriteTone("mono.ogg", 1, 22050, 0.5);
  const size_t live = SYS_MemLiveCount();

  QSS_Music_p stereo = QSS_NewMusic(0, stereo_path.c_str(), 0);
  ASSERT_NE(stereo, nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 0);
  EXPECT_STREQ(stereo->name, stereo_path.c_str());
  EXPECT_EQ(stereo->format, AL_FORMAT_STEREO16);
  EXPECT_EQ(stereo->type, QSS_MUSIC_OGG);
  EXPECT_EQ(QSS_GetMusicState(stereo), QSS_MUSIC_STOPPED);
  EXPECT_EQ(stereo->player_thread, nullptr);
  EXPECT_TRUE(alIsSource(stereo->source));
  for (ALuint b : stereo->buffers) EXPECT_TRUE(alIsBuffer(b));
  EXPECT_EQ(SourceInt(stereo, AL_SOURCE_STATE), AL_INITIAL);

  QSS_Music_p mono = QSS_NewMusic(0, mono_path.c_str(), 0);
  ASSERT_NE(mono, nullptr);
  EXPECT_EQ(mono->format, AL_FORMAT_MONO16);

  const Names names = NamesOf(stereo);
  EXPECT_EQ(QSS_FreeMusic(stereo), 0);
  EXPECT_EQ(QSS_FreeMusic(mono), 0);
  ExpectDeleted(names);
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

TEST_F(MusicTest, RefusedHandlesLeaveNothingBehind) {
  const std::string path = WriteTone("six.ogg", 6, 44100, 0.2);
  const std::string good = WriteTone("good.ogg", 2, 44100, 0.2);
  const size_t live = SYS_MemLiveCount();

  EXPECT_EQ(QSS_NewMusic(1, good.c_str(), 0), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(QSS_NewMusic(0, nullptr, 0), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);

  EXPECT_EQ(QSS_NewMusic(0, path.c_str(), 0), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_NE(Log().find("[qss][music] [QSS_NewMusic] too many channels (6)...\n"), std::string::npos);

  EXPECT_EQ(QSS_NewMusic(0, dir_.str("absent.ogg").c_str(), 0), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 1);  // the stream's own code

  // Stream, file and handle of every refusal are all released.
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

TEST_F(MusicTest, WithoutAContextNoHandleIsMade) {
  const std::string path = WriteTone("t.ogg", 2, 44100, 0.2);
  QSS_Shutdown();
  const size_t live = SYS_MemLiveCount();
  EXPECT_EQ(QSS_NewMusic(0, path.c_str(), 0), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 5);
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

TEST_F(MusicTest, NullHandleFailsEverywhereWithCode10) {
  const std::function<int32_t()> calls[] = {
      [] { return QSS_FreeMusic(nullptr); },     [] { return QSS_PlayMusic(nullptr); },
      [] { return QSS_StopMusic(nullptr); },     [] { return QSS_PauseMusic(nullptr); },
      [] { return QSS_SetMusicPos(nullptr, 10); }, [] { return QSS_GetMusicTime(nullptr); },
  };
  for (const auto &call : calls) {
    EXPECT_EQ(call(), -1);
    EXPECT_EQ(SYS_ErrorGet(), 10);
  }
}

// The fill driven by hand on the main thread: no player, no timing.
class MusicFillTest : public MusicTest {
protected:
  void SetUp() override {
    MusicTest::SetUp();
    music_ = QSS_NewMusic(0, WriteTone("fill.ogg", 2, 44100, 3.0).c_str(), 0);
    ASSERT_NE(music_, nullptr);
  }
  void TearDown() override {
    if (music_) QSS_FreeMusic(music_);
    MusicTest::TearDown();
  }
  int32_t Fill() { return music_->fill(music_, music_->buffers[0]); }

  QSS_Music_p music_ = nullptr;
};

TEST_F(MusicFillTest, EachFillHandsOneFullBufferToOpenAL) {
  EXPECT_EQ(Fill(), 8192);
  EXPECT_EQ(BufferInt(music_->buffers[0], AL_SIZE), 8192);
  EXPECT_EQ(BufferInt(music_->buffers[0], AL_FREQUENCY), 44100);
  EXPECT_EQ(BufferInt(music_->buffers[0], AL_CHANNELS), 2);
  EXPECT_EQ(QSS_GetMusicPos(music_), 8192);

  // To the end: whole buffers, one partial, then nothing.
  int32_t total = 8192;
  int32_t last = 0;
  for (int32_t got; (got = Fill()) > 0; last = got) total += got;
  EXPECT_EQ(total, 3 * 176400);
  EXPECT_EQ(last, 3 * 176400 % 8192);
  EXPECT_EQ(Fill(), 0);
  EXPECT_EQ(QSS_GetMusicTime(music_), 3000);
}

TEST_F(MusicFillTest, PostedSeeksApplyAtTheNextFill) {
  Fill();
  Fill();
  ASSERT_EQ(QSS_GetMusicPos(music_), 16384);

  // 0 means no request.
  EXPECT_EQ(QSS_SetMusicPos(music_, 0), 0);
  Fill();
  EXPECT_EQ(QSS_GetMusicPos(music_), 24576);

  // Byte 10 is how the beginning is asked for: frame 2, then one buffer.
  QSS_SetMusicPos(music_, 10);
  EXPECT_EQ(QSS_GetMusicPos(music_), 24576);  // nothing moves before the fill
  Fill();
  EXPECT_EQ(QSS_GetMusicPos(music_), 8 + 8192);
  EXPECT_EQ(music_->pending_byte_seek.load(), 0);

  QSS_SetMusicTime(music_, 1500);
  Fill();
  EXPECT_EQ(QSS_GetMusicPos(music_), 66150 * 4 + 8192);
  EXPECT_EQ(QSS_GetMusicTime(music_), 1500 + 8192 * 1000 / 176400);
  EXPECT_EQ(music_->pending_time_seek.load(), 0);

  // Both posted before one fill: the byte seek first, then the time seek.
  QSS_SetMusicTime(music_, 2000);
  QSS_SetMusicPos(music_, 40000);
  Fill();
  EXPECT_EQ(QSS_GetMusicPos(music_), 88200 * 4 + 8192);
}

TEST_F(MusicTest, PlayerKeepsFourFullBuffersQueuedAndObeysTheControls) {
  QSS_Music_p music = QSS_NewMusic(0, WriteTone("long.ogg", 2, 44100, 5.0).c_str(), 0);
  ASSERT_NE(music, nullptr);
  const Names names = NamesOf(music);

  ASSERT_EQ(QSS_PlayMusic(music), 0);
  EXPECT_EQ(QSS_GetMusicState(music), QSS_MUSIC_STARTED);
  SYS_Thread_p player = music->player_thread;
  ASSERT_NE(player, nullptr);
  ASSERT_TRUE(WaitFor([&] { return SourceInt(music, AL_SOURCE_STATE) == AL_PLAYING; }, 2000));

  // Half a second is more than the four buffers hold: all of them have been
  // refilled by now, and every refill was a whole one.
  SYS_Sleep(500);
  EXPECT_EQ(SourceInt(music, AL_SOURCE_STATE), AL_PLAYING);
  EXPECT_EQ(SourceInt(music, AL_BUFFERS_QUEUED), 4);
  EXPECT_GT(QSS_GetMusicPos(music), 4 * 8192 + 8192 * 4);
  for (ALuint b : music->buffers) EXPECT_EQ(BufferInt(b, AL_SIZE), 8192);

  // Playing again changes nothing.
  EXPECT_EQ(QSS_PlayMusic(music), 0);
  EXPECT_EQ(music->player_thread, player);
  EXPECT_EQ(SourceInt(music, AL_SOURCE_STATE), AL_PLAYING);

  // Pause holds the source; the decoder stops once the queue is full again.
  EXPECT_EQ(QSS_PauseMusic(music), 0);
  EXPECT_EQ(QSS_GetMusicState(music), QSS_MUSIC_PAUSED);
  EXPECT_EQ(SourceInt(music, AL_SOURCE_STATE), AL_PAUSED);
  ASSERT_TRUE(WaitFor(
      [&] { return SourceInt(music, AL_BUFFERS_PROCESSED) == 0 && SourceInt(music, AL_BUFFERS_QUEUED) == 4; },
      1000));
  const int32_t held = QSS_GetMusicPos(music);
  SYS_Sleep(150);
  EXPECT_EQ(QSS_GetMusicPos(music), held);

  // Play resumes without a new player; a second pause toggles back.
  EXPECT_EQ(QSS_PlayMusic(music), 0);
  EXPECT_EQ(music->player_thread, player);
  EXPECT_EQ(SourceInt(music, AL_SOURCE_STATE), AL_PLAYING);
  QSS_PauseMusic(music);
  QSS_PauseMusic(music);
  EXPECT_EQ(SourceInt(music, AL_SOURCE_STATE), AL_PLAYING);

  // A time seek posted while playing is reached within a few passes.
  QSS_SetMusicTime(music, 4000);
  EXPECT_TRUE(WaitFor([&] { return QSS_GetMusicTime(music) >= 4000; }, 1000));

  EXPECT_EQ(QSS_StopMusic(music), 0);
  EXPECT_EQ(QSS_GetMusicState(music), QSS_MUSIC_STOPPED);
  EXPECT_EQ(music->player_thread, nullptr);
  EXPECT_EQ(SourceInt(music, AL_SOURCE_STATE), AL_STOPPED);

  // Freeing right after stopping: the inner stop finds no thread.
  EXPECT_EQ(QSS_FreeMusic(music), 0);
  EXPECT_EQ(SYS_ErrorGet(), 0);
  ExpectDeleted(names);

  const std::string log = Log();
  const size_t start = log.find("[qss][music] [_QSS_MusicPlayer] start playing...\n");
  const size_t prefilled = log.find("[qss][music] [_QSS_MusicPlayer] prefilled buffers: 4\n");
  const size_t stop = log.find("[qss][music] [_QSS_MusicPlayer] stop playing...\n");
  const size_t freeing = log.find("[qss][music] [QSS_FreeMusic] freeing: ");
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(prefilled, std::string::npos);
  ASSERT_NE(stop, std::string::npos);
  ASSERT_NE(freeing, std::string::npos);
  EXPECT_LT(start, prefilled);
  EXPECT_LT(prefilled, stop);
  EXPECT_LT(stop, freeing);
}

TEST_F(MusicTest, PlayerEndsAtTheEndOfTheStreamAndTheHandleStillFrees) {
  QSS_Music_p music = QSS_NewMusic(0, WriteTone("short.ogg", 2, 44100, 0.6).c_str(), 0);
  ASSERT_NE(music, nullptr);
  const Names names = NamesOf(music);

  ASSERT_EQ(QSS_PlayMusic(music), 0);
  ASSERT_TRUE(WaitFor([&] { return QSS_GetMusicState(music) == QSS_MUSIC_ENDED; }, 3000));
  EXPECT_EQ(SourceInt(music, AL_SOURCE_STATE), AL_STOPPED);
  // The buffer that found the end stays off the queue.
  EXPECT_EQ(SourceInt(music, AL_BUFFERS_QUEUED), 3);

  // An ended player is not replaced: play only restarts the source.
  EXPECT_EQ(QSS_StopMusic(music), 0);
  EXPECT_EQ(QSS_PlayMusic(music), 0);
  EXPECT_EQ(music->player_thread, nullptr);
  EXPECT_EQ(SourceInt(music, AL_SOURCE_STATE), AL_PLAYING);

  // Three queued buffers on a playing source: all of them come off.
  EXPECT_EQ(QSS_FreeMusic(music), 0);
  ExpectDeleted(names);
}

// A fill that stalls once for longer than the queue lasts, as a starved
// player thread would.
std::atomic<int> g_fills{0};
int32_t StallingFill(QSS_Music_p music, uint32_t buffer) {
  if (++g_fills == 6) SYS_Sleep(400);
  return _QSS_MusicFill(music, buffer);
}

TEST_F(MusicTest, SourceThatRanDryIsStartedAgain) {
  QSS_Music_p music = QSS_NewMusic(0, WriteTone("stall.ogg", 2, 44100, 5.0).c_str(), 0);
  ASSERT_NE(music, nullptr);
  g_fills = 0;
  music->fill = StallingFill;
  ASSERT_EQ(QSS_PlayMusic(music), 0);

  ASSERT_TRUE(WaitFor([&] { return SourceInt(music, AL_SOURCE_STATE) == AL_STOPPED; }, 2000));
  ASSERT_TRUE(WaitFor([&] { return SourceInt(music, AL_SOURCE_STATE) == AL_PLAYING; }, 1000));
  EXPECT_EQ(SourceInt(music, AL_BUFFERS_QUEUED), 4);
  EXPECT_EQ(QSS_GetMusicState(music), QSS_MUSIC_STARTED);
  EXPECT_NE(Log().find("[qss][music] [_QSS_MusicPlayer] source ran dry, restarting...\n"), std::string::npos);
  EXPECT_EQ(QSS_FreeMusic(music), 0);
}

TEST_F(MusicTest, StreamShorterThanFourBuffersNeverStartsTheSource) {
  QSS_Music_p music = QSS_NewMusic(0, WriteTone("tiny.ogg", 2, 44100, 0.1).c_str(), 0);
  ASSERT_NE(music, nullptr);
  ASSERT_EQ(QSS_PlayMusic(music), 0);
  SYS_Thread_p player = music->player_thread;
  ASSERT_TRUE(WaitFor([&] { return QSS_GetMusicState(music) == QSS_MUSIC_ENDED; }, 2000));
  EXPECT_EQ(SourceInt(music, AL_SOURCE_STATE), AL_INITIAL);
  EXPECT_EQ(SourceInt(music, AL_BUFFERS_QUEUED), 0);
  EXPECT_EQ(Log().find("prefilled buffers"), std::string::npos);

  // The source is still initial, but its player has not been collected.
  EXPECT_EQ(QSS_PlayMusic(music), 0);
  EXPECT_EQ(music->player_thread, player);
  EXPECT_EQ(QSS_FreeMusic(music), 0);
}

TEST_F(MusicTest, FreeWhilePlayingStopsThePlayerFirst) {
  QSS_Music_p music = QSS_NewMusic(0, WriteTone("busy.ogg", 2, 44100, 3.0).c_str(), 0);
  ASSERT_NE(music, nullptr);
  const Names names = NamesOf(music);
  ASSERT_EQ(QSS_PlayMusic(music), 0);
  ASSERT_TRUE(WaitFor([&] { return SourceInt(music, AL_SOURCE_STATE) == AL_PLAYING; }, 2000));
  QSS_PauseMusic(music);
  EXPECT_EQ(QSS_FreeMusic(music), 0);
  ExpectDeleted(names);
}

// What the wave driver wrote: where the tone sounds, whether it breaks off
// anywhere, and its pitch.
struct Heard {
  double seconds = 0;       // from the first to the last sounding window
  int gaps = 0;             // silent windows in between
  double hz = 0;            // pitch of the left channel over the span
};

Heard Listen(const sound_test::Wav &wav) {
  Heard heard;
  const size_t window = size_t(wav.rate) / 100;  // 10 ms
  const size_t frames = wav.frames();
  std::vector<bool> sounding;
  for (size_t start = 0; start + window <= frames; start += window) {
    int peak = 0;
    for (size_t f = start; f < start + window; ++f)
      peak = std::max(peak, std::abs(int(wav.samples[f * size_t(wav.channels)])));
    sounding.push_back(peak > 4000);
  }
  size_t first = sounding.size(), last = 0;
  for (size_t i = 0; i < sounding.size(); ++i)
    if (sounding[i]) {
      first = std::min(first, i);
      last = i;
    }
  if (first > last) return heard;
  for (size_t i = first; i <= last; ++i) heard.gaps += sounding[i] ? 0 : 1;

  // Upward crossings with a dead band, so noise near zero counts nothing.
  int periods = 0;
  bool low = false;
  for (size_t f = (first + 1) * window; f < last * window; ++f) {
    const int v = wav.samples[f * size_t(wav.channels)];
    if (v < -2000) low = true;
    if (v > 2000 && low) {
      ++periods;
      low = false;
    }
  }
  heard.seconds = double(last - first + 1) * double(window) / wav.rate;
  heard.hz = periods / (double(last - first - 1) * double(window) / wav.rate);
  return heard;
}

class MusicOutputTest : public MusicTest {
protected:
  // Plays a one-second 441 Hz tone from a pack to its end and returns what
  // the device wrote.
  sound_test::Wav PlayToEnd(int channels, int rate) {
    const std::string entry = "music/tone-" + std::to_string(channels) + "-" + std::to_string(rate) + ".ogg";
    const Bytes pack = sound_test::BuildPack({{entry, sound_test::EncodeTone(channels, rate, 1.0), true}});
    const std::string pack_path = dir_.str("music.dat");
    ember_test::WriteBytes(pack_path, pack);
    EXPECT_EQ(SYS_FilePackOpen(pack_path.c_str()), 0);

    QSS_Music_p music = QSS_NewMusic(0, entry.c_str(), 0);
    EXPECT_NE(music, nullptr);
    if (!music) return {};
    EXPECT_EQ(QSS_PlayMusic(music), 0);
    EXPECT_TRUE(WaitFor([&] { return QSS_GetMusicState(music) == QSS_MUSIC_ENDED; }, 4000));
    QSS_StopMusic(music);
    QSS_FreeMusic(music);
    QSS_Shutdown();  // closes the wave file
    return sound_test::ReadWav(sound_test::Audio().wav);
  }

  // The player stops the source as soon as a refill finds the end, so the
  // last three fills are never heard: what sounds is every fill before them,
  // plus whatever the source played while the player noticed. That lag is
  // a matter of scheduling, so above the floor only the stream's own length
  // (one second) bounds what may sound.
  static double ExpectedSeconds(int channels, int rate) {
    const int bytes_per_second = channels * rate * 2;
    const int fills = (bytes_per_second + 8191) / 8192;
    return double(8192 * (fills - 3)) / bytes_per_second;
  }
};

TEST_F(MusicOutputTest, StereoToneFromAPackSoundsWithoutBreaksAtItsPitch) {
  const sound_test::Wav wav = PlayToEnd(2, 44100);
  ASSERT_EQ(wav.channels, 2);
  ASSERT_EQ(wav.rate, 44100);
  const Heard heard = Listen(wav);
  const double expected = ExpectedSeconds(2, 44100);  // 0.88 s
  EXPECT_GE(heard.seconds, expected - 0.02);
  EXPECT_LE(heard.seconds, 1.02);
  EXPECT_EQ(heard.gaps, 0);
  EXPECT_NEAR(heard.hz, 441.0, 441.0 * 0.02);
}

TEST_F(MusicOutputTest, MonoToneAtHalfTheRateKeepsItsPitch) {
  const sound_test::Wav wav = PlayToEnd(1, 22050);
  ASSERT_EQ(wav.rate, 44100);
  const Heard heard = Listen(wav);
  const double expected = ExpectedSeconds(1, 22050);  // 0.56 s
  EXPECT_GE(heard.seconds, expected - 0.02);
  EXPECT_LE(heard.seconds, 1.02);
  EXPECT_EQ(heard.gaps, 0);
  EXPECT_NEAR(heard.hz, 441.0, 441.0 * 0.02);
}

}  // namespace
