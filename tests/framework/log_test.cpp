#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "core_test_util.h"
#include "support/test_support.h"

using ember_test::ReadFile;
using ember_test::ResetLog;
using ember_test::SetArgs;
using ember_test::TempDir;
using ember_test::WriteFile;

namespace {

// Starts the log the way the framework's start-up does, from dir.
std::string StartLog(const TempDir &dir, std::initializer_list<const char *> words) {
  ember_test::ScopedCwd cwd(dir.path());
  SetArgs(words);
  SYS_LogInit();
  const char *file = SYS_LogGetFile();
  return file ? file : "";
}

}  // namespace

TEST(Log, OffWithoutVOrC) {
  TempDir dir;
  WriteFile(dir.path() / "debug.log", "old");
  StartLog(dir, {"-debug-ts", "-debug-log", "other.log"});
  SYS_Log(1, "[x] hello\n");
  EXPECT_EQ(SYS_LogGetFile(), nullptr);
  EXPECT_EQ(ReadFile(dir.path() / "debug.log"), "old");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "other.log"));
  ResetLog();
}

TEST(Log, VRemovesTheOldLogAndWritesTheBanner) {
  TempDir dir;
  WriteFile(dir.path() / "debug.log", "old content\n");
  std::string file = StartLog(dir, {"-v"});
  EXPECT_EQ(file, dir.str("debug.log"));  // absolute, tied to the start folder
  SYS_Log(1, "[x] line\n");
  ResetLog();
  std::string log = ReadFile(file);
  EXPECT_EQ(log.find("old content"), std::string::npos);
  EXPECT_EQ(log.rfind("\n\n--- zelka!quorvix application framework 0.8\n--- started : ", 0), 0u);
  EXPECT_NE(log.find("--- application : prog\n\n"), std::string::npos);
  EXPECT_NE(log.find("[x] line\n"), std::string::npos);
  EXPECT_NE(log.find("\n--- End of log.\n\n"), std::string::npos);
}

TEST(Log, AppendKeepsTheOldLogAndDebugLogNamesTheFile) {
  TempDir dir;
  WriteFile(dir.path() / "mine.log", "old content\n");
  std::string file = StartLog(dir, {"-v", "-debug-append", "-debug-log", "mine.log"});
  EXPECT_EQ(file, dir.str("mine.log"));
  ResetLog();
  std::string log = ReadFile(file);
  EXPECT_EQ(log.rfind("old content\n\n\n--- zelka", 0), 0u);
}

TEST(Log, ValuelessDebugLogFallsBackToTheDefault) {
  TempDir dir;
  std::string file = StartLog(dir, {"-v", "-debug-log"});
  EXPECT_EQ(file, dir.str("debug.log"));
  ResetLog();
}

TEST(Log, StampsOnlyLevelOnePieces) {
  TempDir dir;
  std::string file = StartLog(dir, {"-v", "-debug-ts"});
  SYS_Log(1, "[x] stamped\n");
  SYS_Log(0, "raw piece\n");
  ResetLog();
  std::string log = ReadFile(file);
  EXPECT_TRUE(std::regex_search(log, std::regex("\\n\\d{8} \\d{6} \\[x\\] stamped\\n")));
  EXPECT_NE(log.find("\nraw piece\n"), std::string::npos);
  EXPECT_EQ(log.rfind("\n\n", 0), 0u);  // the banner's level-0 start is never stamped
}

TEST(Log, CEchoesEveryPieceToStandardOutput) {
  TempDir dir;
  testing::internal::CaptureStdout();
  std::string file = StartLog(dir, {"-c"});
  SYS_Log(1, "[x] echoed\n");
  ResetLog();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("[x] echoed\n"), std::string::npos);
  EXPECT_NE(ReadFile(file).find("[x] echoed\n"), std::string::npos);
}

TEST(Log, LongPiecesAreCutAt4095Characters) {
  TempDir dir;
  std::string file = StartLog(dir, {"-v"});
  std::string big(5000, 'q');
  SYS_Log(0, "%s", big.c_str());
  ResetLog();
  std::string log = ReadFile(file);
  size_t start = log.find("qqqq");
  ASSERT_NE(start, std::string::npos);
  EXPECT_EQ(log.find_first_not_of('q', start) - start, 4095u);
}

TEST(Log, SetFileRefusesNull) {
  EXPECT_EQ(SYS_LogSetFile(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

TEST(ErrorCode, GetReadsAndClears) {
  SYS_ErrorSet(42);
  EXPECT_EQ(SYS_ErrorGet(), 42);
  EXPECT_EQ(SYS_ErrorGet(), 0);
}

namespace {
int g_hook_calls = 0;
int g_hook_code = 0;
std::string g_hook_name;
void Hook(int32_t code, const char *name) {
  ++g_hook_calls;
  g_hook_code = code;
  g_hook_name = name;
}
}  // namespace

TEST(ErrorCode, ReportCallsTheHookOnlyWithAName) {
  SYS_ErrorSetCallback(Hook);
  g_hook_calls = 0;
  SYS_ErrorReport(11, nullptr);
  EXPECT_EQ(g_hook_calls, 0);
  EXPECT_EQ(SYS_ErrorGet(), 11);
  SYS_ErrorReport(2, "missing.tga");
  EXPECT_EQ(g_hook_calls, 1);
  EXPECT_EQ(g_hook_code, 2);
  EXPECT_EQ(g_hook_name, "missing.tga");
  EXPECT_EQ(SYS_ErrorGet(), 2);
  SYS_ErrorSetCallback(nullptr);
}
