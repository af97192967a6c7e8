// Scene files: the reader on files built chunk by chunk, the writer's exact
// layout, round trips, and the buffer-object upload through the recording
// GL table.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "engine/anim/anim.h"
#include "engine/anim/geometry_dump.h"
#include "engine/anim/scene_config.h"
#include "engine/effects/flares.h"
#include "engine/effects/particles.h"
#include "engine/effects/picking.h"
#include "engine/effects/shadows.h"
#include "engine/render/engine_state.h"
#include "engine/render/flare_occlusion.h"
#include "engine/render/object_render.h"
#include "engine/render/scene_render.h"
#include "engine/scene/records.h"
#include "engine/scene/scene_textures.h"
#include "engine/scene/scene_file.h"
#include "engine/scene/scene_reader.h"
#include "engine/scene/scene_writer.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "gl_recorder.h"
#include "support/test_support.h"

namespace {

// Builds a file chunk by chunk; sizes and counts are whatever the test says.
struct ChunkFile {
  std::vector<uint8_t> bytes;

  ChunkFile &Raw(std::vector<uint8_t> b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
  }
  ChunkFile &Head(uint8_t type, uint8_t id, int32_t count, int32_t size, int32_t index,
                  int32_t packed = 0) {
    Raw({'Z', '!', type, id});
    for (int32_t v : {count, size, packed, index}) {
      for (int s = 0; s < 32; s += 8) bytes.push_back(static_cast<uint8_t>(uint32_t(v) >> s));
    }
    return *this;
  }
  ChunkFile &Data(const void *p, size_t n) {
    auto *b = static_cast<const uint8_t *>(p);
    bytes.insert(bytes.end(), b, b + n);
    return *this;
  }
  template <typename T>
  ChunkFile &Put(uint8_t type, uint8_t id, const T &value, int32_t index = 0) {
    return Head(type, id, 1, sizeof(T), index).Data(&value, sizeof(T));
  }
  template <typename T>
  ChunkFile &Array(uint8_t type, uint8_t id, const std::vector<T> &v, int32_t index = 0) {
    return Head(type, id, int32_t(v.size()), int32_t(v.size() * sizeof(T)), index)
        .Data(v.data(), v.size() * sizeof(T));
  }
};

constexpr uint8_t kByte = 1, kLong = 3, kSingle = 4, kVec = 6, kFace = 9, kBool = 13;

// One material, one object of the given vertices and faces.
ChunkFile Mesh(const std::vector<_3DV_VECTOR> &vertices, const std::vector<_3DV_FACE> &faces,
               uint8_t minor = 2, bool origfaces = true) {
  ChunkFile f;
  f.Put(kByte, 1, uint8_t{1}).Put(kByte, 2, minor);
  f.Put(kLong, 5, int32_t{1}).Put(kLong, 6, int32_t{1});
  f.Put(kLong, 34, int32_t(vertices.size())).Put(kLong, 35, int32_t(faces.size()));
  if (!vertices.empty()) f.Array(kVec, 51, vertices);
  f.Array(kFace, 52, faces);
  if (origfaces) f.Array(kFace, 99, faces);
  return f;
}

const std::vector<_3DV_VECTOR> kQuad = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
// Two triangles on the edge 1-2, wound opposite ways.
const std::vector<_3DV_FACE> kTwoFaces = {{{0, 1, 2}}, {{2, 1, 3}}};

class SceneFile : public testing::Test {
protected:
  void SetUp() override {
    _3DV_InitTypeSizes();
    _3DV_LoaderUnitInit();
    live_ = SYS_MemLiveCount();
  }
  void TearDown() override {
    _3DV_FreeSceneArrays(scene_);
    for (_3DV_SCENE &s : extra_) _3DV_FreeSceneArrays(s);
    // Every block the reader took from the framework went back.
    EXPECT_EQ(SYS_MemLiveCount(), live_);
  }
  bool Parse(const std::vector<uint8_t> &bytes, _3DV_SCENE &scene) {
    error_.clear();
    return _3DV_ParseScene(scene, bytes.data(), bytes.size(), error_);
  }
  bool Parse(const ChunkFile &f) { return Parse(f.bytes, scene_); }

