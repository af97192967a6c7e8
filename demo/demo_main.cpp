// The demo's main program: start-up, timeline, exit, in that order.
//
// Main thread only. Every failure on the way ends the process elsewhere
// (the file layer's error callback for a file that cannot be opened, the
// fatal exit for everything else), so the sequence below has no error
// paths of its own.
#include "demo/demo_main.h"

#include "demo/frame_loop.h"
#include "demo/resources.h"
#include "demo/shell.h"
#include "framework/sys.h"

void DemoMain() {
  DemoFullScreen = 0;
  DemoWidth = 800;
  DemoHeight = 600;
  SYS_CallInitProcs();
  // Not tested: without the pack the other file sources are tried, and a
  // file none of them serves ends the program when it is opened.
  char *pack = SYS_PathGet(1, "../../../emberfield.dat");
  if (pack) SYS_FilePackOpen(pack);
  SYS_MEMFREE(pack);
  StartVideo("vantor - emberfield", DemoWidth, DemoHeight, DemoFullScreen);
  DemoDebug = SYS_CfgGet("debug", 0) != 0 ? 1 : 0;
  LoadDemoResources();

  ResetFrameState();
  if (!cfg_settings.nosound) StartMusic("emberfield.ogg");
  StartTime = SYS_TimerGet();
  RunFrameLoop();
  DemoExit();
}
