// The generators of the data pack's files, one per cohesive group, each a
// task that returns its files. main.cpp runs the tasks in parallel and joins
// their files in this fixed order, so the pack is the same on every run.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/content/content_set.h"
#include "tools/content/text_render.h"

namespace content {

struct GeneratorTask {
  std::string label;
  std::function<ContentSet()> run;
};

// Textures the demo loads by name at start-up (the 36 of its table).
std::vector<GeneratorTask> SceneTextureTasks(const FontBook &fonts);
// Textures that only the layer effects and the dialogs name.
std::vector<GeneratorTask> EffectTextureTasks(const FontBook &fonts);
// Images the demo reads byte by byte: "emberfld.raw", "text.tga",
// "greets.tga", "bplogo_small.tga", "monster_alpha.tga", "monster_color.tga"
// (with "monster.tga", the texture made from the same picture).
std::vector<GeneratorTask> RawImageTasks(const FontBook &fonts);
// The five meshes.
ContentSet MeshFiles();
// "matrix.dat".
ContentSet VoxelFiles();
// The 19 layer effects.
ContentSet LayerEffectFiles();
// "emberfield.ogg" and "musicsync.dat".
ContentSet MusicFiles();
// "cfg.xml", "msgbox.xml", the fonts they name, and "colors.ini".
ContentSet DialogFiles(const FontBook &fonts);

// Every task of the pack in catalog order.
std::vector<GeneratorTask> AllTasks(const FontBook &fonts);
// Runs the tasks on up to `threads` threads and joins their files in order.
ContentSet RunTasks(const std::vector<GeneratorTask> &tasks, int threads);

}  // namespace content