  _3DV_SCENE scene_{};
  std::vector<_3DV_SCENE> extra_;
  std::string error_;
  size_t live_ = 0;
};

// A chunk header as written: element type, id, count, index.
struct Head {
  int type, id, count, index;
  bool operator==(const Head &) const = default;
};
std::vector<Head> Heads(const std::vector<uint8_t> &file) {
  std::vector<Head> out;
  for (size_t at = 0; at + 20 <= file.size();) {
    int32_t v[4];
    std::memcpy(v, &file[at + 4], sizeof v);
    out.push_back({file[at + 2], file[at + 3], v[0], v[3]});
    at += 20 + size_t(v[1]);
  }
  return out;
}
std::ostream &operator<<(std::ostream &os, const Head &h) {
  return os << "(" << h.type << " " << h.id << " x" << h.count << " @" << h.index << ")";
}

// The chunks of a scene, material, object and light in the writer's order
// as the file format lays it down: {id, element type}.
const std::vector<std::pair<int, int>> kSceneChunks = {
    {87, 3}, {1, 1}, {2, 1}, {3, 8}, {4, 3}, {5, 3}, {6, 3},
    {7, 4},  {8, 4}, {9, 4}, {10, 3}, {11, 3}, {84, 4}, {90, 4}};
const std::vector<std::pair<int, int>> kMaterialChunks = {
    {12, 8},  {13, 8},  {14, 8},  {15, 4},  {16, 4},  {17, 4},  {18, 4},  {19, 4},  {20, 4},
    {92, 4},  {93, 6},  {94, 13}, {21, 3},  {22, 3},  {23, 13}, {24, 13}, {25, 13}, {26, 1},
    {82, 1},  {27, 1},  {28, 1},  {29, 1},  {30, 6},  {31, 6},  {32, 6}};
const std::vector<std::pair<int, int>> kObjectChunks = {
    {33, 8},  {34, 3},  {35, 3},  {36, 3},  {37, 3},  {38, 3},  {39, 3},  {40, 3},  {41, 3},
    {42, 13}, {43, 13}, {44, 13}, {45, 13}, {46, 13}, {88, 13}, {89, 13}, {83, 1},  {47, 1},
    {48, 12}, {49, 6},  {91, 6},  {95, 13}, {96, 1},  {97, 6},  {98, 7},  {59, 8},  {60, 3},
    {61, 4},  {62, 4},  {63, 4},  {64, 13}, {65, 1},  {66, 6},  {67, 6},  {68, 6},  {69, 6}};
const std::vector<std::pair<int, int>> kLightChunks = {{72, 8}, {73, 3}, {74, 13}, {75, 6},
                                                       {76, 6}, {77, 6}, {78, 6}};

void Add(std::vector<Head> &out, const std::vector<std::pair<int, int>> &chunks, int index) {
  for (auto [id, type] : chunks) out.push_back({type, id, 1, index});
}

TEST_F(SceneFile, EmptySceneIsItsSceneAndLightChunksAndReadsBack) {
  std::vector<uint8_t> out;
  std::string error;
  ASSERT_TRUE(_3DV_WriteSceneBytes(scene_, out, error)) << error;
  // Headers of 20 bytes; scene chunks: two Bytes, a ShortString and eleven
  // four-byte values; lights: a ShortString, a LongInt, a Boolean and four
  // vectors.
  const size_t scene = 14 * 20 + 2 * 1 + 256 + 11 * 4;
  const size_t light = 7 * 20 + 256 + 4 + 1 + 4 * 12;
  EXPECT_EQ(out.size(), scene + 8 * light);
  std::vector<Head> expected;
  Add(expected, kSceneChunks, 0);
  for (int l = 0; l < 8; ++l) Add(expected, kLightChunks, l);
  EXPECT_EQ(Heads(out), expected);
  int32_t chunkcount;
  std::memcpy(&chunkcount, &out[20], 4);
  EXPECT_EQ(chunkcount, 12 + 7 * 8);

  ASSERT_TRUE(Parse(out, scene_)) << error_;
  EXPECT_EQ(scene_.versionmajor, 1);
  EXPECT_EQ(scene_.versionminor, 2);
  EXPECT_EQ(scene_.passcount, 0);
  EXPECT_EQ(scene_.maxfacecount, 0);
  EXPECT_EQ(scene_.shadowextrusion, 1000.0f);
  EXPECT_EQ(scene_.camerapositionease, nullptr);
}

TEST_F(SceneFile, ChunksOfTheLaterFieldsLandWhereTheFormatPutsThem) {
  struct Fog {
    float d, s, e;
  };
  ChunkFile f = Mesh(kQuad, kTwoFaces);
  f.Put(13, 80, uint8_t{1}).Put(13, 81, uint8_t{7});
  f.Put(kVec, 91, _3DV_VECTOR{0.5f, -2, 3});
  f.Put(kSingle, 92, 0.25f).Put(kVec, 93, _3DV_RGB{0.1f, 0.2f, 0.3f}).Put(13, 94, uint8_t{1});
  f.Put(13, 95, uint8_t{1}).Put(kByte, 96, uint8_t{2}).Put(kVec, 97, Fog{0.5f, 10, 90});
  f.Put(7, 98, _3DV_RGBA{1, 0.5f, 0.25f, 0.125f});
  ASSERT_TRUE(Parse(f)) << error_;
  const _3DV_OBJECT &o = scene_.objects[0];
  const _3DV_MATERIAL &m = scene_.materials[0];
  EXPECT_EQ(o.reservedflag1, 1);
  EXPECT_EQ(o.reservedflag2, 7);
  EXPECT_EQ(o.texturescroll.y, -2);
  EXPECT_EQ(m.envalpha, 0.25f);
  EXPECT_EQ(m.envcolor.b, 0.3f);
  EXPECT_EQ(m.envblend, 1);
  EXPECT_EQ(o.fog, 1);
  EXPECT_EQ(o.fogmode, 2);
  EXPECT_EQ(o.fogparam.density, 0.5f);
  EXPECT_EQ(o.fogparam.end, 90);
  EXPECT_EQ(o.fogcolor.a, 0.125f);
}

TEST_F(SceneFile, TriangleGetsItsNormalCentreAndZeroTangentsWithoutUv) {
  ASSERT_TRUE(Parse(Mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}}}))) << error_;
  const _3DV_OBJECT &o = scene_.objects[0];
  // (P0 - P1) x (P2 - P1) = (-1, 0, 0) x (-1, 1, 0) = (0, 0, -1).
  EXPECT_EQ(o.facenormals[0].x, 0);
  EXPECT_EQ(o.facenormals[0].y, 0);
  EXPECT_EQ(o.facenormals[0].z, -1);
  EXPECT_FLOAT_EQ(o.facecenters[0].x, 1.0f / 3);
  EXPECT_FLOAT_EQ(o.facecenters[0].y, 1.0f / 3);
  EXPECT_EQ(o.facecenters[0].z, 0);
  for (int v = 0; v < 3; ++v) EXPECT_EQ(o.tangents[v].x + o.tangents[v].y + o.tangents[v].z, 0);
  EXPECT_EQ(scene_.maxfacecount, 1);
  EXPECT_EQ(scene_.materials[0].bpp, 24);
  // The shadow indices: two triangles over each of three quads.
  const int32_t first[] = {0, 1, 2, 2, 3, 0, 4, 5, 6, 6, 7, 4};
  for (int k = 0; k < 12; ++k) EXPECT_EQ(scene_.volumeindex[k], first[k]);
  EXPECT_EQ(scene_.volumeindex[17], 8);
}

TEST_F(SceneFile, TangentsFollowTheTextureAxesAndAreZeroWhenDegenerate) {
  ChunkFile f = Mesh({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {5, 5, 5}}, {{{0, 1, 2}}, {{3, 3, 3}}});
  f.Put(kBool, 42, uint8_t{1}).Array(5, 54, std::vector<_3DV_TEXTCOORD>{{0, 0}, {1, 0}, {0, 1}, {0, 0}});
  ASSERT_TRUE(Parse(f)) << error_;
  const _3DV_OBJECT &o = scene_.objects[0];
  EXPECT_FLOAT_EQ(o.tangents[0].x, 1);
  EXPECT_FLOAT_EQ(o.tangents[0].y, 0);
  EXPECT_FLOAT_EQ(o.binormals[0].y, 1);
  EXPECT_EQ(o.tangents[3].x, 0);
  EXPECT_EQ(o.binormals[3].z, 0);
}

