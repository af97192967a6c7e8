// Framework start-up and shutdown, the subsystem slots and the demo side's
// bridge: slot order and its log lines, the orderly shutdown's exit codes,
// PasStr's one shared buffer, the log and memory wrappers, and the base
// module making the program's folder the current one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "framework/sys.h"
#include "core_test_util.h"
#include "support/test_support.h"

namespace {

using ember_test::LogCapture;

namespace fs = std::filesystem;
using ember_test::ReadFile;
using ember_test::ScopedCwd;
using ember_test::TempDir;
using ember_test::WriteFile;


std::vector<std::string> calls;

// Procedures that leave a trace: in `calls` for the tests that stay in this
// process, on standard error for the ones that end it.
template <int N>
void InitProc() {
  calls.push_back("init" + std::to_string(N));
}
template <int N>
void ExitProc() {
  calls.push_back("exit" + std::to_string(N));
  fprintf(stderr, "exit%d ", N);
}

// The program's slots, registered as its modules do: each module its init
// procedure first, then its exit procedure. The table is emptied after each
// test so that no slot outlives it.
class Slots : public ::testing::Test {
protected:
  void SetUp() override {
    calls.clear();
    ASSERT_EQ(SYS_AddExitProc("Release base lib ...", 0, ExitProc<0>), 0);
    ASSERT_EQ(SYS_AddInitProc("Texture loader ...", 4, InitProc<4>), 0);
    ASSERT_EQ(SYS_AddExitProc("Uninit texture loader ...", 4, ExitProc<4>), 0);
    ASSERT_EQ(SYS_AddInitProc("Window manager ...", 1, InitProc<1>), 0);
    ASSERT_EQ(SYS_AddExitProc("Uninit window manager ...", 1, ExitProc<1>), 0);
    ASSERT_EQ(SYS_AddInitProc("GL unit ...", 2, InitProc<2>), 0);
    ASSERT_EQ(SYS_AddExitProc("Uninit GL unit ...", 2, ExitProc<2>), 0);
    ASSERT_EQ(SYS_AddInitProc("GLU unit ...", 3, InitProc<3>), 0);
    ASSERT_EQ(SYS_AddExitProc("Uninit GLU unit ...", 3, ExitProc<3>), 0);
  }
  void TearDown() override {
    for (const char *n : {"Window manager ...", "GL unit ...", "GLU unit ...", "Texture loader ..."})
      SYS_RemoveInitProc(n);
    for (const char *n : {"Release base lib ...", "Uninit window manager ...", "Uninit GL unit ...",
                          "Uninit GLU unit ...", "Uninit texture loader ..."})
      SYS_RemoveExitProc(n);
  }
};
using SlotsDeathTest = Slots;

TEST_F(Slots, InitProceduresRunInSlotOrderEachAfterItsLogLines) {
  LogCapture log;
  SYS_CallInitProcs();
  EXPECT_EQ(calls, (std::vector<std::string>{"init1", "init2", "init3", "init4"}));
  EXPECT_EQ(log.text(),
            "[init] --- subsystems\n"
            "[init] -------------------------\n"
            "[init] call : Window manager ...\n"
            "[init] -------------------------\n"
            "[init] call : GL unit ...\n"
            "[init] -------------------------\n"
            "[init] call : GLU unit ...\n"
            "[init] -------------------------\n"
            "[init] call : Texture loader ...\n"
            "[init] --- end\n");
}

TEST_F(Slots, RemovingAnUnknownNameChangesNothing) {
  EXPECT_NE(SYS_RemoveExitProc("Uninit sound system ..."), 0);
  EXPECT_NE(SYS_RemoveInitProc("Sound system ..."), 0);
  SYS_CallInitProcs();
  EXPECT_EQ(calls.size(), 4u);

  EXPECT_EQ(SYS_RemoveInitProc("GL unit ..."), 0);
  calls.clear();
  SYS_CallInitProcs();
  EXPECT_EQ(calls, (std::vector<std::string>{"init1", "init3", "init4"}));
}

TEST_F(Slots, ALongNameIsKeptAsItsFirst32Characters) {
  const std::string name = "Sound system and its music player";  // 33 characters
  const std::string longer = name + " thread";                      // 40
  ASSERT_EQ(longer.size(), 40u);
  ASSERT_EQ(SYS_AddInitProc(longer, 5, InitProc<5>), 0);
  {
    LogCapture log;
    SYS_CallInitProcs();
    EXPECT_NE(log.text().find("[init] call : " + longer.substr(0, 32) + "\n"), std::string::npos)
        << log.text();
  }
  // Removal compares the cut name, so the full name still finds it.
  EXPECT_EQ(SYS_RemoveInitProc(longer), 0);
}

TEST_F(Slots, RegisteringAUsedSlotAgainReplacesIt) {
  ASSERT_EQ(SYS_AddInitProc("Window manager ...", 1, InitProc<7>), 0);
  SYS_CallInitProcs();
  EXPECT_EQ(calls.front(), "init7");
}

TEST_F(Slots, ASlotOutsideTheTableIsRefusedWithCode10) {
  EXPECT_EQ(SYS_AddInitProc("Too far ...", 32, InitProc<9>), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_AddExitProc("Too low ...", -1, ExitProc<9>), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  SYS_CallInitProcs();
  EXPECT_EQ(calls.size(), 4u);
}

TEST_F(SlotsDeathTest, ExitRunsEveryExitProcedureDownwardsAndEndsWithTheCode) {
  LogCapture log;
  // No init procedure has run: exit procedures run all the same.
  EXPECT_EXIT(SYS_Exit(1), ::testing::ExitedWithCode(1), "exit4 exit3 exit2 exit1 exit0 ");
  const std::string expected =
      "[exit] --- subsystems\n"
      "[exit] call : Uninit texture loader ...\n"
      "[exit] call : Uninit GLU unit ...\n"
      "[exit] call : Uninit GL unit ...\n"
      "[exit] call : Uninit window manager ...\n"
      "[exit] call : Release base lib ...\n"
      "[exit]\n";
  std::string text = log.text();
  EXPECT_EQ(text.substr(0, expected.size()), expected) << text;
  // The framework shutdown follows and closes the log.
  EXPECT_NE(text.find("--- End of log.", expected.size()), std::string::npos);
}

TEST_F(SlotsDeathTest, AFatalFailureInAnInitProcedureRunsEveryExitProcedure) {
  ASSERT_EQ(SYS_AddInitProc("GL unit ...", 2, [] {
              fprintf(stderr, "init2 ");
              SYS_Exit(1);
            }),
            0);
  EXPECT_EXIT(SYS_CallInitProcs(), ::testing::ExitedWithCode(1),
              "init2 exit4 exit3 exit2 exit1 exit0 ");
}

TEST_F(SlotsDeathTest, TheExitStatusIsTheCodesLowEightBits) {
  EXPECT_EXIT(SYS_Exit(0), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(SYS_Exit(256 + 3), ::testing::ExitedWithCode(3), "");
}

TEST_F(SlotsDeathTest, AnExitProcedureThatEndsTheProgramContinuesTheShutdown) {
  // As when an exit procedure fails fatally: the slots below still run,
  // none runs twice, and the later code stands.
  ASSERT_EQ(SYS_AddExitProc("Fails fatally ...", 3, [] {
              fprintf(stderr, "fatal ");
              SYS_Exit(1);
            }),
            0);
  EXPECT_EXIT(SYS_Exit(0), ::testing::ExitedWithCode(1), "exit4 fatal exit2 exit1 exit0 ");
  SYS_RemoveExitProc("Fails fatally ...");
}

TEST(PasStr, AShorterTextReusesTheBufferAndOverwritesTheEarlierResult) {
  const std::string hundred(100, 'x');
  const char *first = PasStr(hundred);
  EXPECT_EQ(std::string(first), hundred);
  const char *second = PasStr("0123456789");
  EXPECT_EQ(second, first);
  EXPECT_STREQ(first, "0123456789");

  // A text taken from the buffer itself survives a conversion.
  std::string_view tail(second + 5, 5);
  EXPECT_STREQ(PasStr(tail), "56789");
  const char *grown = PasStr(std::string(200, 'y'));
  EXPECT_EQ(strlen(grown), 200u);
  EXPECT_STREQ(PasStr(""), "");
}

TEST(PasLog, ALongLineIsCutButKeepsItsLineFeed) {
  LogCapture log;
  pasLog(std::string(300, 'a'));
  pasLog("[init] next");
  EXPECT_EQ(log.text(), std::string(254, 'a') + "\n[init] next\n");
}

TEST(PasLog, RawPiecesGetNoLineFeedAndAreCutAt255) {
  LogCapture log;
  pasLogRaw("[pas] one ");
  pasLogRaw(std::string(300, 'b'));
  EXPECT_EQ(log.text(), "[pas] one " + std::string(255, 'b'));
}

TEST(PasMem, BlocksAreDescribedAsThePascalSidesOwn) {
  void *p = pasMemGet(16, "pas-block");
  ASSERT_NE(p, nullptr);
  memcpy(p, "0123456789abcdef", 16);
  ASSERT_NE(pasMemRealloc(&p, 64, "pas-grown"), nullptr);
  EXPECT_EQ(memcmp(p, "0123456789abcdef", 16), 0);

  TempDir dir;
  ASSERT_EQ(SYS_MemDumpLeaks(dir.str("leaks.txt").c_str()), 0);
  EXPECT_NE(ReadFile(dir.str("leaks.txt")).find("[[pas]:0] pas-grown -> 64 bytes\n"),
            std::string::npos);

  pasMemFree(&p);
  EXPECT_EQ(p, nullptr);
}

// pasBaseInit starts the framework and changes the current folder: every
// case runs in a child process.
TEST(BaseInitDeathTest, ARelativeProgramPathGivesAnAbsoluteProgramFolder) {
  TempDir dir;
  fs::create_directories(dir.path() / "app" / "bin");
  WriteFile(dir.path() / "app" / "bin" / "prog", "");
  const std::string expected = dir.str("app/bin") + "/";
  ScopedCwd cwd(dir.path() / "app");
  auto child = [&] {
    setenv("HOME", dir.str().c_str(), 1);
    char word[] = "./bin/prog";
    char *argv[] = {word, nullptr};
    pasBaseInit(1, argv);
    char now[4096];
    bool ok = getcwd(now, sizeof now) && std::string(now) + "/" == expected &&
              expected == pasSystemDir && dir.str() + "/" == pasHomeDir &&
              std::string(SYS_CfgArg(0)) == dir.str("app/bin/prog");
    fprintf(stderr, "cwd '%s' system '%s' home '%s'\n", now, pasSystemDir, pasHomeDir);
    _exit(ok ? 0 : 3);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

TEST(BaseInitDeathTest, AProgramFoundThroughPathIsLocatedByTheRunningExecutable) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  const std::string expected = fs::canonical("/proc/self/exe").parent_path().string() + "/";
  auto child = [&] {
    char word[] = "framework_tests";
    char *argv[] = {word, nullptr};
    pasBaseInit(1, argv);
    char now[4096];
    bool ok = getcwd(now, sizeof now) && std::string(now) + "/" == expected;
    _exit(ok ? 0 : 3);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

TEST(BaseInitDeathTest, AProgramFolderThatCannotBeEnteredSaysWhyAndFails) {
  auto child = [&] {
    char word[] = "/nonexistent-ember/Contents/MacOS/prog";
    char *argv[] = {word, nullptr};
    pasBaseInit(1, argv);
    _exit(0);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(1),
              "cannot change to the program's folder '/nonexistent-ember/Contents/MacOS/': No such file");
}

TEST(BaseInitDeathTest, StartAndShutdownLogTheBaseLinesAndTheReportListsTheBridgesString) {
  TempDir dir;
  const std::string log = dir.str("start.log");
  const std::string report = dir.str("leaks.txt");
  auto child = [&] {
    std::string prog = fs::canonical("/proc/self/exe").string();
    std::vector<std::string> words = {prog, "-v", "-debug-log", log, "-debug-memleak", "-mf", report};
    std::vector<char *> argv;
    for (auto &w : words) argv.push_back(w.data());
    pasBaseStart(static_cast<int>(argv.size()), argv.data());
    if (!pasCPU) _exit(3);
    SYS_Exit(0);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
  std::string text = ReadFile(log);
  const std::string folder = fs::canonical("/proc/self/exe").parent_path().string() + "/";
  EXPECT_NE(text.find("--- zelka!quorvix application framework 0.8\n"), std::string::npos);
  EXPECT_NE(text.find("[cpu] CPU: "), std::string::npos);
  EXPECT_NE(text.find("[base] SYSTEM DIR: '" + folder + "'\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[exit] call : Release base lib ...\n[exit]\n"), std::string::npos);

  // The shutdown's own log lines went through the bridge's one string,
  // which the memory shutdown reports with the report's name: the string
  // last grown for "[exit] call : Release base lib ...\n" (35 characters
  // and 5 spare), newest first.
  const std::string leaks = ReadFile(report);
  EXPECT_NE(leaks.find("Unreleased memory:\n\n[[pas]:0] PasStr -> 40 bytes\n[memory.cpp:"),
            std::string::npos)
      << leaks;
  EXPECT_NE(leaks.find("] StrDup: /"), std::string::npos) << leaks;
}

}  // namespace
