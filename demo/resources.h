// The demo's resources: every file it loads at start-up, the records they
// become, the loading bar drawn after each load, and the checks that make
// each file fit the readers that address its bytes directly.
//
// Everything here is process-wide, filled once on the main thread during
// start-up and read by the set-up, the frame loop and the scenes until the
// process ends; nothing is freed. Files are read whole through the virtual
// file system. A file that cannot be opened ends the program inside the
// file layer (FatalErrorHandler); a file that is shorter than its readers
// need, or a mesh whose faces name vertices it does not have, ends it
// through the fatal exit naming the file.
//
// Data files are little-endian; SwapWords converts them on a big-endian
// host and does nothing on a little-endian one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/ife.h"

// A mesh: arrays of the loaded file blocks themselves, converted in place.
struct TMeshRecord {
  int32_t *faces;     // three 0-based vertex indices per face
  float *vertices;    // x, y, z per vertex
  float *third;       // per vertex: the normal, or u, v, w for tft
  int32_t faceCount;
  int32_t vertexCount;
};

// One whole file in memory.
struct TLoadedFile {
  uint8_t *data;  // never NULL once loaded
  int32_t size;   // bytes
};

// Sizes the readers of the raw files address.
constexpr int32_t MESH_ENTRY_BYTES = 12;          // a face, vertex, normal or uvw entry
constexpr int32_t SYNC_RECORD_BYTES = 5;          // time (i32, little-endian) + channel
constexpr int32_t SYNC_RECORDS_MAX = 4232;        // records scanned each frame at most
constexpr int32_t TGA_HEADER_BYTES = 18;
constexpr int32_t TGA_PALETTED_PIXELS = 18 + 768; // header and 256-colour map
constexpr int32_t EMBERFIELD_RAW_WIDTH = 196;
constexpr int32_t EMBERFIELD_RAW_HEIGHT = 32;
constexpr int32_t EMBERFIELD_RAW_BYTES = EMBERFIELD_RAW_WIDTH * EMBERFIELD_RAW_HEIGHT;
constexpr int32_t GREETS_FRAMES = 14;             // of 256 x 128, one byte per pixel
constexpr int32_t GREETS_TGA_BYTES = TGA_PALETTED_PIXELS + GREETS_FRAMES * 256 * 128;
constexpr int32_t TEXT_GLYPHS = 7;                // of 48 x 24, one byte per pixel
constexpr int32_t TEXT_TGA_BYTES = TGA_PALETTED_PIXELS + TEXT_GLYPHS * 48 * 24;
constexpr int32_t BPLOGO_SMALL_TGA_BYTES = TGA_HEADER_BYTES + 512 * 256 * 4;
constexpr int32_t MONSTER_ALPHA_TGA_BYTES = TGA_HEADER_BYTES + 800 * 600;
constexpr int32_t MONSTER_COLOR_TGA_BYTES = TGA_HEADER_BYTES + 800 * 600 * 3;
constexpr int32_t MATRIX_BYTES = 128 * 128 * 48;  // the voxel grid

// The chosen mode: start values 0, 800, 600, overwritten by StartVideo.
extern int32_t DemoFullScreen, DemoWidth, DemoHeight;
// 1 with the option "debug": overlay and seeking keys.
extern int32_t DemoDebug;
// Loading-bar frames drawn so far.
extern int32_t LoadingSteps;

extern TMeshRecord MeshCoin, MeshDeckf, MeshTft, MeshAlap, MeshCsap;

// "musicsync.dat" and the number of whole records the frame loop scans.
extern TLoadedFile MusicSyncFile;
extern int32_t MusicSyncCount;
// Raw images read byte by byte.
extern TLoadedFile EmberfieldRaw;   // "emberfld.raw"
extern TLoadedFile GreetsTga;       // "greets.tga"
extern TLoadedFile BpLogoSmallTga;  // "bplogo_small.tga"
extern TLoadedFile TextTga;         // "text.tga"
extern TLoadedFile MonsterAlphaTga; // "monster_alpha.tga"
extern TLoadedFile MonsterColorTga; // "monster_color.tga"
// The voxel grid of "matrix.dat": 128 x 128 x 48 bytes; a shorter file
// leaves the rest 0.
extern uint8_t MatrixBuffer[MATRIX_BYTES];
extern uint8_t *Matrix;

// OpenGL texture names of the debug font (64 x 64 luminance) and of the
// work texture (512 x 512 RGB) the glow and blur passes copy frames into.
extern int32_t DebugFontTexture;
extern int32_t WorkTexture;

// Layer effects, in load order.
extern ife_interface IfeLoadBar, IfeVantorLogo, IfeHatter, IfeHatter2, IfeUveg, IfeGombHatter,
    IfeGombFadeIn, IfeFadeOut, IfeBpLogo, IfeBpLogoSmallHatter, IfeBpLogoSmall,
    IfeBpLogoSmallLent, IfeMonsterFlash, IfeWhiteFlash, IfeBpScreen, IfeEndPart, IfeVBlur,
    IfeHBlur, IfeHBlur2;

// Textures, in load order. The numbered groups keep their files in order.
extern int32_t TexEnvMap, TexHatter, TexFlare;
extern int32_t TexVirag[10];  // "virag01.tga" .. "virag10.tga"
extern int32_t TexText[5];    // "text1.tga" .. "text5.tga"
extern int32_t TexLine[7];    // "line1.tga" .. "line7.tga"
extern int32_t TexLevel[6];   // "level1.tga" .. "level5.tga", then "credits.tga"
constexpr int32_t TEX_LEVEL_CREDITS = 5;
extern int32_t TexDemos, TexVtrLogo, TexBpLogoBig, TexEmberfld, TexMonster;

// One frame of the loading bar: counts the step, draws "loadbar.ife" at
// effect time step x 9 in the aspect viewport without clearing, swaps and
// pumps window events once.
void LoadingStep();
// The whole file in a new block (never freed), then one loading step. A
// read that comes up short ends the program naming the file.
TLoadedFile LoadFileToMemory(const char *name);
// Little-endian to host for each whole 32-bit word of the block.
void SwapWords(void *block, int32_t byteCount);

// Ends the program through the fatal exit naming the file when it holds
// fewer than `need` bytes.
void RequireFileSize(const TLoadedFile &file, int32_t need, const char *name);

// What MeshFromBlocks found.
enum TMeshCheck : int32_t {
  MESH_OK = 0,
  MESH_THIRD_SHORT = 1,  // fewer normals or texture coordinates than vertices
  MESH_BAD_INDEX = 2,    // a face names a vertex outside the vertex array
};
// Makes a mesh of its three file blocks (already in host order): the
// counts come from the block sizes (whole entries only), and every face
// index is checked against the vertex count.
TMeshCheck MeshFromBlocks(TMeshRecord &mesh, const TLoadedFile &faces,
                          const TLoadedFile &vertices, const TLoadedFile &third);

// Start-up steps from the loading bar's layer effect to the last texture:
// every resource, the debug font and work textures, and the procedural
// set-up woven in where it belongs. Needs the window's context current.
void LoadDemoResources();
