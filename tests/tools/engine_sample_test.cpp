// The engine sample set as staged beside the pack: every scene file reads
// through the engine's reader and its writer gives back the same bytes (two
// chunk writers that share no code agree), the version 1.0 copy gets the
// neighbours the generator wrote into the current version, and both
// projects name only files that are there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/anim/anim.h"
#include "engine/anim/scene_config.h"
#include "engine/scene/records.h"
#include "engine/scene/scene_file.h"
#include "engine/scene/scene_reader.h"
#include "engine/scene/scene_writer.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

fs::path SampleDir() { return ember_test::BinaryDir() / "stage" / "engine-sample"; }

Bytes ReadFile(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class EngineSample : public ::testing::Test {
protected:
  void SetUp() override {
    _3DV_InitTypeSizes();
    _3DV_LoaderUnitInit();
  }
  // Reads and writes back; the scene is freed afterwards.
  Bytes RoundTrip(const Bytes &file, _3DV_SCENE &scene) {
    std::string error;
    EXPECT_TRUE(_3DV_ParseScene(scene, file.data(), file.size(), error)) << error;
    Bytes out;
    EXPECT_TRUE(_3DV_WriteSceneBytes(scene, out, error)) << error;
    return out;
  }
};

TEST_F(EngineSample, ScenesReadAndWriteBackByteForByte) {
  for (const char *name : {"hall.scn", "room.scn"}) {
    const Bytes file = ReadFile(SampleDir() / "data" / name);
    ASSERT_FALSE(file.empty()) << name;
    _3DV_SCENE scene{};
    EXPECT_TRUE(RoundTrip(file, scene) == file) << name;
    if (std::string(name) == "hall.scn") {
      // What the project's fixed operators address.
      ASSERT_EQ(scene.objectcount, 115);
      EXPECT_TRUE(scene.objects[99].particledata.particleenabled);
      EXPECT_GE(scene.camerapositioncount, 4);
      for (int k = 0; k < scene.camerapositioncount; ++k)
        EXPECT_GT(scene.camerapositions[k].z, scene.cameratargets[k].z);
      EXPECT_GT(scene.lights[0].positionkeycount, 1);
      int lights = 0;
      for (const _3DV_LIGHT &l : scene.lights) lights += l.enabled ? 1 : 0;
      EXPECT_EQ(lights, 8);
    }
    _3DV_FreeSceneArrays(scene);
  }
}

TEST_F(EngineSample, TheOldVersionGetsTheNeighboursTheCurrentOneCarries) {
  const Bytes old = ReadFile(SampleDir() / "data" / "hall10.scn");
  const Bytes current = ReadFile(SampleDir() / "data" / "hall.scn");
  ASSERT_LT(old.size(), current.size());
  _3DV_SCENE scene{};
  const Bytes written = RoundTrip(old, scene);
  EXPECT_EQ(scene.versionminor, 0);
  // Written back it is the current version, neighbours computed by the
  // reader in place of those the generator wrote.
  EXPECT_TRUE(written == current);
  _3DV_FreeSceneArrays(scene);
}

TEST_F(EngineSample, ProjectsNameOnlyFilesThatAreThere) {
  for (const char *project : {"sample.qep", "shader.qep"}) {
    const Bytes p = ReadFile(SampleDir() / project);
    ASSERT_GE(p.size(), 284u) << project;
    int32_t counts[3];
    std::memcpy(counts, p.data() + 272, sizeof counts);
    ASSERT_GE(p.size(), 284u + 256u * size_t(counts[0] + counts[1])) << project;
    for (int32_t i = 0; i < counts[0] + counts[1]; ++i) {
      const uint8_t *name = p.data() + 284 + 256 * size_t(i);
      std::string file(reinterpret_cast<const char *>(name) + 1, name[0]);
      file = file.substr(file.rfind('\\') == std::string::npos ? 0 : file.rfind('\\') + 1);
      EXPECT_TRUE(fs::exists(SampleDir() / "data" / file)) << project << ": " << file;
    }
  }
}

// What the sample must show: the hall's camera, along its whole curve,
// stays in front of the glass and the screen on the back wall (y 190 and
// beyond), and every amount of the bolts-and-tunnel operators picks a face
// the floor has; the bolts' amounts are frames over which the orbiting
// spheres they start from move.
TEST_F(EngineSample, TheCameraStaysInFrontAndTheBoltsOnTheFloor) {
  const Bytes file = ReadFile(SampleDir() / "data" / "hall.scn");
  _3DV_SCENE hall{};
  std::string error;
  ASSERT_TRUE(_3DV_ParseScene(hall, file.data(), file.size(), error)) << error;
  int behind = 0;
  for (int frame = 0; frame <= 600; ++frame) {
    _3DV_VECTOR eye, target;
    _3DV_GetCameraAt(eye, target, hall, float(frame));
    behind += eye.y < 185.0f ? 0 : 1;
  }
  EXPECT_EQ(behind, 0);
  const int32_t faces = hall.objects[0].facecount;
  const Bytes p = ReadFile(SampleDir() / "sample.qep");
  ASSERT_GE(p.size(), 284u);
  int32_t counts[3];
  std::memcpy(counts, p.data() + 272, sizeof counts);
  size_t op = 284 + 256 * size_t(counts[0] + counts[1]);
  size_t key = op + 304 * size_t(counts[2]);
  int bolts = 0;
  for (int32_t i = 0; i < counts[2]; ++i, op += 304) {
    int32_t type, keycount;
    std::memcpy(&type, p.data() + op, 4);
    std::memcpy(&keycount, p.data() + op + 44, 4);
    const std::string name(reinterpret_cast<const char *>(p.data() + op + 49), p[op + 48]);
    for (int32_t k = 0; k < keycount; ++k, key += 24) {
      if (type != 4004) continue;
      int32_t v[3];
      std::memcpy(v, p.data() + key + 12, sizeof v);
      for (int32_t amount : v) {
        const int32_t last = 4 * int32_t(double(amount) / 4000 * (faces - 1)) + 3;
        EXPECT_TRUE(amount >= 0 && last < faces) << name << ": " << amount;
      }
      if (name != "bolts") continue;
      ++bolts;
      for (int32_t j = 1; j <= 4; ++j) {
        _3DV_VECTOR from, to;
        _3DV_GetObjectPositionAt(from, hall, j, float(v[0]));
        _3DV_GetObjectPositionAt(to, hall, j, float(v[2]));
        EXPECT_GT(std::abs(from.x - to.x) + std::abs(from.y - to.y), 10.0f) << j;
      }
    }
  }
  EXPECT_EQ(bolts, 1);
  _3DV_FreeSceneArrays(hall);
}

TEST_F(EngineSample, EachSceneCarriesItsConfigurationBesideIt) {
  for (const char *name : {"hall", "room", "hall10"}) {
    const Bytes cfg = ReadFile(SampleDir() / "data" / (std::string(name) + ".cfg"));
    ASSERT_FALSE(cfg.empty()) << name;
    _3DV_SCENE scene{};
    const Bytes file = ReadFile(SampleDir() / "data" / (std::string(name) + ".scn"));
    std::string error;
    ASSERT_TRUE(_3DV_ParseScene(scene, file.data(), file.size(), error)) << error;
    // Applied to the scene it came from, it is what that scene writes.
    const std::string text(cfg.begin(), cfg.end());
    EXPECT_TRUE(_3DV_ParseConfig(scene, text, error)) << name << ": " << error;
    EXPECT_EQ(_3DV_ConfigText(scene), text) << name;
    _3DV_FreeSceneArrays(scene);
  }
}

}  // namespace
