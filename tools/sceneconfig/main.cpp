// sceneconfig: writes the text configuration of scene files beside them.
//
//   sceneconfig SCENE...
//
// Each SCENE (a chunked scene file, e.g. data/hall.scn) is read with the
// engine's reader, without OpenGL, and its current settings are written to
// the same path with the extension ".cfg" (data/hall.cfg), so the sample
// set carries a configuration that _3DV_LoadConfig applies to the scene it
// came from. Exit status 1 when a scene cannot be read.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/anim/scene_config.h"
#include "engine/render/engine_state.h"
#include "engine/scene/records.h"
#include "engine/scene/scene_file.h"
#include "engine/scene/scene_reader.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: sceneconfig SCENE...\n");
    return 2;
  }
  _3DV_EngineUnitInit();
  _3DV_InitTypeSizes();
  _3DV_LoaderUnitInit();
  for (int i = 1; i < argc; ++i) {
    const std::string path = argv[i];
    _3DV_SCENE scene{};
    std::string error;
    bool unreadable = false;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    const bool read = file && _3DV_ParseSceneFile(scene, file, unreadable, error);
    if (file) std::fclose(file);
    if (!read) {
      std::fprintf(stderr, "sceneconfig: %s: %s\n", path.c_str(),
                   !file ? "cannot be read" : error.c_str());
      return 1;
    }
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    const bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    _3DV_SaveConfig(scene, (has_extension ? path.substr(0, dot) : path) + ".cfg");
    _3DV_FreeSceneArrays(scene);
  }
  return 0;
}
