// Layer effects ("interfaces"): stacks of textured, key-framed image layers
// read from ".ife" text files and drawn over the frame in an 800 x 600
// orthographic space (x right, y up, origin at the bottom left), whatever
// the viewport.
//
// A loaded interface owns its layer array and each layer's key array
// (tracked memory) until ife_FreeInterface; textures belong to the texture
// slot table, or, for the special names, to their owners (the buffer
// table, the 3D engine). Every layer a loader hands out has at least one
// key; the renderer still skips a layer without keys, so a record built by
// other code cannot make it read outside its array.
//
// Drawing keeps nothing between calls: an interface draws the same at a
// given time whether time runs forwards, backwards or jumps.
//
// Main thread only, with the OpenGL context current (texture uploads,
// wrap modes, drawing). OpenGL is reached through window/gl_demo.h.
#pragma once

#include <cstdint>
#include <string_view>

// Limits of the records: at most this many layers per interface, keys per
// layer, and interfaces in an effect project's array.
constexpr int32_t IFE_MAX_LAYERS = 1001;
constexpr int32_t IFE_MAX_KEYS = 10001;
constexpr int32_t IFE_MAX_INTERFACES = 101;

// Longest text of a layer's three lines and of a file line.
constexpr int32_t IFE_TEXT_MAX = 255;

// Entries of the buffer table, shown by the layer names "BUF0.JPG" to
// "BUF7.JPG".
constexpr int32_t IFE_BUFFER_COUNT = 8;

// Interpolation modes of a key (the mode of the earlier of two keys rules).
enum : uint8_t {
  IFE_LINEAR = 0,
  IFE_EASE_OUT = 1,  // fast start, slow end
  IFE_EASE_IN = 2,   // slow start, fast end
};

// One key frame. Times are effect frames; x, y the layer's centre; width
// and height its full size; angle in degrees about the screen normal;
// colour channels 0 to 255.
struct ife_keys {
  int32_t time;
  float x, y;
  uint8_t mode;
  float angle;
  float width, height;
  float red, green, blue, alpha;
};

struct ife_layer {
  char name[IFE_TEXT_MAX + 1];   // texture file name or special name
  char line2[IFE_TEXT_MAX + 1];  // kept as read, not interpreted
  char line3[IFE_TEXT_MAX + 1];  // kept as read, not interpreted
  int32_t texture;               // OpenGL texture name, 0 for none
  int32_t keycount;
  uint8_t blend;                 // blend mode, see ife_DrawInterface
  ife_keys *keys;                // keycount keys
};

// A never-loaded interface (all zero) has no layers and draws nothing.
struct ife_interface {
  int32_t layercount;
  int32_t header2;    // second header value, kept as read
  ife_layer *layers;  // layercount layers
};

// Texture names behind "BUF0.JPG" to "BUF7.JPG"; all 0 at start. The demo
// puts its work texture into entry 0 before it loads the interfaces that
// show it; a layer reads its entry when it is loaded.
extern int32_t ife_BufferTable[IFE_BUFFER_COUNT];

// The module's own loading bar: a step counter and an interface that no
// operation loads, so a step draws nothing and only swaps.
extern int32_t ife_LoadBarCounter;
extern ife_interface ife_LoadBar;

// ---- loading ---------------------------------------------------------------

// Reads the file into the interface, overwriting its fields (a previous
// layer array is not freed). Layer textures are loaded through the texture
// slot table with filter type 1, from baseFolder + "/" + name when a base
// folder is given. A file that cannot be opened or that is malformed ends
// the program through the fatal exit, naming the file (and the line), and
// so does one whose repeats (a file it already loaded, by its identity,
// named again under another spelling) would take more than 64 MB of
// textures (naming the file and the layer). Distinct files always load.
void ife_LoadInterface(ife_interface &iface, std::string_view fileName,
                       std::string_view baseFolder);

// Releases every slot-table texture and key array and the layer array;
// leaves an empty interface.
void ife_FreeInterface(ife_interface &iface);

// ---- drawing ---------------------------------------------------------------

// Draws every layer at effect time t, later layers over earlier ones. On
// return lighting, depth test, alpha test and face culling are disabled,
// the modelview and texture matrices are identity and the matrix mode is
// GL_MODELVIEW; the projection matrix, blending, texturing and the colour
// are as the last layer left them.
void ife_DrawInterface(ife_interface &iface, float t);

// The easing of one channel from a to b at fraction f (0 to 1). Modes
// other than the three above give 0.
float ife_Interpolate(float a, float b, float f, uint8_t mode);

// One layer at one time: the nine channels after key search and easing,
// colours already scaled to 0..1. What ife_DrawInterface draws.
struct ife_pose {
  float angle, x, y, width, height;
  float red, green, blue, alpha;
};

// Needs a layer with at least one key.
ife_pose ife_LayerPose(const ife_layer &layer, float t);

// Adds one to the loading-bar counter, draws the loading-bar interface at
// counter x 14.0845 and swaps the demo window's buffers.
void ife_LoadBarStep();

// Rotates (x, y, z) by the angles a and b (radians).
void ife_RotatePoint(float x, float y, float z, float a, float b, float &rx, float &ry,
                     float &rz);

// Builds a shader program from a vertex and a pixel shader file with the
// ARB shader objects. Failures are only logged; the handles are returned
// in every case (0 when the renderer lacks shader objects).
void ife_LoadShaders(int32_t &vertexShader, int32_t &pixelShader, int32_t &program,
                     std::string_view vertexFile, std::string_view pixelFile);
