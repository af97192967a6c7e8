// Network start-up and shutdown.
//
// BSD sockets need no process-wide preparation on Linux, so both calls only
// clear the last-error code; they keep their place in the framework's
// start-up and shutdown order so that a later need has somewhere to live.
// Main thread only.
#include "framework/net.h"

#include "framework/log.h"

int SYS_NetInit() {
  SYS_ErrorClear();
  return 0;
}

void SYS_NetShutdown() { SYS_ErrorClear(); }
