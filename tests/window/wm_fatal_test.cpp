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
#include "support/test_support.h"

namespace {

using ember_test::RunInChild;
using ChildResult = ember_test::RunResult;

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
