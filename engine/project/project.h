// Effect projects: timelines of operators that clear, set viewports, render
// the project's scenes, draw its layer effects, flash, copy the frame and
// run full-screen passes, each operator acting inside the time windows of
// its keys with an eased amount.
//
// QEX_Init makes the unit's shared resources (scene cache, scale factors,
// point tables, noise and render textures) and must run once with a
// current context before a project is loaded or played. QEX_LoadProject
// reads a project file (a plain file, relative to the current folder) with
// every scene and layer effect it names; scenes come from "data/" through a
// process-wide cache keyed by the file name after its last backslash, so a
// scene named by several slots or projects loads once and its copies share
// one set of arrays. QEX_RenderProject draws one frame at a time t; it
// neither clears by itself nor swaps.
//
// A project file is checked whole before anything is loaded from it: a
// negative count, or a count that the bytes left in the file cannot hold,
// and a file that ends early, end the program through the fatal exit
// naming the file, so a project is never half loaded. A scene file loads
// once whatever spellings name it ("a.scn", "./a.scn", a link to it): the
// others get copies of its record, as cache hits do. Scene files past the
// cache's room still load, uncached. Operators whose
// numbers name nothing in the project (scene, layer effect, render
// texture, object) are skipped by the player.
//
// Main thread only, with the OpenGL context current.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "effects/ife.h"
#include "engine/scene/records.h"

struct QEX_Key {
  int32_t start;
  int32_t end;
  uint8_t easemode;  // 0 linear, 1 and 2 sine curves
  int32_t startvalue, middlevalue, endvalue;
};

struct QEX_Operator {
  int32_t type;
  int32_t index;      // scene or layer effect the operator works on
  uint8_t param[32];  // file offsets 8..39: param[N - 8] is bN
  QEX_Key *keys;      // keycount keys
  int32_t keycount;
  _3DV_SHORTSTRING name;
};

struct QEX_RGBA {
  uint8_t r, g, b, a;
};

struct QEX_Project {
  _3DV_SHORTSTRING name;
  int32_t unused[4];
  int32_t scenecount;
  int32_t layercount;
  int32_t operatorcount;
  QEX_Operator *operators;  // operatorcount records
  _3DV_SCENE *scenes;       // scenecount records
  ife_interface *layers;    // layercount records
};

// Sizes of the file's records.
constexpr size_t QEX_HEADER_SIZE = 284;
constexpr size_t QEX_NAME_SIZE = 256;
constexpr size_t QEX_OPERATOR_SIZE = 304;
constexpr size_t QEX_KEY_SIZE = 24;

constexpr int32_t QEX_CACHE_SIZE = 256;
constexpr int32_t QEX_RENDER_TEXTURES = 8;
constexpr int32_t QEX_NOISE_TEXTURES = 32;
constexpr int32_t QEX_POINTS = 20001;
// Particle slots every loaded scene gets.
constexpr int32_t QEX_PARTICLES_PER_SCENE = 5000;

struct QEX_CacheEntry {
  _3DV_SHORTSTRING name;
  _3DV_SCENE *scene;
};

// The unit's process-wide resources.
struct QEX_UnitState {
  float sx, sy;  // frame size over the 1024 x 768 design space
  float X[QEX_POINTS], Y[QEX_POINTS], Z[QEX_POINTS], G[QEX_POINTS];
  uint32_t noise[QEX_NOISE_TEXTURES];
  uint32_t render[QEX_RENDER_TEXTURES];  // 0..3 frame size, 4..7 256 x 256
  int32_t program1, program2;            // shader passes; 0 unless a caller sets them
  QEX_CacheEntry cache[QEX_CACHE_SIZE];
  int32_t cachecount;
};
extern QEX_UnitState QEX_State;

// ---- set-up and flash --------------------------------------------------------

// Empties the cache, draws the point tables and the noise from the
// process-wide random sequence, sets the scale factors and makes the
// textures (render textures start black). A second call deletes the
// textures of the first.
void QEX_Init(int32_t width, int32_t height);
// Additive noise over the viewport at brightness amount / 1000.
void QEX_DrawFlash(float amount);
void QEX_Nop(std::string_view a, std::string_view b);

// ---- loading -----------------------------------------------------------------

// The part of name after its last backslash; the whole name without one.
std::string QEX_StripPath(std::string_view name);

// What loading calls for each scene and layer effect; the loader below
// passes the engine's and the layer-effect module's own. A scene loader
// gets a zeroed record and the path "data/" + stripped name.
struct QEX_Loaders {
  void (*loadScene)(_3DV_SCENE &scene, const std::string &path);
  void (*loadLayers)(ife_interface &iface, const std::string &path);
  void (*loadBarStep)();
};
QEX_Loaders QEX_DefaultLoaders();

// Loads a project from bytes. False, with the reason and nothing loaded
// or allocated, when the bytes are not a whole project.
bool QEX_ParseProject(QEX_Project &project, const uint8_t *bytes, size_t size,
                      const QEX_Loaders &loaders, std::string &error);
// Reads the bytes of a project file that its layout takes, no more: the
// header, the names and operator records its counts ask for, then the keys
// the operators count; bytes after them are never read. The file may be a
// pipe or a FIFO. A file that ends sooner gives what it has, for
// QEX_ParseProject to judge. False, with what went wrong ("cannot be
// opened", "cannot be read ..."), when the file cannot be read. Never
// throws.
bool QEX_ReadProjectFile(const std::string &fileName, std::vector<uint8_t> &bytes,
                         std::string &error);
// Reads the file; any failure ends the program through the fatal exit.
void QEX_LoadProject(QEX_Project &project, std::string_view fileName);
// Gives back the arrays the loader made for the project (operators, keys,
// the scene array) and its layer effects, not the scenes' contents, which
// the cache may share with other projects. For tests and tools.
void QEX_FreeProjectArrays(QEX_Project &project);

// ---- player ------------------------------------------------------------------

float QEX_EaseIn(float a, float b, uint8_t mode, float f);
float QEX_EaseOut(float a, float b, uint8_t mode, float f);
float QEX_EaseKey(float start, float end, uint8_t mode, float startValue, float middleValue,
                  float endValue, float t);
void QEX_RenderProject(QEX_Project project, float t);
