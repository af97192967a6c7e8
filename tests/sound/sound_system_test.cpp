// Start-up and shutdown of the sound system on OpenAL Soft's wave driver.
#include <AL/al.h>
#include <AL/alc.h>

#include "sound_fixture.h"

namespace {

using sound_test::SoundTest;

ALCint DeviceValue(ALCenum what) {
  ALCint value = -1;
  alcGetIntegerv(alcGetContextsDevice(alcGetCurrentContext()), what, 1, &value);
  return value;
}

TEST_F(SoundTest, DemoFlagsOpenA44100HzContextWithOneStereoSource) {
  ASSERT_EQ(QSS_Init(515), 0);
  EXPECT_EQ(SYS_ErrorGet(), 0);
  ASSERT_NE(alcGetCurrentContext(), nullptr);
  EXPECT_EQ(DeviceValue(ALC_FREQUENCY), 44100);
  EXPECT_EQ(DeviceValue(ALC_STEREO_SOURCES), 1);

  const std::string log = Log();
  EXPECT_NE(log.find("[qss] initialize...\n"), std::string::npos);
  EXPECT_NE(log.find("[qss]  - AL vendor: OpenAL Community\n"), std::string::npos);
  EXPECT_NE(log.find("[qss]  - ALC frequency: 44100\n"), std::string::npos);
  EXPECT_NE(log.find("[qss]  - ALC stereo sources: 1\n"), std::string::npos);
  EXPECT_NE(log.find("[qss]  - AL speed of sound: 343.30\n"), std::string::npos);
  EXPECT_EQ(log.find("MacOSX"), std::string::npos);

  EXPECT_EQ(QSS_Shutdown(), 0);
  EXPECT_EQ(alcGetCurrentContext(), nullptr);
}

TEST_F(SoundTest, MonoLayoutAsksForNoStereoSource) {
  ASSERT_EQ(QSS_Init(QSS_MONO_SOURCE | QSS_FREQ_44100), 0);
  EXPECT_EQ(DeviceValue(ALC_STEREO_SOURCES), 0);
  EXPECT_GE(DeviceValue(ALC_MONO_SOURCES), 1);
}

TEST_F(SoundTest, FrequencyIndexesGiveTheirRates) {
  const struct {
    int32_t index;
    ALCint hz;
  } table[] = {{1, 11025}, {4, 48000}, {6, 96000}};
  for (const auto &row : table) {
    SCOPED_TRACE(row.hz);
    ASSERT_EQ(QSS_Init(QSS_STEREO_SOURCE | row.index), 0);
    EXPECT_EQ(DeviceValue(ALC_FREQUENCY), row.hz);
    QSS_Shutdown();
  }
}

TEST_F(SoundTest, BadFlagsFailWithCode10AndOpenNothing) {
  for (int32_t flags : {0x0303, 0x0003, 0x0200, 0x0207, 0x02ff}) {
    SCOPED_TRACE(flags);
    EXPECT_EQ(QSS_Init(flags), -1);
    EXPECT_EQ(SYS_ErrorGet(), 10);
    EXPECT_EQ(alcGetCurrentContext(), nullptr);
  }
}

TEST_F(SoundTest, SecondInitIsRefusedAndKeepsTheFirstContext) {
  ASSERT_EQ(QSS_Init(515), 0);
  ALCcontext *first = alcGetCurrentContext();
  EXPECT_EQ(QSS_Init(515), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(alcGetCurrentContext(), first);
}

// OpenAL Soft takes its driver list once per process, so the case without
// any usable driver runs in a fresh process of its own.
TEST_F(SoundTest, NoOutputDeviceMakesInitFail) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("ALSOFT_DRIVERS", "no-such-driver", 1);
        const int result = QSS_Init(515);
        const int32_t code = SYS_ErrorGet();
        const bool no_context = alcGetCurrentContext() == nullptr;
        _exit(result == -1 && code == 1 && no_context ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
