// The 3D engine's sample set: scene files, layer effects, textures and two
// effect projects, written as plain files into a folder of their own
// ("engine-sample/" beside the data pack) and opened from there.
//
// The scene files come from this generator's own chunk writer, which
// shares nothing with the engine's writer: the engine reads each file and
// writes it back, and the two must agree byte for byte.
//
//   sample.qep   every operator but the shader passes, about 30 s
//   shader.qep   the shader passes (which clear the frame), 9 s
//   data/hall.scn    115 objects: floor, orbiting spheres, pillars, lamps,
//                    screen, glass, grille, scroller, emitters, studs
//   data/hall10.scn  the hall as a version 1.0 file, without neighbours
//   data/room.scn    a small room; the project names it through two paths
//   data/*.ife, textures/*.tga
#pragma once

#include "tools/content/content_set.h"
#include "tools/content/text_render.h"

namespace content {

ContentSet EngineSampleFiles(const FontBook &fonts);

}  // namespace content
