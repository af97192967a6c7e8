#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "framework/sys.h"

TEST(Clock, TimerStartsAtOneAndFollowsTheClock) {
  SYS_TimerReset();
  int32_t t = SYS_TimerGet();
  EXPECT_GE(t, 1);
  EXPECT_LE(t, 3);
  int32_t a = SYS_TimeGetMs();
  SYS_Sleep(30);
  int32_t b = SYS_TimeGetMs();
  uint32_t d = static_cast<uint32_t>(b) - static_cast<uint32_t>(a);
  EXPECT_GE(d, 29u);
  EXPECT_LT(d, 200u);
  EXPECT_GE(SYS_TimerGet(), 30);
}

TEST(Clock, PauseFreezesAndResumeContinues) {
  SYS_TimerReset();
  SYS_Sleep(20);
  SYS_TimerPause();
  int32_t frozen = SYS_TimerGet();
  SYS_Sleep(150);
  EXPECT_EQ(SYS_TimerGet(), frozen);
  SYS_TimerShift(1000);  // takes effect only once running again
  EXPECT_EQ(SYS_TimerGet(), frozen);
  SYS_TimerPause();
  int32_t resumed = SYS_TimerGet();
  EXPECT_LE(resumed, frozen - 1000 + 40);
  EXPECT_GE(resumed, frozen - 1000);
}

TEST(Clock, ShiftMovesTheTimerBack) {
  SYS_TimerReset();
  SYS_Sleep(10);
  int32_t before = SYS_TimerGet();
  SYS_TimerShift(1000);
  int32_t after = SYS_TimerGet();
  EXPECT_LE(after, before - 1000 + 10);
  SYS_TimerShift(-2000);
  EXPECT_GE(SYS_TimerGet(), before + 1000);
}

TEST(Clock, StampIsFifteenCharactersOfDateAndTime) {
  char *s = SYS_TimeStamp();
  ASSERT_NE(s, nullptr);
  std::string stamp(s);
  SYS_MEMFREE(s);
  ASSERT_EQ(stamp.size(), 15u);
  for (size_t i = 0; i < 15; ++i) {
    if (i == 8)
      EXPECT_EQ(stamp[i], ' ');
    else
      EXPECT_TRUE(isdigit(static_cast<unsigned char>(stamp[i]))) << stamp;
  }
  int month = std::stoi(stamp.substr(4, 2)), hour = std::stoi(stamp.substr(9, 2));
  EXPECT_GE(month, 1);
  EXPECT_LE(month, 12);
  EXPECT_LE(hour, 23);
}
