// The display side of the window manager: the desktop mode recorded at
// start-up, the list of modes the display offers, exact mode switches and
// their restore, display fades, and what is known of the renderer.
// Main thread only.
#pragma once

#include <cstdint>

#include "framework/list.h"

struct wm_videomode_t {
  int32_t width;
  int32_t height;
  int32_t bits;       // bits per pixel
  float frequency;    // hertz, 0 when the display reports none
};
typedef wm_videomode_t *wm_videomode_p;

// The main display's mode at start-up (wmParam codes 5 to 8), the
// renderer's name (code 0; owned here) and video memory in bytes (code 1).
extern int32_t wmDesktopWidth;
extern int32_t wmDesktopHeight;
extern int32_t wmDesktopBits;
extern int32_t wmDesktopFrequency;
extern char *wmRendererName;
extern int64_t wmVideoMemory;

struct wmRendererName_t {
  uint32_t id;
  const char *name;
};
// Known renderer ids, ended by id 0.
extern const wmRendererName_t wmRendererNames[];

int wmDmInit();
void wmReadCurrentMode();
int wmDmShutdown();
int wmRestoreVideoMode();
// A new list of new records, one per mode, in the display's order; the
// caller owns both. NULL when the display offers none.
SYS_List_p wmGetVideoModes();
// Frees a list made by wmGetVideoModes and its records.
void wmFreeVideoModes(SYS_List_p modes);
int wmSetVideoMode(int32_t width, int32_t height, int32_t bits, float frequency);
void wmFadeDisplay(int32_t direction, float seconds);
void wmFadeRelease();
int wmAglInit();
int wmAglShutdown();
