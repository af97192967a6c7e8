// The 3D engine's data model: the scene record with its materials, objects,
// lights, camera tracks and particles, the value records they are built
// from, the element-size table of the chunked scene file, and the engine's
// own allocation entry points.
//
// Every part of the engine reads and writes these records directly, by
// field name; there is no accessor layer. A scene record belongs to its
// caller; what it points to is allocated by the scene-file reader and the
// particle allocation. A count field and the pointer to its array go
// together: the array holds exactly count entries and is null when the
// count is 0. Booleans are bytes (0 false, anything else true), because
// the scene files carry them as bytes.
//
// The in-memory layout is ours: every file is read and written field by
// field, never by copying a record. The value records that the file format
// copies element by element are pinned to their element sizes below.
//
// Main thread only, like the rest of the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// A counted string of at most 255 characters: one length byte, then the
// characters. Always 256 bytes.
struct _3DV_SHORTSTRING {
  uint8_t length;
  char text[255];

  std::string_view view() const { return {text, length}; }
  // Stores s, cut to 255 characters.
  void assign(std::string_view s);
};

struct _3DV_VECTOR {
  float x, y, z;
};
struct _3DV_RGB {
  float r, g, b;
};
struct _3DV_RGBA {
  float r, g, b, a;
};
// Handed to the fog state in this order.
struct _3DV_FOGPARAM {
  float density, start, end;
};
struct _3DV_TEXTCOORD {
  float u, v;
};
// Three corner indices into the object's vertex arrays; in an object's
// neighbours array, the face across each of the three edges, -1 for none.
struct _3DV_FACE {
  int32_t v[3];
};
struct _3DV_PLANE {
  float p[4];
};
struct _3DV_KEYVECTOR {
  int32_t frame;
  float x, y, z;
};
struct _3DV_KEYQUAT {
  int32_t frame;
  float q[4];
};
struct _3DV_MATRIX {
  float m[4][4];
};

static_assert(sizeof(_3DV_SHORTSTRING) == 256);
static_assert(sizeof(_3DV_TEXTCOORD) == 8);
static_assert(sizeof(_3DV_VECTOR) == 12 && sizeof(_3DV_RGB) == 12 && sizeof(_3DV_FOGPARAM) == 12);
static_assert(sizeof(_3DV_RGBA) == 16);
static_assert(sizeof(_3DV_FACE) == 12);
static_assert(sizeof(_3DV_KEYVECTOR) == 16);
static_assert(sizeof(_3DV_KEYQUAT) == 20);
static_assert(sizeof(_3DV_MATRIX) == 64);

// Largest index of the open arrays: vertex, face, key, strip, particle and
// flag arrays; objects of a scene; materials of a scene; scenes of an
// effect project.
constexpr int32_t _3DV_ARRAY_MAX_INDEX = 500000;
constexpr int32_t _3DV_OBJECT_ARRAY_MAX_INDEX = 8000;
constexpr int32_t _3DV_MATERIAL_ARRAY_MAX_INDEX = 5000;
constexpr int32_t _3DV_SCENE_ARRAY_MAX_INDEX = 100;

// A GL name: an OpenGL texture or buffer object name.
typedef int32_t _3DV_GLNAME;
typedef uint8_t _3DV_BOOLEAN;

struct _3DV_MATERIAL {
  _3DV_SHORTSTRING name;
  // Relative to the texture folder; "$framebuffer$.jpg" names the
  // frame-buffer copy texture.
  _3DV_SHORTSTRING texturename;
  float transparency;
  _3DV_GLNAME texid;
  float utile, vtile;
  uint8_t bpp;
  _3DV_BOOLEAN textured;
  _3DV_RGB ambient, diffuse, specular;
  int32_t shine;
  _3DV_SHORTSTRING envmaptexture;
  _3DV_BOOLEAN envmap;
  _3DV_GLNAME envmaptexid;
  int32_t magtype;  // filter type for the texture slot table
  _3DV_BOOLEAN receivelight;
  float alphatest;  // 0: no alpha test
  uint8_t depthtest;
  uint8_t blend;
  uint8_t texturewrap;
  float constantalpha;
  float flaresize;  // above 0: the material's objects draw as flares
  _3DV_BOOLEAN reservedflag;
  uint8_t depthfunc;  // 0 less, 1 less or equal, 2 equal, 3 greater, 4 greater or equal
  _3DV_RGB envcolor;
  float envalpha;
  _3DV_BOOLEAN envblend;  // true: blended by source alpha; false: additive
};

// Emitter settings inside an object.
struct _3DV_PARTICLEDATA {
  _3DV_BOOLEAN particleenabled;
  _3DV_VECTOR deltavector;
  _3DV_VECTOR deltavectorspread;
  _3DV_RGB color;
  _3DV_RGB colorspread;
  uint8_t colorattrib;
  float power;
  float deltapower;
  int32_t newparticle;
  _3DV_SHORTSTRING particletexture;
  _3DV_GLNAME particletexid;
  float size;
  // References to particletexid that loads took and no free gave back
  // yet: the emitter may be switched between a load and its free.
  int32_t particletexrefs;
};

