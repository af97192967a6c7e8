// The fatal exit and the window manager's init slot, each run in a child
// process whose standard output and exit status are read back.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "framework/base.h"
#include "platform/fake.h"
#include "window/wm.h"

namespace {

struct ChildResult {
  int status = -1;
  std::string output;
};

ChildResult RunInChild(const std::function<void()> &body) {
  int fds[2];
  EXPECT_EQ(0, pipe(fds));
  fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDOUT_FILENO);
    body();
    _exit(99);  // the body was expected not to return
  }
  close(fds[1]);
  ChildResult result;
  char buffer[512];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return result;
}

TEST(WmFatal, WritesTheMessageAndEndsWithFailureStatus) {
  ChildResult r = RunInChild([] { wmFatal("Unable to create window."); });
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("Unable to create window.\n", r.output);
}

TEST(WmFatal, LongMessagesAreCutTo255Characters) {
  ChildResult r = RunInChild([] { wmFatal(std::string(300, 'x')); });
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(std::string(255, 'x') + "\n", r.output);
}

TEST(WmFatal, RunsTheRegisteredExitProceduresFirst) {
  ChildResult r = RunInChild([] {
    SYS_AddExitProc("test exit", 9, [] { fputs("exit procedure ran\n", stdout); });
    wmFatal("boom");
  });
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("boom\nexit procedure ran\n", r.output);
}

TEST(WmSlot, AWindowManagerThatCannotStartEndsTheProgram) {
  ChildResult r = RunInChild([] {
    plSetBackend(PL_BACKEND_FAKE);
    plFakeReset();
    plFakeFail("DisplayInit", true);
    pasWmRegister();
    SYS_CallInitProcs();
  });
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("WM initialization error.\n", r.output);
}

TEST(WmSlot, RegistersSlotOneUnderItsNames) {
  ChildResult r = RunInChild([] {
    pasWmRegister();
    bool ok = SYS_RemoveInitProc("Window manager ...") == 0 &&
              SYS_RemoveExitProc("Uninit window manager ...") == 0;
    _exit(ok ? 0 : 3);
  });
  EXPECT_EQ(0, r.status);
}

}  // namespace
