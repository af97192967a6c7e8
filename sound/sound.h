// The sound system in one include: OpenAL start-up and shutdown, Ogg Vorbis
// streams over the virtual file system, and music handles with their
// player thread.
#pragma once

#include "sound/sound_system.h"
#include "sound/vorbis_stream.h"
#include "sound/music.h"
