#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core_test_util.h"
#include "support/test_support.h"

using ember_test::ReadFile;
using ember_test::ResetLog;
using ember_test::SetArgs;
using ember_test::TempDir;

namespace {

std::atomic<int> g_loops{0};

// A well-behaved body: tests its stop request every few milliseconds.
void *Polite(void *) {
  SYS_Thread_p self = SYS_ThreadSelf();
  while (!SYS_ThreadExit(self)) {
    g_loops++;
    SYS_Sleep(3);
  }
  SYS_ThreadExit(nullptr);
  return nullptr;
}

void *ReturnsAtOnce(void *arg) {
  static_cast<std::atomic<int> *>(arg)->store(1);
  return nullptr;
}

}  // namespace

TEST(Thread, PriorityCodes) {
  EXPECT_EQ(SYS_ThreadPriority(1, 31, 0, 63, 5), 52);
  EXPECT_EQ(SYS_ThreadPriority(0, 31, 0, 63, 5), 31);
  EXPECT_EQ(SYS_ThreadPriority(-1, 31, 7, 63, 5), 7);
  EXPECT_EQ(SYS_ThreadPriority(2, 31, 0, 63, 5), 63);
  EXPECT_EQ(SYS_ThreadPriority(9, 31, 0, 63, 5), 5);
}

TEST(Thread, KillStopsAPoliteBodyAndLogsItsEnd) {
  TempDir dir;
  SetArgs({"-v"});
  SYS_LogSetFile(dir.str("t.log").c_str());
  SYS_LogSetFlags(SYS_LOG_ON);
  size_t live = SYS_MemLiveCount();
  SYS_Thread_p t = SYS_ThreadCreate(Polite, nullptr, 2, "player");
  ASSERT_NE(t, nullptr);
  // Each stop test costs a 25 ms lookup: wait for the body's first pass.
  for (int i = 0; i < 200 && g_loops.load() == 0; ++i) SYS_Sleep(10);
  int32_t start = SYS_TimeGetMs();
  EXPECT_EQ(SYS_ThreadKill(t), 0);
  EXPECT_LT(SYS_TimeGetMs() - start, 500);
  EXPECT_GT(g_loops.load(), 0);
  EXPECT_EQ(SYS_MemLiveCount(), live);
  ResetLog();
  std::string log = ReadFile(dir.path() / "t.log");
  EXPECT_NE(log.find("[thread] create thread: \"player\"\n"), std::string::npos);
  EXPECT_NE(log.find("[thread] thread created: \"player\" (priority: 2)\n"), std::string::npos);
  EXPECT_NE(log.find("[thread] [SYS_ThreadKill] terminate thread: \"player\"\n"), std::string::npos);
  EXPECT_NE(log.find("[thread] [SYS_ThreadExit] thread: 'player' state: 2\n"), std::string::npos);
  EXPECT_NE(log.find("[thread] [SYS_ThreadKill] thread: 'player' state: 2\n"), std::string::npos);
}

TEST(Thread, KillOfABodyThatReturnedEnds) {
  std::atomic<int> ran{0};
  SYS_Thread_p t = SYS_ThreadCreate(ReturnsAtOnce, &ran, 0, "quick");
  ASSERT_NE(t, nullptr);
  SYS_Sleep(20);
  EXPECT_EQ(SYS_ThreadKill(t), 0);
  EXPECT_EQ(ran.load(), 1);
}

TEST(Thread, BadArguments) {
  EXPECT_EQ(SYS_ThreadKill(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_ThreadCreate(nullptr, nullptr, 0, "x"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_MutexLock(nullptr), 0);
  EXPECT_EQ(SYS_MutexUnlock(nullptr), 0);
  SYS_MutexFree(nullptr);
}

TEST(ThreadDeathTest, SelfFromAForeignThreadEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(SYS_ThreadSelf(), ::testing::ExitedWithCode(1), "");
}

namespace {

struct Worker {
  int id;
  std::vector<void *> kept;
};

void *Busy(void *arg) {
  auto *w = static_cast<Worker *>(arg);
  for (int i = 0; i < 200; ++i) {
    SYS_Log(1, "[thread] worker %d line %d %s\n", w->id, i, "padding-padding-padding-padding");
    void *p = SYS_MemGet(static_cast<size_t>(16 + i), "busy", w->id, "scratch");
    if (i % 50 == 0)
      w->kept.push_back(p);  // left live on purpose
    else
      SYS_MEMFREE(p);
  }
  SYS_ThreadExit(nullptr);
  return nullptr;
}

}  // namespace

TEST(Thread, ConcurrentLoggingAndAllocationStayWhole) {
  TempDir dir;
  SetArgs({"-v"});
  SYS_LogSetFile(dir.str("busy.log").c_str());
  SYS_LogSetFlags(SYS_LOG_ON);
  size_t live = SYS_MemLiveCount();
  std::vector<Worker> workers(4);
  std::vector<SYS_Thread_p> threads;
  for (int i = 0; i < 4; ++i) {
    workers[i].id = i;
    threads.push_back(SYS_ThreadCreate(Busy, &workers[i], 0, "busy"));
    ASSERT_NE(threads.back(), nullptr);
  }
  for (SYS_Thread_p t : threads) SYS_ThreadKill(t);
  EXPECT_EQ(SYS_MemLiveCount(), live + 16);

  std::string report = dir.str("report.txt");
  SYS_MemDumpLeaks(report.c_str());
  std::string text = ReadFile(report);
  int scratch = 0;
  for (size_t pos = 0; (pos = text.find("] scratch -> ", pos)) != std::string::npos; ++pos) ++scratch;
  EXPECT_EQ(scratch, 16);
  for (auto &w : workers)
    for (void *p : w.kept) SYS_MEMFREE(p);
  EXPECT_EQ(SYS_MemLiveCount(), live);

  ResetLog();
  std::istringstream log(ReadFile(dir.path() / "busy.log"));
  std::regex whole("\\[thread\\] worker [0-3] line \\d+ padding-padding-padding-padding");
  int lines = 0;
  for (std::string line; std::getline(log, line);) {
    if (line.find("worker") == std::string::npos) continue;
    EXPECT_TRUE(std::regex_match(line, whole)) << line;
    ++lines;
  }
  EXPECT_EQ(lines, 800);
}
