// Resource loading of the start-up, in the order the loading bar shows it.
// See resources.h.
#include "demo/resources.h"

#include <bit>
#include <cstring>
#include <string>

#include "demo/debug_font.h"
#include "demo/draw_helpers.h"
#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "demo/shell.h"
#include "framework/sys.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"

int32_t DemoFullScreen = 0, DemoWidth = 800, DemoHeight = 600;
int32_t DemoDebug = 0;
int32_t LoadingSteps = 0;

TMeshRecord MeshCoin, MeshDeckf, MeshTft, MeshAlap, MeshCsap;

TLoadedFile MusicSyncFile;
int32_t MusicSyncCount = 0;
TLoadedFile EmberfieldRaw, GreetsTga, BpLogoSmallTga, TextTga, MonsterAlphaTga, MonsterColorTga;
uint8_t MatrixBuffer[MATRIX_BYTES];
uint8_t *Matrix = nullptr;

int32_t DebugFontTexture = 0;
int32_t WorkTexture = 0;

ife_interface IfeLoadBar, IfeVantorLogo, IfeHatter, IfeHatter2, IfeUveg, IfeGombHatter,
    IfeGombFadeIn, IfeFadeOut, IfeBpLogo, IfeBpLogoSmallHatter, IfeBpLogoSmall,
    IfeBpLogoSmallLent, IfeMonsterFlash, IfeWhiteFlash, IfeBpScreen, IfeEndPart, IfeVBlur,
    IfeHBlur, IfeHBlur2;

int32_t TexEnvMap, TexHatter, TexFlare;
int32_t TexVirag[10];
int32_t TexText[5];
int32_t TexLine[7];
int32_t TexLevel[6];
int32_t TexDemos, TexVtrLogo, TexBpLogoBig, TexEmberfld, TexMonster;