TEST_F(SceneFile, NeighboursComeFromTheFileOrAreComputedWhenAbsent) {
  auto expect = [](const _3DV_OBJECT &o) {
    const int32_t want[2][3] = {{-1, 1, -1}, {0, -1, -1}};
    for (int f = 0; f < 2; ++f)
      for (int e = 0; e < 3; ++e) EXPECT_EQ(o.neighbours[f].v[e], want[f][e]) << f << e;
  };
  for (uint8_t minor : {0, 2}) {
    _3DV_SCENE &s = extra_.emplace_back();
    ASSERT_TRUE(Parse(Mesh(kQuad, kTwoFaces, minor).bytes, s)) << error_;
    expect(s.objects[0]);
  }
  // A file of version 1.2 is taken at its word.
  ChunkFile f = Mesh(kQuad, kTwoFaces);
  f.Array(kFace, 86, std::vector<_3DV_FACE>{{{1, 1, 1}}, {{-1, 0, 0}}});
  ASSERT_TRUE(Parse(f)) << error_;
  EXPECT_EQ(scene_.objects[0].neighbours[0].v[0], 1);
}

TEST(Neighbours, GroupedSearchMatchesThePairwiseOneOverwritesIncluded) {
  // An edge of three faces: 0 and 1 pair up, 2 finds both edges taken.
  _3DV_FACE three[3] = {{{0, 1, 2}}, {{1, 0, 3}}, {{0, 1, 4}}};
  _3DV_FACE nb[3];
  _3DV_OBJECT o{};
  o.facecount = 3;
  o.origfaces = three;
  o.neighbours = nb;
  _3DV_CalcNeighbours(o);
  EXPECT_EQ(nb[0].v[0], 1);
  EXPECT_EQ(nb[1].v[0], 0);
  EXPECT_EQ(nb[2].v[0], -1);

  // Few vertices, so edges are shared by many faces and faces repeat
  // corners (degenerate edges matching twice within one face pair).
  std::mt19937 rng(25);
  for (int round = 0; round < 2000; ++round) {
    const int32_t n = int32_t(rng() % 12) + 1, vertices = int32_t(rng() % 5) + 1;
    std::vector<_3DV_FACE> faces(static_cast<size_t>(n)), fast(faces.size()), slow(faces.size());
    for (_3DV_FACE &f : faces)
      for (int32_t &c : f.v) c = int32_t(rng() % uint32_t(vertices));
    _3DV_OBJECT a{}, b{};
    a.facecount = b.facecount = n;
    a.origfaces = b.origfaces = faces.data();
    a.neighbours = fast.data();
    b.neighbours = slow.data();
    _3DV_CalcNeighbours(a);
    _3DV_CalcNeighboursPairwise(b);
    for (int32_t f = 0; f < n; ++f) {
      for (int e = 0; e < 3; ++e) ASSERT_EQ(fast[f].v[e], slow[f].v[e]) << round << " " << f << e;
    }
  }
}

TEST_F(SceneFile, BadChunksAreSkippedAndTheRestStillLoads) {
  const std::string log = (std::filesystem::temp_directory_path() / "scene_reader_log.txt").string();
  ASSERT_EQ(SYS_LogSetFile(log.c_str()), 0);
  const uint32_t flags = SYS_LogGetFlags();
  SYS_LogSetFlags(SYS_LOG_ON);
  live_ = SYS_MemLiveCount();  // the log's file name is a block of its own
  const float far = 7.5f;
  ChunkFile f = Mesh(kQuad, kTwoFaces);
  f.Put(kSingle, 15, 1.0f, 1);                       // material 1 of 1
  f.Put(kLong, 34, int32_t{9}, -1);                  // object -1
  f.Put(kVec, 75, _3DV_VECTOR{1, 2, 3}, 8);          // light 8
  f.Head(14, 84, 1, 4, 0).Data(&far, 4);             // element type 14
  f.Head(kLong, 4, 1, 8, 0).Raw({1, 2, 3, 4, 5, 6, 7, 8});  // wider than the field
  f.Head(kLong, 4, 1, -8, 0);                        // negative size: header only
  f.Head(kSingle, 84, 1, 4, 0, 4).Raw({9, 9, 9, 9});  // packed
  f.Head(kSingle, 85, 1, 4, 0).Data(&far, 4);        // an id with no field
  f.Head(kSingle, 8, 2, 4, 0).Data(&far, 4);         // count and size disagree: stored
  f.Raw({0, 0, 0, 0});                               // four stray bytes
  f.Put(kSingle, 9, far);
  ASSERT_TRUE(Parse(f)) << error_;
  SYS_LogSetFlags(flags);
  EXPECT_EQ(scene_.materials[0].transparency, 0);
  EXPECT_EQ(scene_.objects[0].vertexcount, 4);
  EXPECT_EQ(scene_.lights[7].pos.x, 0);
  EXPECT_EQ(scene_.viewdistance, 0);
  EXPECT_EQ(scene_.reserved, 0);
  EXPECT_EQ(scene_.camerafar, far);
  EXPECT_EQ(scene_.cameranear, far);
  const std::string text = ember_test::ReadFile(log);
  size_t lines = 0;
  for (size_t at = 0; (at = text.find("Chunk size corruption !", at)) != std::string::npos; ++at)
    ++lines;
  EXPECT_EQ(lines, 7u) << text;
  EXPECT_NE(text.find("Packed chunk skipped"), std::string::npos);
  std::filesystem::remove(log);
}

TEST_F(SceneFile, ArrayChunksBeforeTheirCountAndRepeatedOnesLeakNothing) {
  ChunkFile f;
  f.Array(kVec, 51, kQuad);  // no objects yet
  f.Put(kLong, 6, int32_t{1}).Put(kLong, 5, int32_t{1});
  f.Array(kVec, 51, kQuad).Array(kVec, 51, kQuad).Put(kLong, 34, int32_t{4});
  f.Put(kLong, 6, int32_t{1}).Array(kVec, 51, kQuad).Put(kLong, 34, int32_t{4});
  ASSERT_TRUE(Parse(f)) << error_;
  EXPECT_EQ(scene_.objects[0].vertices[3].y, 1);
}

