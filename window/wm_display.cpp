// Display modes and renderer information: the desktop mode recorded at
// start-up (for wmParam and for the restore), the display's list of modes
// read once at start-up, exact mode switches, the restore, display fades
// and the renderer's name and memory.
//
// A mode switch only ever uses a mode that matches the request exactly
// (size, depth and, when asked, frequency); a close mode is never taken.
// The platform keeps the switched mode until a full-screen window of its
// size exists and restoring leaves full screen; the platform also makes
// sure a changed mode never outlives the process.
//
// Main thread only.
#include "window/wm_display.h"

#include <vector>

#include "framework/log.h"
#include "framework/memory.h"
#include "framework/strings.h"
#include "platform/platform.h"

int32_t wmDesktopWidth = 0;
int32_t wmDesktopHeight = 0;
int32_t wmDesktopBits = 0;
int32_t wmDesktopFrequency = 0;
char *wmRendererName = nullptr;
int64_t wmVideoMemory = 0;

const wmRendererName_t wmRendererNames[] = {
    {0x00020600, "Apple SW"},
    {0x00021000, "ATI Rage 128"},
    {0x00021200, "ATI Radeon"},
    {0x00021400, "ATI Rage PRO"},
    {0x00021600, "ATI Radeon 8500"},
    {0x00021601, "ATI Radeon 9200"},
    {0x00021800, "ATI Radeon 9700"},
    {0x00021802, "ATI Radeon 9550"},
    {0x00021901, "ATI x1600"},
    {0x00022000, "nVidia GeForce 2MX"},
    {0x00022200, "nVidia GeForce 3"},
    {0x00022400, "nVidia FX"},
    {0x00024000, "Intel GMA 950"},
    {0, nullptr},
};

namespace {

bool has_saved_mode = false;
pl_mode_t saved_mode{};
std::vector<pl_mode_t> available_modes;

bool fade_active = false;
int fade_reservation = -1;

// How long a fade may hold the display.
constexpr float kFadeReservationSeconds = 15.0f;

constexpr int64_t kMegabyte = 1048576;

}  // namespace

int wmDmInit() {
  SYS_ErrorClear();
  // Without a video service there is no display to manage.
  if (plDisplayInit() != 0) return -1;
  wmReadCurrentMode();
  SYS_Log(1, "[wm][dm] Screen size: %dx%d %d bits %dHz\n", wmDesktopWidth, wmDesktopHeight,
          wmDesktopBits, wmDesktopFrequency);
  available_modes.clear();
  int32_t count = plDisplayModeCount();
  for (int32_t i = 0; i < count; ++i) {
    pl_mode_t mode;
    if (plDisplayMode(i, &mode) == 0) available_modes.push_back(mode);
  }
  return 0;
}

void wmReadCurrentMode() {
  pl_mode_t mode;
  has_saved_mode = plDisplayCurrentMode(&mode) == 0;
  if (!has_saved_mode) mode = {};
  saved_mode = mode;
  wmDesktopWidth = mode.width;
  wmDesktopHeight = mode.height;
  wmDesktopBits = mode.bits;
  wmDesktopFrequency = mode.refresh;
}

int wmDmShutdown() {
  SYS_ErrorClear();
  wmRestoreVideoMode();
  return 0;
}

int wmRestoreVideoMode() {
  // The start-up mode is what the display returns to once no window
  // holds full screen, so leaving full screen is the whole restore.
  return plDisplayRestore();
}

SYS_List_p wmGetVideoModes() {
  SYS_ErrorClear();
  SYS_List_p list = nullptr;
  for (const pl_mode_t &mode : available_modes) {
    auto *record = static_cast<wm_videomode_t *>(
        SYS_MemGet(sizeof(wm_videomode_t), __FILE__, __LINE__, "wmGetVideoModes"));
    SYS_List_p head = record ? SYS_ListAddLast(list, record) : nullptr;
    if (!head) {
      // All or nothing: a partial list would hide modes without a word.
      if (record) SYS_MEMFREE(record);
      wmFreeVideoModes(list);
      SYS_ErrorSet(5);
      return nullptr;
    }
    record->width = mode.width;
    record->height = mode.height;
    record->bits = mode.bits;
    record->frequency = static_cast<float>(mode.refresh);
    list = head;
  }
  return list;
}

void wmFreeVideoModes(SYS_List_p modes) {
  for (SYS_List_p n = modes; n; n = n->next) SYS_MemFree(&n->data, __FILE__, __LINE__);
  if (modes) SYS_ListFree(modes);
}

int wmSetVideoMode(int32_t width, int32_t height, int32_t bits, float frequency) {
  SYS_ErrorClear();
  for (const pl_mode_t &mode : available_modes) {
    if (mode.width != width || mode.height != height || mode.bits != bits) continue;
    if (frequency != 0.0f && static_cast<float>(mode.refresh) != frequency) continue;
    plDisplaySwitchMode(&mode);
    return 0;
  }
  SYS_ErrorSet(3007);
  return -1;
}

void wmFadeDisplay(int32_t direction, float seconds) {
  SYS_ErrorClear();
  if (fade_active) return;
  fade_reservation = plFadeReserve(kFadeReservationSeconds);
  if (fade_reservation != 0) return;
  if (direction == 0) {
    plFade(seconds, 0.0f, 1.0f, 1);
    fade_active = true;
  } else if (direction == 1) {
    plFade(seconds, 1.0f, 0.0f, 0);
    fade_active = true;
  } else {
    SYS_ErrorSet(10);
  }
}

void wmFadeRelease() {
  if (fade_active && fade_reservation == 0) {
    plFadeRelease();
    fade_active = false;
  }
}

int wmAglInit() {
  SYS_ErrorClear();
  pl_renderer_t info{};
  plRendererInfo(&info);
  wmVideoMemory = info.video_memory;
  if (wmRendererName) SYS_MEMFREE(wmRendererName);
  for (const wmRendererName_t *row = wmRendererNames; row->id != 0; ++row) {
    if (row->id == info.id) {
      wmRendererName = STRDUP(row->name);
      break;
    }
  }
  if (!wmRendererName) wmRendererName = STRDUP("Unknown");
  SYS_Log(1, "[wm][agl]  - device name: %s (0x%x)\n", wmRendererName ? wmRendererName : "Unknown",
          info.id);
  SYS_Log(1, "[wm][agl]   - total memory: %dMB\n", static_cast<int>(info.video_memory / kMegabyte));
  SYS_Log(1, "[wm][agl]   - texture memory: %dMB\n", static_cast<int>(info.texture_memory / kMegabyte));
  return 0;
}

int wmAglShutdown() {
  SYS_ErrorClear();
  if (wmRendererName) SYS_MEMFREE(wmRendererName);
  return 0;
}