namespace {

// Effect time of one loading-bar step.
constexpr float kLoadBarFrame = 9.0f;

[[noreturn]] void FileFault(const char *what, const char *name) {
  wmFatal(std::string(what) + name + ".");
}

struct MeshFiles {
  TMeshRecord *mesh;
  const char *faces;
  const char *vertices;
  const char *third;
};

// Load order of the meshes; tft's third file holds texture coordinates.
const MeshFiles kMeshes[] = {
    {&MeshCoin, "0000_coin.face", "0000_coin.vertex", "0000_coin.vertexnormal"},
    {&MeshDeckf, "0000_Deckf.face", "0000_Deckf.vertex", "0000_Deckf.vertexnormal"},
    {&MeshTft, "0002_tft.face", "0002_tft.vertex", "0002_tft.uvw"},
    {&MeshAlap, "0001_alap.face", "0001_alap.vertex", "0001_alap.vertexnormal"},
    {&MeshCsap, "0000_csap.face", "0000_csap.vertex", "0000_csap.vertexnormal"},
};

struct LayerEffectFile {
  ife_interface *iface;
  const char *name;
};

// Layer effects 2 to 16; the loading bar comes first and the blur
// effects after the work texture they show.
const LayerEffectFile kSceneEffects[] = {
    {&IfeVantorLogo, "vantorlogo.ife"},
    {&IfeHatter, "hatter.ife"},
    {&IfeHatter2, "hatter2.ife"},
    {&IfeUveg, "uveg.ife"},
    {&IfeGombHatter, "gombhatter.ife"},
    {&IfeGombFadeIn, "gombfadein.ife"},
    {&IfeFadeOut, "fadeout.ife"},
    {&IfeBpLogo, "bplogo.ife"},
    {&IfeBpLogoSmallHatter, "bplogosmallhatter.ife"},
    {&IfeBpLogoSmall, "bplogosmall.ife"},
    {&IfeBpLogoSmallLent, "bplogosmalllent.ife"},
    {&IfeMonsterFlash, "monsterflash.ife"},
    {&IfeWhiteFlash, "whiteflash.ife"},
    {&IfeBpScreen, "bpscreen.ife"},
    {&IfeEndPart, "endpart.ife"},
};

const LayerEffectFile kBlurEffects[] = {
    {&IfeVBlur, "v_blur.ife"},
    {&IfeHBlur, "h_blur.ife"},
    {&IfeHBlur2, "h_blur2.ife"},
};

struct TextureFile {
  int32_t *id;
  const char *name;
  int32_t filter;
};

// The 36 textures in load order with their filter types.
const TextureFile kTextures[] = {
    {&TexEnvMap, "envmap.tga", TX_FILTER_LINEAR_MIPMAP},
    {&TexHatter, "hatter.tga", TX_FILTER_LINEAR_MIPMAP},
    {&TexFlare, "flare.tga", TX_FILTER_LINEAR_MIPMAP},
    {&TexVirag[0], "virag01.tga", TX_FILTER_LINEAR},
    {&TexVirag[1], "virag02.tga", TX_FILTER_LINEAR},
    {&TexVirag[2], "virag03.tga", TX_FILTER_LINEAR},
    {&TexVirag[3], "virag04.tga", TX_FILTER_LINEAR},
    {&TexVirag[4], "virag05.tga", TX_FILTER_LINEAR},
    {&TexVirag[5], "virag06.tga", TX_FILTER_LINEAR},
    {&TexVirag[6], "virag07.tga", TX_FILTER_LINEAR},
    {&TexVirag[7], "virag08.tga", TX_FILTER_LINEAR},
    {&TexVirag[8], "virag09.tga", TX_FILTER_LINEAR},
    {&TexVirag[9], "virag10.tga", TX_FILTER_LINEAR},
    {&TexText[0], "text1.tga", TX_FILTER_LINEAR},
    {&TexText[1], "text2.tga", TX_FILTER_LINEAR},
    {&TexText[2], "text3.tga", TX_FILTER_LINEAR},
    {&TexText[3], "text4.tga", TX_FILTER_LINEAR},
    {&TexText[4], "text5.tga", TX_FILTER_LINEAR},
    {&TexLine[0], "line1.tga", TX_FILTER_LINEAR},
    {&TexLine[1], "line2.tga", TX_FILTER_LINEAR},
    {&TexLine[2], "line3.tga", TX_FILTER_LINEAR},
    {&TexLine[3], "line4.tga", TX_FILTER_LINEAR},
    {&TexLine[4], "line5.tga", TX_FILTER_LINEAR},
    {&TexLine[5], "line6.tga", TX_FILTER_LINEAR},
    {&TexLine[6], "line7.tga", TX_FILTER_LINEAR},
    {&TexLevel[0], "level1.tga", TX_FILTER_LINEAR_MIPMAP},
    {&TexLevel[1], "level2.tga", TX_FILTER_LINEAR_MIPMAP},
    {&TexLevel[2], "level3.tga", TX_FILTER_LINEAR_MIPMAP},
    {&TexLevel[3], "level4.tga", TX_FILTER_LINEAR_MIPMAP},
    {&TexLevel[4], "level5.tga", TX_FILTER_LINEAR_MIPMAP},
    {&TexLevel[TEX_LEVEL_CREDITS], "credits.tga", TX_FILTER_LINEAR_MIPMAP},
    {&TexDemos, "demos.tga", TX_FILTER_LINEAR},
    {&TexVtrLogo, "vtrlogo.tga", TX_FILTER_LINEAR},
    {&TexBpLogoBig, "bplogobig.tga", TX_FILTER_LINEAR},
    {&TexEmberfld, "emberfld.tga", TX_FILTER_LINEAR},
    {&TexMonster, "monster.tga", TX_FILTER_LINEAR},
};

// Bytes of "0002_tft.uvw": all of its entries are flipped, however many.
int32_t tft_uvw_bytes = 0;

TLoadedFile LoadChecked(const char *name, int32_t need) {
  TLoadedFile file = LoadFileToMemory(name);
  RequireFileSize(file, need, name);
  return file;
}

void LoadMeshes() {
  TLoadedFile blocks[std::size(kMeshes)][3];
  for (size_t m = 0; m < std::size(kMeshes); ++m) {
    blocks[m][0] = LoadFileToMemory(kMeshes[m].faces);
    blocks[m][1] = LoadFileToMemory(kMeshes[m].vertices);
    blocks[m][2] = LoadFileToMemory(kMeshes[m].third);
  }
  for (size_t m = 0; m < std::size(kMeshes); ++m) {
    if (kMeshes[m].mesh == &MeshTft) tft_uvw_bytes = blocks[m][2].size;
    for (TLoadedFile &block : blocks[m]) SwapWords(block.data, block.size);
    switch (MeshFromBlocks(*kMeshes[m].mesh, blocks[m][0], blocks[m][1], blocks[m][2])) {
      case MESH_OK: break;
      case MESH_THIRD_SHORT: FileFault("File too short: ", kMeshes[m].third);
      case MESH_BAD_INDEX: FileFault("Bad vertex index in ", kMeshes[m].faces);
    }
  }
}

// The texture coordinates' v runs the other way in OpenGL.
void FlipTextureV(TMeshRecord &mesh, int32_t uvwBytes) {
  const int32_t entries = uvwBytes / MESH_ENTRY_BYTES;
  for (int32_t i = 0; i < entries; ++i) mesh.third[3 * i + 1] = 1.0f - mesh.third[3 * i + 1];
}

void LoadMatrix() {
  Matrix = MatrixBuffer;
  SYS_File_p file = SYS_FileOpen("matrix.dat", SYS_FILE_READ);
  if (!file) FileFault("File not found: ", "matrix.dat");
  int32_t size = SYS_FileSize("matrix.dat");
  if (size > MATRIX_BYTES) size = MATRIX_BYTES;
  if (size > 0 && SYS_FileRead(file, MatrixBuffer, size) != size) {
    SYS_FileClose(file);
    FileFault("Unable to read ", "matrix.dat");
  }
  SYS_FileClose(file);
  LoadingStep();
}

void MakeDebugFontTexture() {
  static uint8_t image[DEBUG_FONT_TEXTURE_SIZE * DEBUG_FONT_TEXTURE_SIZE];
  BuildDebugFontImage(image);
  GLuint id = 0;
  dgl::glGenTextures(1, &id);
  DebugFontTexture = static_cast<int32_t>(id);
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, id);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  dgl::glTexImage2D(GL_TEXTURE_2D, 0, 1, DEBUG_FONT_TEXTURE_SIZE, DEBUG_FONT_TEXTURE_SIZE, 0,
                    GL_LUMINANCE, GL_UNSIGNED_BYTE, image);
}

