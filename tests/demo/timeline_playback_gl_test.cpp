// The staged program left alone under the virtual display with OpenAL
// Soft's wave driver: "emberfield -default" plays the whole timeline, ends
// by itself at 236000 ms with status 0, and the WAV file holds about 236
// seconds of the soundtrack, closed properly.
//
// It takes about four minutes, so CTest runs it as a test of its own
// (labels "gl" and "long") and leaves it out of the gl program's run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using ember_test::BinaryDir;
using ember_test::TempDir;

constexpr double kTimelineSeconds = 236.0;

uint32_t Le32(const std::string &b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
  return v;
}
uint16_t Le16(const std::string &b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

struct Wave {
  uint16_t channels = 0, bits = 0;
  uint32_t rate = 0;
  size_t dataAt = 0;       // first sample byte
  uint32_t dataSize = 0;   // as the header says
  size_t dataPresent = 0;  // as the file holds
  std::string bytes;

  size_t FrameBytes() const { return static_cast<size_t>(channels) * bits / 8; }
  double Seconds() const { return static_cast<double>(dataPresent) / FrameBytes() / rate; }
  // The loudest sample over [from, to) seconds, full scale 1. OpenAL Soft
  // writes 32-bit float samples or 16-bit integers.
  double Peak(double from, double to) const {
    const size_t a = dataAt + static_cast<size_t>(from * rate) * FrameBytes();
    const size_t b = std::min(bytes.size(), dataAt + static_cast<size_t>(to * rate) * FrameBytes());
    const size_t step = bits / 8;
    double peak = 0;
    for (size_t i = a; i + step <= b; i += step) {
      double s;
      if (bits == 32) {
        const uint32_t word = Le32(bytes, i);
        float f;
        std::memcpy(&f, &word, sizeof f);
        s = f;
      } else {
        s = static_cast<int16_t>(Le16(bytes, i)) / 32768.0;
      }
      peak = std::max(peak, std::fabs(s));
    }
    return peak;
  }
};

// Reads the RIFF chunks up to "data"; false when the file is not a WAV.
bool ReadWave(const fs::path &path, Wave &w) {
  w.bytes = ember_test::ReadFile(path);
  if (w.bytes.size() < 12 || w.bytes.compare(0, 4, "RIFF") != 0 ||
      w.bytes.compare(8, 4, "WAVE") != 0)
    return false;
  size_t at = 12;
  while (at + 8 <= w.bytes.size()) {
    const std::string id = w.bytes.substr(at, 4);
    const uint32_t size = Le32(w.bytes, at + 4);
    if (id == "fmt " && at + 8 + 16 <= w.bytes.size()) {
      w.channels = Le16(w.bytes, at + 10);
      w.rate = Le32(w.bytes, at + 12);
      w.bits = Le16(w.bytes, at + 22);
    } else if (id == "data") {
      w.dataAt = at + 8;
      w.dataSize = size;
      w.dataPresent = w.bytes.size() - w.dataAt;
      return w.channels > 0 && w.bits > 0 && w.rate > 0;
    }
    at += 8 + size + (size & 1);
  }
  return false;
}

TEST(TimelinePlayback, PlaysToTheEndByItselfWithTheWholeSoundtrack) {
  const fs::path program =
      BinaryDir() / "stage" / "Emberfield.app" / "Contents" / "MacOS" / "emberfield";
  ASSERT_TRUE(fs::exists(program));
  TempDir dir;
  ember_test::WriteFile(dir.path() / "alsoft.conf",
                        "[general]\ndrivers=wave\n[wave]\nfile=" + dir.str("music.wav") + "\n");

  const auto start = std::chrono::steady_clock::now();
  const ember_test::RunResult run =
      ember_test::Run({program.string(), "-default"}, dir.path(),
                      {"HOME=" + dir.str(), "ALSOFT_CONF=" + dir.str("alsoft.conf")});
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.status, 0) << run.output;
  // The loop ends on the clock: not before the timeline's length, and not
  // long after it (start-up takes a few seconds).
  EXPECT_GE(took, kTimelineSeconds);
  EXPECT_LT(took, kTimelineSeconds + 120.0);

  Wave wave;
  ASSERT_TRUE(ReadWave(dir.path() / "music.wav", wave));
  EXPECT_EQ(wave.channels, 2);
  ASSERT_TRUE(wave.bits == 16 || wave.bits == 32) << wave.bits;
  // The device was closed: the header counts every byte written.
  EXPECT_EQ(wave.dataSize, wave.dataPresent);
  // The mixer ran from the music's start to the end of the timeline.
  EXPECT_GT(wave.Seconds(), kTimelineSeconds - 2.0);
  EXPECT_LT(wave.Seconds(), kTimelineSeconds + 10.0);
  // Music all the way: every half minute holds sound.
  for (double from = 0; from + 30 <= kTimelineSeconds; from += 30)
    EXPECT_GT(wave.Peak(from, from + 30), 0.03) << "silent from " << from << " s";
}

}  // namespace
