// The chunked scene file: the format version this system writes.
//
// Files written here carry version 1.2 in their chunks 1 and 2. The two
// bytes are set by the scene-file unit's module initialisation, which runs
// once at start-up after _3DV_InitTypeSizes; the writer copies them.
#pragma once

#include <cstdint>

extern uint8_t _3DV_FileVersionMajor;
extern uint8_t _3DV_FileVersionMinor;

void _3DV_LoaderUnitInit();