void MakeWorkTexture() {
  dgl::glEnable(GL_TEXTURE_2D);
  GLuint id = 0;
  dgl::glGenTextures(1, &id);
  WorkTexture = static_cast<int32_t>(id);
  dgl::glBindTexture(GL_TEXTURE_2D, id);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  dgl::glTexImage2D(GL_TEXTURE_2D, 0, 3, 512, 512, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
  ife_BufferTable[0] = WorkTexture;
}

void LoadLayerEffects(const LayerEffectFile *files, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    ife_LoadInterface(*files[i].iface, files[i].name, "");
    LoadingStep();
  }
}

}  // namespace

void LoadingStep() {
  ++LoadingSteps;
  SetAspectViewport();
  ife_DrawInterface(IfeLoadBar, static_cast<float>(LoadingSteps) * kLoadBarFrame);
  wmSwapBuffers(DemoWindow);
  cfg_settings.last_key = 0;
  wmPumpEvents();
}

TLoadedFile LoadFileToMemory(const char *name) {
  SYS_File_p file = SYS_FileOpen(name, SYS_FILE_READ);
  if (!file) FileFault("File not found: ", name);
  const int32_t size = SYS_FileSize(name);
  // A block of at least one byte, so an empty file still has an address.
  auto *data = static_cast<uint8_t *>(pasMemGet(size > 0 ? static_cast<size_t>(size) : 1, name));
  if (size < 0 || !data || (size > 0 && SYS_FileRead(file, data, size) != size)) {
    SYS_FileClose(file);
    FileFault("Unable to read ", name);
  }
  SYS_FileClose(file);
  LoadingStep();
  return {data, size};
}

