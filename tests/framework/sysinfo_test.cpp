// System and processor information: how the system's facts become the
// processor record and the "[info]"/"[cpu]" lines of the log.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/utsname.h>

#include "framework/sys.h"
#include "core_test_util.h"
#include "support/test_support.h"

namespace {

using ember_test::LogCapture;

// Options for one test; the argument list is emptied afterwards.
class ScopedArgs {
public:
  ScopedArgs(std::initializer_list<const char *> words) {
    for (const char *w : words) SYS_CfgAdd(w);
  }
  ~ScopedArgs() { SYS_CfgFree(); }
};

const char *kPowerMacG5 =
    "processor\t: 0\n"
    "cpu\t\t: PPC970FX, altivec supported\n"
    "clock\t\t: 2000.000000MHz\n"
    "revision\t: 3.0 (pvr 003c 0300)\n"
    "\n"
    "processor\t: 1\n"
    "cpu\t\t: PPC970FX, altivec supported\n"
    "clock\t\t: 2000.000000MHz\n";

const char *kPc =
    "processor\t: 0\n"
    "vendor_id\t: AuthenticAMD\n"
    "model name\t: AMD EPYC\n"
    "cpu MHz\t\t: 2096.014\n"
    "flags\t\t: fpu vme lm\n";

TEST(CpuFacts, APowerMacG5ReadsAsTypeEighteenSubtypeHundredWithAltiVec) {
  SYS_CpuFacts f = SYS_CpuFactsParse("ppc64", kPowerMacG5);
  EXPECT_EQ(f.type, 18);
  EXPECT_EQ(f.subtype, 100);
  EXPECT_EQ(f.altivec, 1);
  EXPECT_EQ(f.sixtyfour, 1);
  EXPECT_DOUBLE_EQ(f.hertz, 2000e6);
}

TEST(CpuFacts, PowerPCModelsAreMatchedByTheirLongestName) {
  auto subtype = [](const char *cpu) {
    return SYS_CpuFactsParse("ppc", std::string("cpu\t\t: ") + cpu + "\n").subtype;
  };
  EXPECT_EQ(subtype("7447A, altivec supported"), 11);
  EXPECT_EQ(subtype("603ev"), 5);
  EXPECT_EQ(subtype("603e"), 4);
  EXPECT_EQ(subtype("POWER5"), 0);
  EXPECT_EQ(SYS_CpuFactsParse("ppc", "cpu\t\t: 750\n").altivec, 0);
}

TEST(CpuFacts, PcAndArmMachines) {
  SYS_CpuFacts pc = SYS_CpuFactsParse("x86_64", kPc);
  EXPECT_EQ(pc.type, 7);
  EXPECT_EQ(pc.subtype, 3);
  EXPECT_EQ(pc.sixtyfour, 1);
  EXPECT_EQ(pc.altivec, 0);
  EXPECT_NEAR(pc.hertz, 2096.014e6, 1);

  EXPECT_EQ(SYS_CpuFactsParse("i686", kPc).sixtyfour, 0);

  // Many ARM kernels tell no clock: that reads 0, not a failure.
  SYS_CpuFacts arm = SYS_CpuFactsParse("aarch64", "processor\t: 0\nBogoMIPS\t: 50.00\n");
  EXPECT_EQ(arm.type, 12);
  EXPECT_EQ(arm.hertz, 0);
  EXPECT_EQ(SYS_CpuFactsParse("riscv64", "").type, 0);
}

TEST(CpuDescribe, TwoG5ProcessorsLogTheCpuLineAndTheFlagsLine) {
  SYS_CpuFacts f = SYS_CpuFactsParse("ppc64", kPowerMacG5);
  f.count = 2;
  SYS_CPU_t record;
  LogCapture log;
  SYS_CpuDescribe(f, &record);
  EXPECT_STREQ(record.name, "PowerPC G5 (970)");
  EXPECT_FLOAT_EQ(record.clock, 2000.0f);
  EXPECT_EQ(record.AltiVec, 1);
  EXPECT_EQ(log.text(),
            "[cpu] CPU: PowerPC G5 (970) (18:100) 2000.00 MHz\n"
            "[cpu]  - [2 cpu] [64bitops] [altivec] \n");
}

TEST(CpuDescribe, DisableAltivecClearsTheFlagAndItsMark) {
  ScopedArgs args{"emberfield", "-DISABLE-ALTIVEC"};
  SYS_CpuFacts f = SYS_CpuFactsParse("ppc", kPowerMacG5);
  f.count = 1;
  SYS_CPU_t record;
  LogCapture log;
  SYS_CpuDescribe(f, &record);
  EXPECT_EQ(record.AltiVec, 0);
  EXPECT_EQ(log.text().find("[altivec]"), std::string::npos);
  EXPECT_NE(log.text().find("[1 cpu] \n"), std::string::npos);
}

TEST(CpuDetect, DetectsOnceAndLogsNothingTheSecondTime) {
  SYS_PCPU_t first = SYS_CpuDetect();
  ASSERT_NE(first, nullptr);
  EXPECT_GE(first->clock, 0.0f);
  EXPECT_GT(strlen(first->name), 0u);
  LogCapture log;
  EXPECT_EQ(SYS_CpuDetect(), first);
  EXPECT_EQ(SYS_ErrorGet(), 0);
  EXPECT_EQ(log.text(), "");
}

TEST(InfoInit, LogsTheRealSystemAndMemoryThenAnswersInfoGet) {
  SYS_CpuDetect();
  utsname uts;
  ASSERT_EQ(uname(&uts), 0);
  std::string text;
  {
    LogCapture log;
    EXPECT_EQ(SYS_InfoInit(), 0);
    text = log.text();
  }
  EXPECT_NE(text.find(std::string("[info] OS type: ") + uts.sysname + "\n"), std::string::npos);
  EXPECT_NE(text.find("[info] Distrib: "), std::string::npos);
  EXPECT_NE(text.find(std::string("[info] Kernel version: ") + uts.release + "\n"),
            std::string::npos);
  size_t total = text.find("[info] Total memory: ");
  ASSERT_NE(total, std::string::npos);
  EXPECT_GT(std::stoull(text.substr(total + strlen("[info] Total memory: "))), 0u);
  EXPECT_NE(text.find("[info] Free memory: "), std::string::npos);

  EXPECT_STREQ(static_cast<const char *>(SYS_InfoGet(0)), uts.sysname);
  EXPECT_STREQ(static_cast<const char *>(SYS_InfoGet(2)), uts.release);
  auto *cpu = static_cast<SYS_PCPU_t>(SYS_InfoGet(5));
  ASSERT_NE(cpu, nullptr);
  EXPECT_STREQ(static_cast<const char *>(SYS_InfoGet(3)), cpu->name);
  char clock[64];
  snprintf(clock, sizeof clock, "%.2f MHz", static_cast<double>(cpu->clock));
  EXPECT_STREQ(static_cast<const char *>(SYS_InfoGet(4)), clock);

  EXPECT_EQ(SYS_InfoGet(6), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_InfoGet(-1), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);

  SYS_InfoShutdown();
  EXPECT_EQ(SYS_InfoGet(0), nullptr);
  EXPECT_NE(SYS_InfoGet(3), nullptr);
}

}  // namespace