// Each count chunk makes a fresh array of bare records and frees the one
// before, and the arrays given to the last object of an array still go
// back (the fixture's count of live blocks). What 6000 of them cost is the
// scene benchmark's RepeatedObjectCounts.
TEST_F(SceneFile, RepeatedObjectCountsFreeWhatTheirObjectsHeld) {
  ChunkFile f;
  f.Put(kLong, 6, int32_t{8001}).Array(kVec, 51, kQuad, 8000);
  for (int k = 0; k < 6000; ++k) f.Put(kLong, 6, int32_t{8001});
  f.Array(kVec, 51, kQuad, 8000).Put(kLong, 6, int32_t{1});
  ASSERT_TRUE(Parse(f)) << error_;
  EXPECT_EQ(scene_.objectcount, 1);
}

TEST_F(SceneFile, TruncationTrailingBytesAndMisalignedMagicFail) {
  const ChunkFile whole = Mesh(kQuad, kTwoFaces);
  EXPECT_FALSE(Parse(std::vector<uint8_t>{}, scene_));
  std::vector<bool> boundary(whole.bytes.size() + 1);
  for (size_t at = 0; at < whole.bytes.size();) {
    int32_t size;
    std::memcpy(&size, &whole.bytes[at + 8], 4);
    at += 20 + size;
    boundary[at] = true;
  }
  for (size_t n = 1; n < whole.bytes.size(); ++n) {
    std::vector<uint8_t> cut(whole.bytes.begin(), whole.bytes.begin() + n);
    _3DV_SCENE s{};
    std::string error;
    const bool ok = _3DV_ParseScene(s, cut.data(), cut.size(), error);
    // A cut inside a chunk is never a file.
    if (!boundary[n]) {
      EXPECT_FALSE(ok) << n;
    }
    _3DV_FreeSceneArrays(s);
  }
  for (size_t extra = 1; extra <= 4; ++extra) {
    ChunkFile f = whole;
    f.bytes.insert(f.bytes.end(), extra, 0x5a);
    _3DV_SCENE &s = extra_.emplace_back();
    EXPECT_EQ(Parse(f.bytes, s), extra == 4) << extra;
  }
  // A chunk two bytes off the four-byte grid is never seen.
  ChunkFile f = whole;
  f.Raw({0, 0}).Put(kSingle, 84, 3.0f).Raw({0, 0});
  ASSERT_TRUE(Parse(f)) << error_;
  EXPECT_EQ(scene_.viewdistance, 0);
  // Sizes past the end: data and packed data.
  ChunkFile g = whole;
  g.Head(kSingle, 84, 1, 8, 0).Raw({1, 2, 3, 4});
  EXPECT_FALSE(Parse(g));
  ChunkFile h = whole;
  h.Head(kSingle, 84, 1, 4, 0, 8).Raw({1, 2, 3, 4});
  EXPECT_FALSE(Parse(h));
}

// Every consumer of a loaded scene, on the recording GL: a read past an
// array shows under the sanitizer.
void UseEverywhere(_3DV_SCENE &scene) {
  ember_test::GlRecorder gl;
  ember_test::TempDir dir;
  _3DV_EngineUnitInit();
  _3DV_UploadScene(scene);
  _3DV_AllocParticles(scene, 16);
  for (float t : {0.0f, 5.0f}) {
    _3DV_RenderSceneSimple(scene, t);
    _3DV_RenderSceneVBO(scene, t);
    _3DV_RenderSceneClipped(scene, t);
    _3DV_RenderSceneOcclusion(scene, t);
    for (int32_t k = 0; k < scene.objectcount; ++k) {
      _3DV_RenderObjectLines(scene, k, t, 0.5f);
      _3DV_RenderObjectDepth(scene, k, t);
    }
    _3DV_RenderShadowVolumes(scene, {0, 0, 10}, t);
    _3DV_RenderParticles(scene, t);
    _3DV_RenderFlares(scene, t);
  }
  _3DV_PickScene(scene, 0);
  EXPECT_FALSE(_3DV_ConfigText(scene).empty());
  _3DV_DumpGeometry(scene, dir.str("dump"));
  _3DV_FreeParticles(scene);
  _3DV_FreeScene(scene);
}

