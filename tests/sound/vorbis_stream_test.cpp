// Ogg Vorbis streams read through the virtual file system.
#include <cstdio>

#include "sound_fixture.h"

namespace {

using sound_test::Bytes;
using sound_test::SoundTest;

std::vector<std::pair<int32_t, std::string>> g_reported;
void RecordReport(int32_t code, const char *name) { g_reported.emplace_back(code, name); }

class VorbisTest : public SoundTest {
protected:
  void TearDown() override {
    SYS_ErrorSetCallback(nullptr);
    SoundTest::TearDown();
  }

  // Decodes the whole stream in ragged pieces, as a player would.
  static Bytes ReadAll(VorbisStream *stream) {
    Bytes out;
    char piece[3001];
    for (;;) {
      const int32_t got = VorbisRead(stream, piece, sizeof piece);
      if (got <= 0) break;
      out.insert(out.end(), piece, piece + got);
    }
    return out;
  }

  // Largest sample magnitude of 16-bit host-order PCM.
  static int Peak(const Bytes &pcm) {
    int peak = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
      int16_t v;
      std::memcpy(&v, &pcm[i], 2);
      peak = std::max(peak, std::abs(int(v)));
    }
    return peak;
  }
};

TEST_F(VorbisTest, MonoStreamReportsItsShapeAndDecodesToItsSize) {
  const std::string path = WriteTone("mono.ogg", 1, 22050, 10.0);
  const size_t live = SYS_MemLiveCount();

  VorbisStream *stream = VorbisOpen(path.c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->channels, 1);
  EXPECT_EQ(stream->rate, 22050);
  EXPECT_EQ(stream->size, 441000);
  EXPECT_EQ(VorbisSize(stream), 441000);

  const std::string log = Log();
  EXPECT_NE(log.find("[vorbis] stream: " + path + "\n"), std::string::npos);
  EXPECT_NE(log.find("[vorbis]  - channels: 1\n[vorbis]  - rate: 22050Hz\n[vorbis]  - size: 441000 bytes\n"),
            std::string::npos);

  const Bytes pcm = ReadAll(stream);
  EXPECT_EQ(pcm.size(), 441000u);
  EXPECT_EQ(VorbisTellBytes(stream), 441000);
  EXPECT_NEAR(VorbisTellTime(stream), 10.0, 1e-6);
  // Samples arrive in the host's byte order: a half-scale tone peaks near
  // 16384, where swapped bytes would scatter over the whole range.
  EXPECT_NEAR(Peak(pcm), 16384, 1600);

  EXPECT_EQ(VorbisClose(stream), 0);
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

TEST_F(VorbisTest, SeeksLandOnTheRequestedSampleAndTime) {
  const std::string path = WriteTone("stereo.ogg", 2, 44100, 3.0);
  VorbisStream *stream = VorbisOpen(path.c_str());
  ASSERT_NE(stream, nullptr);

  EXPECT_EQ(VorbisSeekBytes(stream, 176400), 0);
  EXPECT_EQ(VorbisTellBytes(stream), 176400);  // PCM sample 44100 of 2 channels

  // Odd byte positions round down to a whole frame.
  EXPECT_EQ(VorbisSeekBytes(stream, 10), 0);
  EXPECT_EQ(VorbisTellBytes(stream), 8);

  EXPECT_EQ(VorbisSeekTime(stream, 1500), 0);
  EXPECT_NEAR(VorbisTellTime(stream), 1.5, 1e-6);
  EXPECT_EQ(VorbisTellBytes(stream), 66150 * 4);

  // Beyond the end is refused and the position stays put.
  EXPECT_LT(VorbisSeekTime(stream, 5000), 0);
  EXPECT_LT(VorbisSeekBytes(stream, 3 * 176400 + 4000), 0);
  EXPECT_NEAR(VorbisTellTime(stream), 1.5, 1e-6);
  VorbisClose(stream);
}

TEST_F(VorbisTest, DecodeAllMatchesPieceByPieceDecoding) {
  const std::string path = WriteTone("all.ogg", 2, 44100, 0.7);
  VorbisStream *stream = VorbisOpen(path.c_str());
  ASSERT_NE(stream, nullptr);
  auto *all = static_cast<unsigned char *>(VorbisDecodeAll(stream));
  ASSERT_NE(all, nullptr);
  const Bytes whole(all, all + stream->size);
  SYS_MEMFREE(all);

  ASSERT_EQ(VorbisSeekBytes(stream, 0), 0);
  EXPECT_EQ(ReadAll(stream), whole);
  VorbisClose(stream);
}

TEST_F(VorbisTest, NotVorbisFailsWithCode1AndClosesTheFile) {
  ember_test::WriteFile(dir_.path() / "noise.ogg", std::string(5000, 'x'));
  const Bytes ogg = sound_test::EncodeTone(2, 44100, 0.5);
  // Right container, wrong content: the Ogg pages of a cut-off header.
  ember_test::WriteBytes(dir_.path() / "cut.ogg", Bytes(ogg.begin(), ogg.begin() + 60));
  ember_test::WriteFile(dir_.path() / "empty.ogg", "");
  const size_t live = SYS_MemLiveCount();

  for (const char *name : {"noise.ogg", "cut.ogg", "empty.ogg"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(VorbisOpen(dir_.str(name).c_str()), nullptr);
    EXPECT_EQ(SYS_ErrorGet(), 1);
    // The file record and its name are tracked blocks: none is left open.
    EXPECT_EQ(SYS_MemLiveCount(), live);
  }
}

TEST_F(VorbisTest, MissingFileFailsWithCode1AfterTheErrorCallback) {
  g_reported.clear();
  SYS_ErrorSetCallback(RecordReport);
  const std::string name = dir_.str("absent.ogg");
  EXPECT_EQ(VorbisOpen(name.c_str()), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 1);
  ASSERT_EQ(g_reported.size(), 1u);
  EXPECT_EQ(g_reported[0].second, name);
}

// The file callbacks on a pack entry, whose own seek would clamp an offset
// beyond the end to the last byte.
class VorbisPackTest : public VorbisTest {
protected:
  void SetUp() override {
    VorbisTest::SetUp();
    ogg_ = sound_test::EncodeTone(2, 44100, 1.0);
    const Bytes pack = sound_test::BuildPack({{"readme.txt", Bytes(100, 'r'), false},
                                              {"music/packed.ogg", ogg_, true},
                                              {"music/plain.ogg", ogg_, false}});
    ASSERT_FALSE(pack.empty());
    ember_test::WriteBytes(dir_.path() / "vorbis.dat", pack);
    ASSERT_EQ(SYS_FilePackOpen(dir_.str("vorbis.dat").c_str()), 0);
  }
  Bytes ogg_;
};

TEST_F(VorbisPackTest, MusicDecodesFromAPackAsFromAPlainFile) {
  const std::string plain_path = dir_.str("plain.ogg");
  ember_test::WriteBytes(plain_path, ogg_);
  VorbisStream *disk = VorbisOpen(plain_path.c_str());
  ASSERT_NE(disk, nullptr);
  const Bytes expected = ReadAll(disk);
  VorbisClose(disk);
  ASSERT_EQ(expected.size(), 176400u);

  for (const char *name : {"music/packed.ogg", "music/plain.ogg"}) {
    SCOPED_TRACE(name);
    const size_t live = SYS_MemLiveCount();
    VorbisStream *stream = VorbisOpen(name);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->size, 176400);
    EXPECT_EQ(ReadAll(stream), expected);
    ASSERT_EQ(VorbisSeekTime(stream, 500), 0);
    Bytes tail = ReadAll(stream);
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), expected.begin() + 88200));
    VorbisClose(stream);
    // Closing released the entry's inflated content too.
    EXPECT_EQ(SYS_MemLiveCount(), live);
  }
}

