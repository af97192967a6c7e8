// Scene-file unit state; see scene_file.h.
#include "engine/scene/scene_file.h"

uint8_t _3DV_FileVersionMajor = 0;
uint8_t _3DV_FileVersionMinor = 0;

void _3DV_LoaderUnitInit() {
  _3DV_FileVersionMajor = 1;
  _3DV_FileVersionMinor = 2;
}