void SwapWords(void *block, int32_t byteCount) {
  if constexpr (std::endian::native == std::endian::big) {
    auto *p = static_cast<uint8_t *>(block);
    for (; byteCount >= 4; byteCount -= 4, p += 4) {
      std::swap(p[0], p[3]);
      std::swap(p[1], p[2]);
    }
  } else {
    (void)block;
    (void)byteCount;
  }
}

void RequireFileSize(const TLoadedFile &file, int32_t need, const char *name) {
  if (file.size < need) FileFault("File too short: ", name);
}

TMeshCheck MeshFromBlocks(TMeshRecord &mesh, const TLoadedFile &faces,
                          const TLoadedFile &vertices, const TLoadedFile &third) {
  mesh.faces = reinterpret_cast<int32_t *>(faces.data);
  mesh.vertices = reinterpret_cast<float *>(vertices.data);
  mesh.third = reinterpret_cast<float *>(third.data);
  mesh.faceCount = faces.size / MESH_ENTRY_BYTES;
  mesh.vertexCount = vertices.size / MESH_ENTRY_BYTES;
  if (third.size / MESH_ENTRY_BYTES < mesh.vertexCount) return MESH_THIRD_SHORT;
  const int64_t indices = static_cast<int64_t>(mesh.faceCount) * 3;
  for (int64_t i = 0; i < indices; ++i)
    if (mesh.faces[i] < 0 || mesh.faces[i] >= mesh.vertexCount) return MESH_BAD_INDEX;
  return MESH_OK;
}

void LoadDemoResources() {
  ife_LoadInterface(IfeLoadBar, "loadbar.ife", "");
  // Never read, but its absence ends the program like any missing file.
  SYS_File_p colors = SYS_FileOpen("colors.ini", SYS_FILE_TEXT);
  if (!colors) FileFault("File not found: ", "colors.ini");
  SYS_FileClose(colors);

  MusicSyncFile = LoadFileToMemory("musicsync.dat");
  MusicSyncCount = std::min(MusicSyncFile.size / SYNC_RECORD_BYTES, SYNC_RECORDS_MAX);
  EmberfieldRaw = LoadChecked("emberfld.raw", EMBERFIELD_RAW_BYTES);
  GreetsTga = LoadChecked("greets.tga", GREETS_TGA_BYTES);
  LoadMeshes();
  BpLogoSmallTga = LoadChecked("bplogo_small.tga", BPLOGO_SMALL_TGA_BYTES);
  TextTga = LoadChecked("text.tga", TEXT_TGA_BYTES);
  FlipTextureV(MeshTft, tft_uvw_bytes);
  LoadMatrix();
  MonsterAlphaTga = LoadChecked("monster_alpha.tga", MONSTER_ALPHA_TGA_BYTES);
  MonsterColorTga = LoadChecked("monster_color.tga", MONSTER_COLOR_TGA_BYTES);
  CenterVertices(MeshDeckf.vertices, MeshDeckf.vertexCount);

  txSetParam(3, 1);  // channel order: red first
  txSetParam(2, cfg_settings.texture_quality);
  txTexReset();
  MakeDebugFontTexture();
  LoadLayerEffects(kSceneEffects, std::size(kSceneEffects));
  MakeWorkTexture();
  LoadLayerEffects(kBlurEffects, std::size(kBlurEffects));

  SetupRandomTables();
  for (const TextureFile &texture : kTextures) {
    *texture.id = txTexLoad(texture.name, texture.filter);
    LoadingStep();
  }
  const TProceduralInputs inputs = {EmberfieldRaw.data, GreetsTga.data, BpLogoSmallTga.data,
                                    TextTga.data};
  SetupProceduralTables(inputs, LoadingStep, UploadNoiseTexture);
  dgl::glEnable(GL_NORMALIZE);
}
