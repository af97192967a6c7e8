// The recording fake back-end's controls, for tests. After
// plSetBackend(PL_BACKEND_FAKE) every platform call is kept as one text
// line ("WindowCreate 10,20 640x480 attrs=0x1200001f"), windows keep their
// geometry in memory, and events come only from plFakePushEvent. Nothing
// here touches a display.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// Forgets the recorded calls, queued events and failure switches, and
// restores the default display (1024x768 32 bits 60 Hz; modes 640x480,
// 800x600 and 1024x768 at 32 bits 60 Hz) and renderer (id 0, no memory).
// Live windows stay live.
void plFakeReset();

const std::vector<std::string> &plFakeCalls();
void plFakeClearCalls();
// The recorded calls whose line starts with prefix, in order.
std::vector<std::string> plFakeCallsStartingWith(const std::string &prefix);

// Queues an event for plDispatchEvent; the path, if any, is copied.
void plFakePushEvent(const pl_event_t &event);

void plFakeSetDisplay(const pl_mode_t &desktop, const std::vector<pl_mode_t> &modes);
void plFakeSetRenderer(const pl_renderer_t &info);

// Makes the named operation fail until switched off: "DisplayInit",
// "WindowCreate", "GlCreateContext", "WindowAcceptDrops", "FadeReserve".
void plFakeFail(const std::string &operation, bool fail);

// A loop that waits for events nobody will queue fails instead of
// hanging: after that many empty event waits in a row the fake writes
// "fake back-end: gave up after N empty event waits" to standard error and
// aborts. 0 (the default, and after plFakeReset) waits forever.
void plFakeGiveUpAfter(int32_t empty_waits);

// The mode last stored by plDisplaySwitchMode and not yet restored.
bool plFakeSwitchedMode(pl_mode_t *mode);
bool plFakeCursorVisible();