TEST_F(VorbisPackTest, SeekCallbackRefusesTargetsOutsideTheFile) {
  SYS_File_p file = SYS_FileOpen("music/packed.ogg", SYS_FILE_READ);
  ASSERT_NE(file, nullptr);
  const int64_t size = int64_t(ogg_.size());
  ASSERT_EQ(file->size, size);

  EXPECT_EQ(VorbisFileSeek(file, 100, SEEK_SET), 0);
  EXPECT_EQ(VorbisFileTell(file), 100);
  EXPECT_EQ(VorbisFileSeek(file, 50, SEEK_CUR), 0);
  EXPECT_EQ(VorbisFileTell(file), 150);
  EXPECT_EQ(VorbisFileSeek(file, -10, SEEK_END), 0);
  EXPECT_EQ(VorbisFileTell(file), size - 10);
  EXPECT_EQ(VorbisFileSeek(file, 0, SEEK_END), 0);  // the end itself is a place
  EXPECT_EQ(VorbisFileTell(file), size);
  EXPECT_EQ(VorbisFileSeek(file, 77, 42), 0);  // unknown whence: the start
  EXPECT_EQ(VorbisFileTell(file), 0);

  EXPECT_EQ(VorbisFileSeek(file, 1, SEEK_END), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(VorbisFileSeek(file, size + 1, SEEK_SET), -1);
  EXPECT_EQ(VorbisFileSeek(file, -1, SEEK_SET), -1);
  EXPECT_EQ(VorbisFileSeek(file, int64_t(1) << 32, SEEK_SET), -1);  // low 32 bits alone: 0
  EXPECT_EQ(VorbisFileTell(file), 0);

  // Reads count whole items only.
  char buffer[64];
  EXPECT_EQ(VorbisFileRead(buffer, 4, 5, file), 5u);
  EXPECT_EQ(std::memcmp(buffer, ogg_.data(), 20), 0);
  ASSERT_EQ(VorbisFileSeek(file, -6, SEEK_END), 0);
  EXPECT_EQ(VorbisFileRead(buffer, 4, 5, file), 1u);
  EXPECT_EQ(VorbisFileRead(buffer, 0, 5, file), 0u);

  EXPECT_EQ(VorbisFileClose(file), 0);
}

}  // namespace