TEST_F(SceneFile, OnlyWhatALaterStepWouldReadOutOfBoundsIsRefused) {
  // Refused, by name; the record keeps what it held before.
  struct Case {
    const char *field;
    ChunkFile file;
  };
  std::vector<Case> refused;
  refused.push_back({"faces", Mesh(kQuad, {{{0, 1, 4}}})});
  refused.push_back({"vertexcount", Mesh({{0, 0, 0}}, {})});  // the upload reads two
  refused.back().file.Put(kLong, 34, int32_t{2});
  refused.push_back({"neighbours", Mesh(kQuad, kTwoFaces)});
  refused.back().file.Array(kFace, 86, std::vector<_3DV_FACE>{{{-1, 2, -1}}, {{0, -1, -1}}});
  refused.push_back({"strip", Mesh(kQuad, kTwoFaces)});
  refused.back().file.Put(kLong, 40, int32_t{1}).Array(2, 50, std::vector<uint16_t>{4});
  refused.push_back({"normals", Mesh(kQuad, kTwoFaces)});  // the upload reads four
  refused.back().file.Put(kBool, 44, uint8_t{1}).Array(kVec, 55, std::vector<_3DV_VECTOR>{{0, 0, 1}});
  refused.push_back({"uvs", Mesh(kQuad, kTwoFaces)});  // the tangents read them
  refused.back().file.Put(kBool, 42, uint8_t{1});
  refused.push_back({"positionkeycount", Mesh(kQuad, kTwoFaces)});
  refused.back().file.Put(kLong, 37, int32_t{1});
  refused.push_back({"origfaces", Mesh(kQuad, kTwoFaces, 2, false)});  // neighbours from what?
  refused.push_back({"cameratargetcount", Mesh(kQuad, kTwoFaces)});
  refused.back().file.Put(kLong, 11, int32_t{1});
  refused.push_back({"light 3: positionkeycount", Mesh(kQuad, kTwoFaces)});
  refused.back().file.Put(kLong, 73, int32_t{2}, 3);
  ASSERT_TRUE(Parse(Mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}}}))) << error_;
  const _3DV_SCENE before = scene_;
  for (const Case &c : refused) {
    EXPECT_FALSE(Parse(c.file)) << c.field;
    EXPECT_NE(error_.find(c.field), std::string::npos) << error_;
    EXPECT_EQ(scene_.objects, before.objects);
    EXPECT_EQ(scene_.objectcount, 1);
    EXPECT_EQ(scene_.objects[0].vertexcount, 3);
    EXPECT_EQ(scene_.objects[0].vertices, before.objects[0].vertices);
  }

  // Loaded, and safe for every renderer, the shadows, the dump and the
  // configuration text.
  std::vector<Case> loaded;
  loaded.push_back({"connectivity without the original faces", Mesh(kQuad, kTwoFaces, 2, false)});
  loaded.back().file.Array(kFace, 86, std::vector<_3DV_FACE>{{{-1, 1, -1}}, {{0, -1, -1}}});
  loaded.push_back({"rotation and scale keys without arrays", Mesh(kQuad, kTwoFaces)});
  loaded.back().file.Put(kLong, 38, int32_t{4}).Put(kLong, 39, int32_t{2});
  loaded.push_back({"1.1 connectivity out of range", Mesh(kQuad, kTwoFaces, 1)});
  loaded.back().file.Array(kFace, 86, std::vector<_3DV_FACE>{{{7, 7, 7}}});
  loaded.push_back({"vertices counted, none there, no faces", Mesh({}, {})});
  loaded.back().file.Put(kLong, 34, int32_t{5});
  loaded.push_back({"material out of range", Mesh(kQuad, kTwoFaces)});
  loaded.back().file.Put(kLong, 36, int32_t{1});
  loaded.push_back({"normals flagged, none there", Mesh(kQuad, kTwoFaces)});
  loaded.back().file.Put(kBool, 44, uint8_t{1});
  ChunkFile no_materials;
  no_materials.Put(kByte, 1, uint8_t{1}).Put(kByte, 2, uint8_t{2}).Put(kLong, 6, int32_t{1});
  no_materials.Put(kLong, 34, int32_t(kQuad.size())).Put(kLong, 35, int32_t(kTwoFaces.size()));
  no_materials.Array(kVec, 51, kQuad).Array(kFace, 52, kTwoFaces).Array(kFace, 99, kTwoFaces);
  loaded.push_back({"objects and no materials", no_materials});
  for (Case &c : loaded) {
    for (uint8_t id : {45, 88}) c.file.Put(kBool, id, uint8_t{1});  // visible, casts a shadow
    c.file.Put(kSingle, 20, 1.0f);                                   // material 0 is a flare
    _3DV_SCENE s{};
    ASSERT_TRUE(Parse(c.file.bytes, s)) << c.field << ": " << error_;
    if (s.objects[0].facecount == 2) {
      // Out-of-range entries of an old file are worked out again.
      EXPECT_EQ(s.objects[0].neighbours[0].v[1], 1) << c.field;
      EXPECT_EQ(s.objects[0].neighbours[1].v[0], 0) << c.field;
    }
    // The writer takes what the file can carry, an invalid material
    // included, and refuses only absent arrays.
    std::vector<uint8_t> out;
    std::string error;
    const bool absent = std::string_view(c.field).find("without") != std::string_view::npos ||
                        std::string_view(c.field).find("none there") != std::string_view::npos;
    EXPECT_EQ(_3DV_WriteSceneBytes(s, out, error), !absent) << c.field << ": " << error;
    UseEverywhere(s);
  }
}

