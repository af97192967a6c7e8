#include <gtest/gtest.h>

#include <clocale>

#include "core_test_util.h"

using ember_test::SetArgs;

TEST(Options, FlagsMatchDashOrSlashWithoutRegardToCase) {
  SetArgs({"-V"});
  EXPECT_EQ(SYS_CfgGet("v", SYS_CFG_FLAG), 1);
  SetArgs({"/v"});
  EXPECT_EQ(SYS_CfgGet("v", SYS_CFG_FLAG), 1);
  SetArgs({"--v", "v"});
  EXPECT_EQ(SYS_CfgGet("v", SYS_CFG_FLAG), 0);
  EXPECT_EQ(SYS_ErrorGet(), 0);
}

TEST(Options, ValueOptionsTakeTheNextWordUnchanged) {
  SetArgs({"-debug-log", "my.log", "-mf", "-v"});
  EXPECT_STREQ(SYS_CfgGetText("debug-log"), "my.log");
  EXPECT_EQ(SYS_CfgGet("debug-log", SYS_CFG_TEXT), 1);
  // The next word is the value even when it looks like an option.
  EXPECT_STREQ(SYS_CfgGetText("mf"), "-v");
  EXPECT_EQ(SYS_CfgGetText("absent"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 0);
}

TEST(Options, ValueOptionAsLastWordIsBadArgument) {
  SetArgs({"-debug-log"});
  EXPECT_EQ(SYS_CfgGet("debug-log", SYS_CFG_TEXT), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_CfgGetText("debug-log"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_CfgGet("debug-log", SYS_CFG_INT), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  // A flag query of the same word is still a plain match.
  EXPECT_EQ(SYS_CfgGet("debug-log", SYS_CFG_FLAG), 1);
}

TEST(Options, NumbersTruncateTowardZeroAndIgnoreTheLocale) {
  SetArgs({"-x", "2.9", "-y", "-2.9", "-n", "42abc", "-big", "1e12", "-small", "-1e12"});
  EXPECT_EQ(SYS_CfgGet("x", SYS_CFG_REAL), 2);
  EXPECT_EQ(SYS_CfgGet("y", SYS_CFG_REAL), -2);
  EXPECT_EQ(SYS_CfgGet("n", SYS_CFG_INT), 42);
  EXPECT_EQ(SYS_CfgGet("big", SYS_CFG_REAL), INT32_MAX);
  EXPECT_EQ(SYS_CfgGet("small", SYS_CFG_REAL), INT32_MIN);
  // A locale with a decimal comma must not change how "2.9" reads.
  if (setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
    EXPECT_EQ(SYS_CfgGet("x", SYS_CFG_REAL), 2);
    setlocale(LC_NUMERIC, "C");
  }
}

TEST(Options, UnknownTypesAndNullNames) {
  SetArgs({"-v", "1"});
  EXPECT_EQ(SYS_CfgGet("v", SYS_CFG_CALLBACK), 0);
  EXPECT_EQ(SYS_ErrorGet(), 0);
  EXPECT_EQ(SYS_CfgGet(nullptr, SYS_CFG_FLAG), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

TEST(Options, FreeingForgetsEveryWordAndItsMemory) {
  SYS_CfgFree();
  size_t before = SYS_MemLiveCount();
  SetArgs({"-a", "b", "-c"});
  EXPECT_EQ(SYS_CfgArgCount(), 4);
  EXPECT_STREQ(SYS_CfgArg(0), "prog");
  EXPECT_EQ(SYS_CfgArg(4), nullptr);
  SYS_CfgFree();
  EXPECT_EQ(SYS_CfgArgCount(), 0);
  EXPECT_EQ(SYS_MemLiveCount(), before);
}