struct _3DV_OBJECT {
  uint8_t rendermode;
  _3DV_BOOLEAN hasnormals;
  _3DV_BOOLEAN hasuv;
  _3DV_BOOLEAN hascolors;
  _3DV_BOOLEAN visible;
  _3DV_SHORTSTRING name;
  int32_t vertexcount;  // vertices, colors, uvs, normals, tangents, binormals
  int32_t facecount;    // faces, origfaces, neighbours, planes, facecenters, facenormals
  int32_t material;     // index into the scene's materials
  int32_t positionkeycount;
  int32_t rotationkeycount;
  int32_t scalekeycount;
  int32_t stripcount;
  _3DV_BOOLEAN backfacecull;
  int32_t passno;
  uint8_t distancecull;  // 1: drawn only within the scene's viewdistance of pivot
  _3DV_GLNAME facebuffer, vertexbuffer, normalbuffer, uvbuffer;
  _3DV_MATRIX matrix;
  _3DV_VECTOR pivot;
  _3DV_RGB flarecolor;
  _3DV_PARTICLEDATA particledata;
  _3DV_BOOLEAN reservedflag1, reservedflag2;
  _3DV_VECTOR rotation;  // degrees about x, y and z, applied about pivot
  _3DV_VECTOR texturescroll;
  uint16_t *strip;
  _3DV_FACE *faces;
  _3DV_FACE *origfaces;  // the corner indices the neighbour search compares
  _3DV_VECTOR *vertices;
  _3DV_VECTOR *tangents, *binormals;
  _3DV_RGB *colors;
  _3DV_TEXTCOORD *uvs;
  _3DV_VECTOR *normals;
  _3DV_VECTOR *facenormals;
  _3DV_KEYVECTOR *positionkeys;
  _3DV_KEYQUAT *rotationkeys;  // carried, never evaluated
  _3DV_KEYVECTOR *scalekeys;   // carried, never evaluated
  _3DV_PLANE *planes;
  _3DV_FACE *neighbours;
  _3DV_BOOLEAN *lightvisible;
  uint8_t *contour;  // three per face, one per edge
  _3DV_VECTOR *facecenters;
  _3DV_BOOLEAN castshadow;
  _3DV_BOOLEAN uselightfactor;
  _3DV_BOOLEAN fog;
  uint8_t fogmode;  // 0 linear, 1 exponential, 2 squared exponential
  _3DV_FOGPARAM fogparam;
  _3DV_RGBA fogcolor;
};

struct _3DV_LIGHT {
  _3DV_SHORTSTRING name;
  _3DV_VECTOR pos;
  int32_t positionkeycount;
  _3DV_RGB ambient, diffuse, specular;
  _3DV_BOOLEAN enabled;
  _3DV_KEYVECTOR *positionkeys;
};

struct _3DV_PARTICLE {
  _3DV_BOOLEAN free;  // the slot holds no live particle
  _3DV_VECTOR position;
  _3DV_RGB color;
  _3DV_VECTOR velocity;
  uint8_t colorattrib;
  float power;  // remaining life
  float deltapower;
  int32_t emitter;  // index of the emitting object
};

constexpr int32_t _3DV_LIGHT_COUNT = 8;

struct _3DV_SCENE {
  int32_t chunkcount;
  uint8_t versionmajor;
  uint8_t versionminor;
  _3DV_SHORTSTRING name;
  int32_t reserved;
  int32_t materialcount;
  int32_t objectcount;
  int32_t passcount;  // highest passno of all objects, 0 without objects
  float camerafov;    // radians
  float cameranear;
  float camerafar;
  int32_t camerapositioncount;
  int32_t cameratargetcount;
  int32_t maxfacecount;
  int32_t shadowquadcount;
  _3DV_MATERIAL *materials;
  _3DV_OBJECT *objects;
  _3DV_KEYVECTOR *camerapositions;
  _3DV_KEYVECTOR *cameratargets;
  _3DV_VECTOR *camerapositionease;  // one tangent per key of camerapositions
  _3DV_VECTOR *cameratargetease;    // one tangent per key of cameratargets
  _3DV_PARTICLE *particles;
  _3DV_VECTOR *volumearray;  // 12 corners per face of the whole scene
  int32_t *volumeindex;      // 18 indices per face
  _3DV_GLNAME volumebuffer;
  _3DV_GLNAME volumeindexbuffer;
  _3DV_LIGHT lights[_3DV_LIGHT_COUNT];
  void *reservedpointer;
  int32_t reservedcount;
  int32_t particlecount;
  float viewdistance;
  float shadowextrusion;
  float lightfactor;
};

// Element types of the scene file and their sizes in bytes.
enum : int32_t {
  _3DV_TYPE_NONE = 0,
  _3DV_TYPE_BYTE = 1,
  _3DV_TYPE_WORD = 2,
  _3DV_TYPE_LONGINT = 3,
  _3DV_TYPE_SINGLE = 4,
  _3DV_TYPE_TEXTCOORD = 5,
  _3DV_TYPE_VECTOR = 6,  // also _3DV_RGB and _3DV_FOGPARAM
  _3DV_TYPE_RGBA = 7,
  _3DV_TYPE_SHORTSTRING = 8,
  _3DV_TYPE_FACE = 9,
  _3DV_TYPE_KEYVECTOR = 10,
  _3DV_TYPE_KEYQUAT = 11,
  _3DV_TYPE_MATRIX = 12,
  _3DV_TYPE_BOOLEAN = 13,
  _3DV_TYPE_COUNT = 14,
};
extern int32_t _3DV_TypeSize[_3DV_TYPE_COUNT];

// Module initialisation: fills _3DV_TypeSize. Runs once at start-up, before
// any scene file is read or written.
void _3DV_InitTypeSizes();

// A new zeroed block of size bytes from the general heap; the description
// is accepted and not kept. A negative size or a heap that cannot serve the
// request ends the process: the engine has no way to report it.
void *_3DV_MemGet(int32_t size, std::string_view description);
// Returns a block of _3DV_MemGet (or null) to the heap.
void _3DV_MemFree(void *block);