TEST_F(SceneFile, ASecondLoadLeavesTheArraysOfACopyAloneAndDropsStaleEase) {
  // Two camera tracks of two keys each, then a copy of the record, as the
  // effect-project cache makes one.
  const std::vector<_3DV_KEYVECTOR> two = {{0, 0, 0, 0}, {10, 1, 1, 1}};
  ChunkFile first = Mesh(kQuad, kTwoFaces);
  first.Put(kLong, 10, int32_t{2}).Put(kLong, 11, int32_t{2});
  first.Array(10, 70, two).Array(10, 71, two);
  ASSERT_TRUE(Parse(first)) << error_;
  _3DV_SCENE copy = scene_;

  // A second file into the record: three eye keys and no target track, so
  // no ease arrays are made and those of the first file, two entries long,
  // must not be taken for the new three keys.
  ChunkFile second = Mesh({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, {{{0, 1, 2}}});
  second.Put(kLong, 10, int32_t{3}).Put(kLong, 11, int32_t{0});
  second.Array(10, 70, std::vector<_3DV_KEYVECTOR>{{0, 0, 0, 0}, {10, 1, 0, 0}, {20, 2, 0, 0}});
  second.Array(10, 71, std::vector<_3DV_KEYVECTOR>{});
  ASSERT_TRUE(Parse(second)) << error_;
  EXPECT_EQ(scene_.camerapositionease, nullptr);
  EXPECT_EQ(scene_.cameratargetease, nullptr);
  _3DV_VECTOR eye, target;
  _3DV_GetCameraAt(eye, target, scene_, 15);
  EXPECT_FLOAT_EQ(eye.x, 1.5f);

  // The copy still reads its own arrays (freed ones show under the
  // sanitizer) and evaluates its eased track.
  EXPECT_NE(copy.objects, scene_.objects);
  EXPECT_EQ(copy.objects[0].vertexcount, 4);
  EXPECT_EQ(copy.objects[0].vertices[3].y, 1.0f);
  EXPECT_EQ(copy.objects[0].neighbours[0].v[1], 1);
  EXPECT_EQ(copy.materials[0].bpp, 24);
  _3DV_GetCameraAt(eye, target, copy, 5);
  EXPECT_GT(eye.x, 0.0f);
  EXPECT_LT(eye.x, 1.0f);
  EXPECT_EQ(scene_.objects[0].vertices[1].x, 2.0f);

  // A file without counts writes into the records it finds: into a copy
  // of them, not into the ones the copy shares.
  const _3DV_SCENE shared = copy;
  ChunkFile third;
  third.Put(kLong, 41, int32_t{2}, 0);
  third.Array(kVec, 51, std::vector<_3DV_VECTOR>{{4, 4, 4}, {5, 5, 5}, {6, 6, 6}, {7, 7, 7}}, 0);
  ASSERT_TRUE(Parse(third.bytes, copy)) << error_;
  EXPECT_NE(copy.objects, shared.objects);
  EXPECT_EQ(shared.objects[0].vertexcount, 4);
  EXPECT_EQ(shared.objects[0].passno, 0);
  EXPECT_EQ(shared.objects[0].vertices[3].y, 1.0f);
  EXPECT_EQ(copy.objects[0].vertices[3].z, 7.0f);
  EXPECT_EQ(copy.objects[0].faces, shared.objects[0].faces);
  EXPECT_EQ(copy.passcount, 2);

  // What the third load left shared goes back once, with the first load.
  _3DV_OBJECT &mine = copy.objects[0];
  const _3DV_OBJECT &theirs = shared.objects[0];
  for (auto member : {&_3DV_OBJECT::faces, &_3DV_OBJECT::origfaces, &_3DV_OBJECT::neighbours}) {
    EXPECT_EQ(mine.*member, theirs.*member);
    mine.*member = nullptr;
  }
  copy.camerapositions = copy.cameratargets = nullptr;
  _3DV_FreeSceneArrays(copy);
  _3DV_SCENE first_load = shared;
  _3DV_FreeSceneArrays(first_load);
}

// A scene with something in every field the file carries.
struct RichScene {
  std::vector<_3DV_MATERIAL> materials{2};
  std::vector<_3DV_OBJECT> objects{1};
  std::vector<_3DV_VECTOR> normals = kQuad;
  std::vector<_3DV_TEXTCOORD> uvs{{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  std::vector<_3DV_FACE> faces = kTwoFaces, neighbours{{{-1, 1, -1}}, {{0, -1, -1}}};
  std::vector<_3DV_VECTOR> vertices = kQuad;
  std::vector<uint16_t> strip{0, 1, 2, 3};
  std::vector<_3DV_KEYVECTOR> keys{{0, 1, 2, 3}, {10, 4, 5, 6}};
  std::vector<_3DV_KEYQUAT> quats{{0, {1, 0, 0, 0}}};
  _3DV_SCENE scene{};

  RichScene() {
    scene.name.assign("rich");
    scene.viewdistance = 123.456789f;
    scene.camerafov = 0.7f;
    scene.materialcount = 2;
    scene.materials = materials.data();
    materials[1].name.assign("stone");
    materials[1].textured = 1;
    materials[1].bpp = 24;
    materials[0].bpp = 24;
    materials[1].envcolor = {0.1f, 0.2f, 0.3f};
    _3DV_OBJECT &o = objects[0];
    o.name.assign("box");
    o.material = 1;
    o.vertexcount = 4;
    o.facecount = 2;
    o.stripcount = 4;
    o.positionkeycount = 2;
    o.rotationkeycount = 1;
    o.hasuv = o.hasnormals = 1;
    o.passno = 3;
    o.vertices = vertices.data();
    o.normals = normals.data();
    o.uvs = uvs.data();
    o.faces = o.origfaces = faces.data();
    o.neighbours = neighbours.data();
    o.strip = strip.data();
    o.positionkeys = keys.data();
    o.rotationkeys = quats.data();
    o.fogcolor = {1, 0.5f, 0.25f, 0.125f};
    o.particledata.power = 9;
    o.particledata.particletexture.assign("spark.png");
    scene.objectcount = 1;
    scene.objects = objects.data();
    scene.camerapositioncount = scene.cameratargetcount = 2;
    scene.camerapositions = scene.cameratargets = keys.data();
    scene.lights[5].positionkeycount = 2;
    scene.lights[5].positionkeys = keys.data();
    scene.lights[5].enabled = 1;
  }
};

TEST_F(SceneFile, WriterOrderedFilesRoundTripByteForByte) {
  RichScene rich;
  std::vector<uint8_t> x, y;
  ASSERT_TRUE(_3DV_WriteSceneBytes(rich.scene, x, error_)) << error_;
  ASSERT_TRUE(Parse(x, scene_)) << error_;
  EXPECT_EQ(scene_.viewdistance, 123.456789f);
  EXPECT_EQ(scene_.passcount, 3);
  EXPECT_EQ(scene_.objects[0].rotationkeys[0].q[0], 1);
  EXPECT_EQ(scene_.lights[5].positionkeys[1].z, 6);
  ASSERT_TRUE(_3DV_WriteSceneBytes(scene_, y, error_)) << error_;
  EXPECT_EQ(x, y);

  // With vertex colours and a scale track too, every chunk in its place:
  // 53 between the connectivity and the texture coordinates, 58 last of
  // the object; 80 and 81 never.
  std::vector<_3DV_RGB> colors(4, _3DV_RGB{1, 0, 0});
  rich.objects[0].hascolors = 1;
  rich.objects[0].colors = colors.data();
  rich.objects[0].scalekeycount = 2;
  rich.objects[0].scalekeys = rich.keys.data();
  std::vector<uint8_t> z;
  ASSERT_TRUE(_3DV_WriteSceneBytes(rich.scene, z, error_)) << error_;
  std::vector<Head> expected;
  Add(expected, kSceneChunks, 0);
  for (int m = 0; m < 2; ++m) Add(expected, kMaterialChunks, m);
  Add(expected, kObjectChunks, 0);
  for (Head h : std::vector<Head>{{2, 50, 4, 0},  {6, 51, 4, 0},  {9, 52, 2, 0},  {9, 99, 2, 0},
                                  {9, 86, 2, 0},  {6, 53, 4, 0},  {5, 54, 4, 0},  {6, 55, 4, 0},
                                  {10, 56, 2, 0}, {11, 57, 1, 0}, {10, 58, 2, 0}, {10, 70, 2, 0},
                                  {10, 71, 2, 0}})
    expected.push_back(h);
  for (int l = 0; l < 8; ++l) {
    Add(expected, kLightChunks, l);
    if (l == 5) expected.push_back({10, 79, 2, 5});
  }
  EXPECT_EQ(Heads(z), expected);
  // 12, 22 per material, 33 per object and one for each of its colours,
  // uvs and three key tracks, two for its normals, one per camera track,
  // 7 per light and one for its track.
  int32_t chunkcount;
  std::memcpy(&chunkcount, &z[20], 4);
  EXPECT_EQ(chunkcount, 12 + 2 * 22 + 33 + 1 + 1 + 2 + 3 + 2 + 7 * 8 + 1);
  rich.objects[0].hascolors = 0;
  rich.objects[0].scalekeycount = 0;

  // Through a file as well, read back from the file and through a pipe
  // alike; a pipe cut inside a chunk is refused, as a file is.
  ember_test::TempDir dir;
  ASSERT_TRUE(_3DV_SaveScene(scene_, dir.str("a.3dv")));
  EXPECT_EQ(ember_test::ReadBytes(dir.path() / "a.3dv"), std::vector<unsigned char>(x.begin(), x.end()));
  const std::string file = "'" + dir.str("a.3dv") + "'";
  const std::string cut = "head -c " + std::to_string(x.size() - 10) + " " + file;
  for (const std::string &command : {std::string(), "cat " + file, cut}) {
    std::FILE *in = command.empty() ? std::fopen(dir.str("a.3dv").c_str(), "rb")
                                    : popen(command.c_str(), "r");
    ASSERT_NE(in, nullptr);
    _3DV_SCENE &back = extra_.emplace_back();
    bool unreadable = true;
    const bool read = _3DV_ParseSceneFile(back, in, unreadable, error_);
    command.empty() ? std::fclose(in) : pclose(in);
    EXPECT_FALSE(unreadable) << command;
    if (command == cut) {
      EXPECT_FALSE(read);
      EXPECT_EQ(error_, "chunk 78 runs past the end of the file");  // the last light's
      continue;
    }
    ASSERT_TRUE(read) << command << ": " << error_;
    std::vector<uint8_t> again;
    ASSERT_TRUE(_3DV_WriteSceneBytes(back, again, error_)) << error_;
    EXPECT_EQ(again, x) << command;
  }
}

TEST_F(SceneFile, WriterRefusesInconsistentScenesAndLeavesNoFile) {
  ember_test::TempDir dir;
  RichScene rich;
  rich.objects[0].faces = nullptr;
  EXPECT_FALSE(_3DV_SaveScene(rich.scene, dir.str("a.3dv")));
  rich.objects[0].faces = rich.faces.data();
  rich.objects[0].neighbours = nullptr;
  EXPECT_FALSE(_3DV_SaveScene(rich.scene, dir.str("a.3dv")));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "a.3dv"));
  // No more objects than a count chunk reads back.
  std::vector<_3DV_OBJECT> many(_3DV_OBJECT_ARRAY_MAX_INDEX + 2);
  _3DV_SCENE crowd{};
  crowd.objects = many.data();
  crowd.objectcount = _3DV_OBJECT_ARRAY_MAX_INDEX + 2;
  EXPECT_EQ(_3DV_CheckScene(crowd), "objectcount");
  crowd.objectcount = _3DV_OBJECT_ARRAY_MAX_INDEX + 1;
  EXPECT_EQ(_3DV_CheckScene(crowd), "");
}

TEST_F(SceneFile, FailedWritesRemoveThePartialFileAndEndTheProcess) {
  ember_test::TempDir dir;
  const std::string name = dir.str("big.3dv");
  RichScene rich;
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = 1000;
        setrlimit(RLIMIT_FSIZE, &limit);
        _3DV_SaveScene(rich.scene, name);
      },
      testing::ExitedWithCode(1), "big.3dv");
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), _3DV_SaveScene(rich.scene, dir.str("no/such/folder.3dv"))),
              testing::ExitedWithCode(1), "folder.3dv");
}

