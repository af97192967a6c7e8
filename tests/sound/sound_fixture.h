// Shared set-up of the sound tests: OpenAL Soft pointed at its wave-file
// driver (so nothing needs a sound card and what was played can be read
// back), Ogg Vorbis test tones encoded on the spot with libvorbisenc, small
// data packs, and a reader for the WAV file the driver writes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <vorbis/vorbisenc.h>

#include "framework/sys.h"
#include "framework/zblock.h"
#include "sound/sound.h"
#include "support/test_support.h"

namespace sound_test {

using Bytes = std::vector<unsigned char>;

// One wave file per process: test processes may run side by side.
struct AudioConfig {
  ember_test::TempDir dir;
  std::filesystem::path wav = dir.path() / "out.wav";
  AudioConfig() {
    ember_test::WriteFile(dir.path() / "alsoft.conf",
                          "[general]\n"
                          "drivers=wave\n"
                          "sample-type=int16\n"
                          "channels=stereo\n"
                          "[wave]\n"
                          "file=" + wav.string() + "\n");
    setenv("ALSOFT_CONF", (dir.path() / "alsoft.conf").c_str(), 1);
  }
};

// OpenAL Soft reads its configuration once, at its first call; this must
// run before that.
inline const AudioConfig &Audio() {
  static AudioConfig config;
  return config;
}

// A sine tone of `hz` at `amplitude` of full scale, every channel alike.
inline Bytes EncodeTone(int channels, int rate, double seconds, double hz = 441.0,
                        double amplitude = 0.5) {
  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, channels, rate, 0.4f) != 0) {
    vorbis_info_clear(&info);
    return {};
  }
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block block;
  vorbis_block_init(&dsp, &block);
  ogg_stream_state os;
  ogg_stream_init(&os, 1234);

  Bytes out;
  ogg_page page;
  auto take_page = [&] {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
  };
  ogg_packet header, header_comment, header_code;
  vorbis_analysis_headerout(&dsp, &comment, &header, &header_comment, &header_code);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &header_comment);
  ogg_stream_packetin(&os, &header_code);
  while (ogg_stream_flush(&os, &page)) take_page();

  const long frames = std::lround(seconds * rate);
  const long chunk = 1024;
  auto drain = [&] {
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
        ogg_stream_packetin(&os, &packet);
        while (ogg_stream_pageout(&os, &page)) take_page();
      }
    }
  };
  for (long done = 0; done < frames; done += chunk) {
    const long n = std::min(chunk, frames - done);
    float **buffer = vorbis_analysis_buffer(&dsp, int(n));
    for (long i = 0; i < n; ++i) {
      const float v = float(amplitude * std::sin(2.0 * M_PI * hz * double(done + i) / rate));
      for (int c = 0; c < channels; ++c) buffer[c][i] = v;
    }
    vorbis_analysis_wrote(&dsp, int(n));
    drain();
  }
  vorbis_analysis_wrote(&dsp, 0);
  drain();
  while (ogg_stream_flush(&os, &page)) take_page();

  ogg_stream_clear(&os);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return out;
}

inline void PutLE32(Bytes &b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

struct PackEntry {
  std::string name;
  Bytes data;
  bool compressed;
};

// A data pack: "QLPK", entry count, catalog offset, the entries' bytes,
// then the catalog as one z-block.
inline Bytes BuildPack(const std::vector<PackEntry> &entries) {
  Bytes pack = {'Q', 'L', 'P', 'K'};
  PutLE32(pack, uint32_t(entries.size()));
  PutLE32(pack, 0);  // catalog offset, patched below
  Bytes catalog;
  for (const PackEntry &e : entries) {
    Bytes stored = e.data;
    if (e.compressed) {
      void *block = nullptr;
      uint32_t length = 0;
      if (SYS_ZCompress(e.data.data(), uint32_t(e.data.size()), &block, &length) != 0) return {};
      stored.assign(static_cast<unsigned char *>(block), static_cast<unsigned char *>(block) + length);
      SYS_MemFree(&block, __FILE__, __LINE__);
    }
    PutLE32(catalog, uint32_t(stored.size()));
    PutLE32(catalog, uint32_t(pack.size()));
    catalog.push_back(e.compressed ? 1 : 0);
    catalog.push_back(uint8_t(e.name.size()));
    catalog.push_back(uint8_t(e.name.size() >> 8));
    catalog.insert(catalog.end(), e.name.begin(), e.name.end());
    pack.insert(pack.end(), stored.begin(), stored.end());
  }
  const uint32_t catalog_offset = uint32_t(pack.size());
  for (int i = 0; i < 4; ++i) pack[8 + i] = uint8_t(catalog_offset >> (8 * i));
  void *block = nullptr;
  uint32_t length = 0;
  if (SYS_ZCompress(catalog.data(), uint32_t(catalog.size()), &block, &length) != 0) return {};
  pack.insert(pack.end(), static_cast<unsigned char *>(block), static_cast<unsigned char *>(block) + length);
  SYS_MemFree(&block, __FILE__, __LINE__);
  return pack;
}

// 16-bit PCM as the wave driver writes it.
struct Wav {
  int channels = 0;
  int rate = 0;
  std::vector<int16_t> samples;  // interleaved
  size_t frames() const { return channels ? samples.size() / size_t(channels) : 0; }
};

inline uint32_t LE(const Bytes &b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t(b[at + size_t(i)]) << (8 * i);
  return v;
}

// Walks the RIFF chunks; the data chunk runs to the end of the file, whose
// header the driver may not have finalised.
inline Wav ReadWav(const std::filesystem::path &path) {
  Wav wav;
  const Bytes b = ember_test::ReadBytes(path);
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
    return wav;
  int bits = 0;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = LE(b, at + 4, 4);
    if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && at + 8 + 16 <= b.size()) {
      wav.channels = int(LE(b, at + 10, 2));
      wav.rate = int(LE(b, at + 12, 4));
      bits = int(LE(b, at + 22, 2));
    } else if (std::memcmp(b.data() + at, "data", 4) == 0) {
      if (bits != 16) return Wav{};
      for (size_t i = at + 8; i + 2 <= b.size(); i += 2) wav.samples.push_back(int16_t(LE(b, i, 2)));
      return wav;
    }
    at += 8 + size + (size & 1);
  }
  return wav;
}

// Polls until the condition holds or the time runs out.
inline bool WaitFor(const std::function<bool()> &done, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Every sound test: the wave driver configured, a scratch folder, the log
// written to a file of its own, and the sound system closed afterwards
// whatever the test left behind.
class SoundTest : public ::testing::Test {
protected:
  void SetUp() override {
    Audio();
    log_ = dir_.path() / "sound.log";
    SYS_LogSetFile(log_.c_str());
    SYS_LogSetFlags(SYS_LOG_ON);
    SYS_ErrorClear();
  }
  void TearDown() override {
    QSS_Shutdown();
    SYS_LogSetFlags(0);
  }

  std::string Log() const { return ember_test::ReadFile(log_); }

  // Writes an encoded tone into the scratch folder; returns its full path.
  std::string WriteTone(const std::string &name, int channels, int rate, double seconds) {
    const Bytes ogg = EncodeTone(channels, rate, seconds);
    EXPECT_FALSE(ogg.empty());
    ember_test::WriteBytes(dir_.path() / name, ogg);
    return (dir_.path() / name).string();
  }

  ember_test::TempDir dir_;
  std::filesystem::path log_;
};

}  // namespace sound_test
