// The geometry of a loaded scene as two text files, for looking at meshes
// outside the engine. base + "v" holds the vertices and base + "f" the
// triangles; each object gives its name, a line of one blank, then one
// line per entry: its index and its three coordinates (four decimals) or
// three corner indices, separated by blanks. The scene is not changed.
//
// Plain files relative to the current folder; a file that cannot be
// created or written ends the process through the fatal exit (a vertex
// file already finished stays). Main thread only.
#pragma once

#include <string_view>

#include "engine/scene/records.h"

void _3DV_DumpGeometry(const _3DV_SCENE &scene, std::string_view base);