TEST_F(SceneFile, MissingEmptyOrShortFilesEndTheProcessNamingTheFile) {
  ember_test::TempDir dir;
  ember_test::WriteFile(dir.path() / "empty.3dv", "");
  ember_test::WriteFile(dir.path() / "short.3dv", "Z!");
  for (const char *name : {"missing.3dv", "empty.3dv", "short.3dv"}) {
    EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), _3DV_LoadScene(scene_, dir.str(name))),
                testing::ExitedWithCode(1), name);
  }
}

TEST_F(SceneFile, UploadMakesTheBuffersAndUnbindsThem) {
  RichScene rich;
  std::vector<uint8_t> x;
  ASSERT_TRUE(_3DV_WriteSceneBytes(rich.scene, x, error_));
  ASSERT_TRUE(Parse(x, scene_));
  ember_test::GlRecorder gl;
  _3DV_UploadScene(scene_);
  EXPECT_EQ(gl.Count("glGenBuffersARB"), 6u);
  // Shadow indices (2 faces x 72 bytes), vertices, faces, normals, uvs.
  const double sizes[] = {144, 48, 24, 48, 32};
  ASSERT_EQ(gl.Count("glBufferDataARB"), 5u);
  for (size_t k = 0; k < 5; ++k) EXPECT_EQ(gl.Find("glBufferDataARB", k)->args[1], sizes[k]);
  EXPECT_EQ(gl.Find("glBufferDataARB", 0)->args[3], GL_DYNAMIC_DRAW_ARB);
  EXPECT_EQ(gl.Find("glBufferDataARB", 4)->pointers[2], scene_.objects[0].uvs);
  const size_t binds = gl.Count("glBindBufferARB");
  EXPECT_EQ(gl.Find("glBindBufferARB", binds - 2)->args[1], 0);
  EXPECT_EQ(gl.Find("glBindBufferARB", binds - 1)->args[1], 0);
  EXPECT_EQ(gl.calls().back().name, "glBindBufferARB");

  // No texture on the material yet: the coordinates go up all the same.
  scene_.materials[1].textured = 0;
  gl.Clear();
  _3DV_UploadScene(scene_);
  EXPECT_EQ(gl.Count("glBufferDataARB"), 5u);
}

TEST_F(SceneFile, AnArrayAnObjectFlagsButDoesNotCarryGetsNoDataStoreAndIsNotDrawnFrom) {
  // Fifty million vertices with normals and coordinates, none of them in
  // the file, on a faceless object: six names, and only the (empty) shadow
  // index buffer gets a data store.
  ChunkFile faceless = Mesh({}, {});
  faceless.Put(kLong, 34, int32_t{50'000'000});
  for (uint8_t id : {42, 44}) faceless.Put(kBool, id, uint8_t{1});
  _3DV_SCENE &lone = extra_.emplace_back();
  ASSERT_TRUE(Parse(faceless.bytes, lone)) << error_;
  {
    ember_test::GlRecorder gl;
    _3DV_UploadScene(lone);
    EXPECT_EQ(gl.Count("glGenBuffersARB"), 6u);
    ASSERT_EQ(gl.Count("glBufferDataARB"), 1u);
    EXPECT_EQ(gl.Find("glBufferDataARB")->args[1], 0);
  }

  // Normals flagged on a quad that has none: shadow indices, vertices and
  // faces are stored, and neither renderer turns a normal array on.
  ChunkFile quad = Mesh(kQuad, kTwoFaces);
  quad.Put(kBool, 44, uint8_t{1}).Put(kBool, 45, uint8_t{1});
  ASSERT_TRUE(Parse(quad)) << error_;
  ember_test::GlRecorder gl;
  _3DV_UploadScene(scene_);
  ASSERT_EQ(gl.Count("glBufferDataARB"), 3u);
  const double sizes[] = {144, 48, 24};
  for (size_t k = 0; k < 3; ++k) EXPECT_EQ(gl.Find("glBufferDataARB", k)->args[1], sizes[k]);
  _3DV_OBJECT &o = scene_.objects[0];
  // Names as a driver gives them.
  o.vertexbuffer = 1, o.facebuffer = 2, o.normalbuffer = 3, o.uvbuffer = 4;
  _3DV_EngineUnitInit();
  gl.Clear();
  _3DV_RenderObject(scene_, 0, 0);
  _3DV_RenderObjectVBO(scene_, 0, 0);
  EXPECT_EQ(gl.Count("glDrawElements"), 2u);
  for (size_t k = 0; k < gl.Count("glEnableClientState"); ++k)
    EXPECT_NE(gl.Find("glEnableClientState", k)->args[0], GL_NORMAL_ARRAY);
  o.vertexbuffer = o.facebuffer = o.normalbuffer = o.uvbuffer = 0;
}

}  // namespace

#ifndef __SANITIZE_ADDRESS__  // the sanitizer's shadow memory needs the whole address space
// A file is read as its chunks are: 768 MiB of holes before the one chunk
// it carries cost sceneconfig no memory, in a child whose address space is
// 512 MiB. A file of 1.5 GiB is read through the same way, its holes in a
// chunk the scene does not keep, from the file and through a pipe alike;
// a pipe that claims a 2 GiB array and ends costs what it carried.
TEST(SceneFileSize, AFileOfHolesCostsWhatItsChunksKeep) {
  ember_test::TempDir dir;
  const std::string name = dir.str("holes.scn");
  const std::string tool = (ember_test::BinaryDir() / "tools" / "sceneconfig" / "sceneconfig").string();
  auto camerafov = [](float fov) {
    char chunk[24] = {'Z', '!', _3DV_TYPE_SINGLE, 7, 1, 0, 0, 0, 4};
    std::memcpy(chunk + 20, &fov, 4);
    return std::string(chunk, sizeof chunk);
  };
  auto config = [&] {
    const ember_test::RunResult r = ember_test::RunInChild(
        [&] {
          const rlimit limit{rlim_t(512) << 20, rlim_t(512) << 20};
          if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(91);
          execl(tool.c_str(), tool.c_str(), name.c_str(), static_cast<char *>(nullptr));
          _exit(92);
        },
        ember_test::kChildBoth);
    EXPECT_EQ(r.status, 0) << r.output;
    return ember_test::ReadFile(dir.path() / "holes.cfg");
  };
  ember_test::WriteAfterHoles(name, uint64_t(768) << 20, camerafov(0.5f));
  EXPECT_NE(config().find("camerafov=0.5"), std::string::npos);

  const int32_t holes = int32_t(3) << 29;
  ChunkFile dropped;
  dropped.Head(kByte, 85, holes, holes, 0);  // an id with no field
  ember_test::WriteAfterHoles(name, 20 + uint64_t(holes), camerafov(0.25f));
  {
    std::fstream head(name, std::ios::in | std::ios::out | std::ios::binary);
    head.write(reinterpret_cast<const char *>(dropped.bytes.data()), 20);
  }
  EXPECT_NE(config().find("camerafov=0.25"), std::string::npos);

  ChunkFile claim;
  claim.Put(kLong, 6, int32_t{1}).Head(kVec, 51, INT32_MAX / 12, INT32_MAX / 12 * 12, 0);
  claim.Data(kQuad.data(), 48);
  ember_test::WriteBytes(dir.path() / "claim.scn", {claim.bytes.begin(), claim.bytes.end()});
  const ember_test::RunResult piped = ember_test::RunInChild([&] {
    _3DV_InitTypeSizes();
    _3DV_LoaderUnitInit();
    ember_test::LimitAddressSpaceAboveUse(size_t(64) << 20);
    // The holes come from /dev/zero: a sparse file is slow to read through.
    const std::pair<const char *, std::string> streams[] = {
        {"holes.scn", "{ head -c 20 '" + name + "'; head -c " + std::to_string(holes) +
                          " /dev/zero; tail -c 24 '" + name + "'; }"},
        {"claim.scn", "cat '" + dir.str("claim.scn") + "'"}};
    for (const auto &[file, command] : streams) {
      std::FILE *in = popen(command.c_str(), "r");
      _3DV_SCENE scene{};
      bool unreadable = true;
      std::string error;
      const bool read = in && _3DV_ParseSceneFile(scene, in, unreadable, error);
      std::printf("%s: %d %g %s\n", file, read, double(scene.camerafov), error.c_str());
      _3DV_FreeSceneArrays(scene);
      if (in) pclose(in);
    }
  });
  EXPECT_NE(piped.output.find("holes.scn: 1 0.25 \n"), std::string::npos) << piped.output;
  EXPECT_NE(piped.output.find("claim.scn: 0 0 chunk 51 runs past the end of the file"),
            std::string::npos)
      << piped.output;
}
#endif
